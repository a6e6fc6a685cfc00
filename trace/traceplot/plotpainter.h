#pragma once

#include "sor/sortrace.h"
#include "traceplot/plotmath.h"
#include "traceplot/sectionbands.h"

#include <QColor>
#include <QFontMetrics>
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
    bool emphasised = false; // the selected one: drawn in front, its flags bold
    // Each key event's flag, by its index, where a page names events otherwise than by their
    // numbers (a cable's closures); an empty one gets no flag. None given: the numbers.
    QStringList eventLabels = {};
};

struct Markers
{
    std::optional<double> a; // metres
    std::optional<double> b;
    int active = 0; // the one the keyboard moves: 0 for A, 1 for B
};

// Where the traces and the legend go in a widget or image: the legend in a corner that no
// trace crosses, or above the plot where every corner is taken.
struct Layout
{
    QRect area;
    QRect legend;
};

QColor seriesColour(int index);
// The whole of every trace, with a little room above and below.
View fullView(const QVector<Series> &series);
// The traces from the first one's start to a little past the fibre's end, the noise after it
// cut off, the levels fitted to what is shown; the whole without an end.
View viewToEnd(const QVector<Series> &series, const std::optional<double> &endM);
// "ROTA01_1550.sor — 1550 nm, 100 ns"; "ROTA01_1550.sor (danificado) — …" for a damaged one.
QString legendText(const Series &series);
// The view's distances with the level axis fitted to the points they show; the view as it is
// where none has data there.
View fitLevels(const QVector<Series> &series, const View &view);
// Where the traces are drawn inside a widget or image of this size, before any legend.
QRect plotArea(const QRect &bounds);
// The legend's corner leaves free the sections' words along the plot's foot, where they are shown.
Layout layout(const QRect &bounds,
              const QVector<Series> &series,
              const View &view,
              const QFontMetrics &metrics,
              const QVector<SectionBand> &sections = {});
// The distance between two grid lines of the distance axis, in metres.
double distanceDivision(const QRect &area, const View &view);

// The whole plot: frame, traces with their events, markers and legend. A document that wants
// another legend, or none, paints the parts itself.
// With sections, what the analysis told a trace is made of, drawn under the traces.
void paint(QPainter &painter,
           const QRect &bounds,
           const QVector<Series> &series,
           const View &view,
           const Markers &markers = {},
           const QVector<SectionBand> &sections = {});
// White ground, grid, ticks and axis titles around plotArea(bounds).
void paintFrame(QPainter &painter, const QRect &bounds, const View &view);
// A trace thinned to the area's pixel columns; clipped to the area. Its events are flags
// (eventflags.h), placed with every other trace's.
void paintTrace(QPainter &painter, const QRect &area, const View &view, const Series &series);
void paintMarkers(QPainter &painter, const QRect &area, const View &view, const Markers &markers);
// The legend's box, naming each series in its colour.
void paintLegend(QPainter &painter, const QRect &box, const QVector<Series> &series);

// Why nothing can be drawn in this process: text needs the fonts a GUI application brings
// (QGuiApplication or QApplication), and without one Qt's font database is not there at all.
// Empty when drawing can go ahead.
QString drawingProblem();

// Saves a plot as PNG, or as SVG when the name ends in .svg; false with a reason on failure.
// Without a view, the whole of the traces.
bool save(const QString &path,
          const QVector<Series> &series,
          const QSize &size,
          QString *error = nullptr,
          const View *view = nullptr,
          const Markers &markers = {});

} // namespace TracePlot
