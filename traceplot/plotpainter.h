#pragma once

#include "sor/sortrace.h"
#include "traceplot/plotmath.h"

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

struct Markers
{
    std::optional<double> a; // metres
    std::optional<double> b;
};

QColor seriesColour(int index);
// The whole of every trace, with a little room above and below.
View fullView(const QVector<Series> &series);
// "ROTA01_1550.sor — 1550 nm, 100 ns"; "ROTA01_1550.sor (danificado) — …" for a damaged one.
QString legendText(const Series &series);
// Where the traces are drawn inside a widget or image of this size.
QRect plotArea(const QRect &bounds);

// The whole plot: frame, traces with their events, markers and legend. A document that wants
// another legend, or none, paints the parts itself.
void paint(QPainter &painter,
           const QRect &bounds,
           const QVector<Series> &series,
           const View &view,
           const Markers &markers = {});
// White ground, grid, ticks and axis titles around plotArea(bounds).
void paintFrame(QPainter &painter, const QRect &bounds, const View &view);
// A trace thinned to the area's pixel columns, and its key events; clipped to the area.
void paintTrace(QPainter &painter, const QRect &area, const View &view, const Series &series);
void paintMarkers(QPainter &painter, const QRect &area, const View &view, const Markers &markers);
// A box at the top right of the area naming each series in its colour.
void paintLegend(QPainter &painter, const QRect &area, const QVector<Series> &series);

// Saves a plot as PNG, or as SVG when the name ends in .svg; false with a reason on failure.
// Without a view, the whole of the traces.
bool save(const QString &path,
          const QVector<Series> &series,
          const QSize &size,
          QString *error = nullptr,
          const View *view = nullptr,
          const Markers &markers = {});

} // namespace TracePlot
