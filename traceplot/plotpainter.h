#pragma once

#include "sor/sortrace.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <QVector>

#include <optional>

class QPainter;

// Paints traces as distance (km, or m when zoomed in) against level (dB): grid, labelled ticks,
// legend, key events and markers. Shared by otdr-sor's images and otdr-view's plot.
namespace TracePlot {

struct Series
{
    const Sor::Trace *trace = nullptr;
    QString label; // the file name
    QColor colour;
};

// The part of the plane shown: distance in metres, level in dB (y0 below y1).
struct View
{
    double x0 = 0;
    double x1 = 1000;
    double y0 = -30;
    double y1 = 0;
};

struct Markers
{
    std::optional<double> a; // metres
    std::optional<double> b;
};

QColor seriesColour(int index);
// The whole of every trace, with a little room above and below.
View fullView(const QVector<Series> &series);
// "ROTA01_1550.sor — 1550 nm, 100 ns"
QString legendText(const Series &series);
// Where the traces are drawn inside a widget or image of this size.
QRect plotArea(const QRect &bounds);

void paint(QPainter &painter,
           const QRect &bounds,
           const QVector<Series> &series,
           const View &view,
           const Markers &markers = {});

// Saves a plot as PNG, or as SVG when the name ends in .svg; false with a reason on failure.
// Without a view, the whole of the traces.
bool save(const QString &path,
          const QVector<Series> &series,
          const QSize &size,
          QString *error = nullptr,
          const View *view = nullptr,
          const Markers &markers = {});

} // namespace TracePlot
