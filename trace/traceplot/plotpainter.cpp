#include "traceplot/plotpainter.h"

#include "sor/sortext.h"
#include "traceplot/clippedpainter.h"
#include "traceplot/eventflags.h"
#include "traceplot/plotmath.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace TracePlot {

namespace {

constexpr int LeftMargin = 64;
constexpr int RightMargin = 16;
constexpr int TopMargin = 12;
constexpr int BottomMargin = 44;
// Below this span the distance axis counts metres.
constexpr double MetresBelow = 2000.0;

QString number(double value, double step)
{
    const int decimals = step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    return Sor::decimal(value, qBound(0, decimals, 6));
}

} // namespace

QColor seriesColour(int index)
{
    static const QColor colours[] = {QColor(0x1f, 0x77, 0xb4),
                                     QColor(0xd6, 0x27, 0x28),
                                     QColor(0x2c, 0xa0, 0x2c),
                                     QColor(0xff, 0x7f, 0x0e),
                                     QColor(0x94, 0x67, 0xbd),
                                     QColor(0x8c, 0x56, 0x4b),
                                     QColor(0xe3, 0x77, 0xc2),
                                     QColor(0x17, 0xbe, 0xcf),
                                     QColor(0x7f, 0x7f, 0x7f),
                                     QColor(0xbc, 0xbd, 0x22)};
    return colours[index % 10];
}

View fullView(const QVector<Series> &series)
{
    // From 0, the span's start, or from further back where a launch cable lies before it.
    double x0 = 0;
    double x1 = 0;
    double lo = 0;
    double hi = -1e9;
    bool any = false;
    for (const Series &s : series) {
        const Sor::Trace &t = *s.trace;
        if (!t.distanceM.empty()) {
            x0 = std::min(x0, t.distanceM.front());
            x1 = std::max(x1, t.distanceM.back());
        }
        for (double level : t.levelDb) {
            if (std::isnan(level))
                continue;
            lo = any ? std::min(lo, level) : level;
            hi = any ? std::max(hi, level) : level;
            any = true;
        }
    }
    if (!any) {
        lo = -30;
        hi = 0;
    }
    const double pad = std::max(0.5, (hi - lo) * 0.05);
    return {x0, x1 > x0 ? x1 : x0 + 1000, lo - pad, hi + pad};
}

View viewToEnd(const QVector<Series> &series, const std::optional<double> &endM)
{
    const View full = fullView(series);
    if (!endM || *endM <= 0 || series.isEmpty())
        return full;
    // From the first trace's start (a launch cable before 0 included): a far end's trace laid
    // over it has its own noise there.
    const Sor::Trace &first = *series.first().trace;
    const double start = std::min(0.0, first.distanceM.empty() ? 0.0 : first.distanceM.front());
    // Room to see the end's reflection and where the noise begins.
    const double past = *endM + std::max(0.05 * (*endM - start), 100.0);
    const View cut{start, std::min(past, full.x1), full.y0, full.y1};
    return fitLevels(series, cut);
}

QRect plotArea(const QRect &bounds)
{
    return bounds.adjusted(LeftMargin, TopMargin, -RightMargin, -BottomMargin);
}

View fitLevels(const QVector<Series> &series, const View &view)
{
    double lo = 0;
    double hi = 0;
    bool any = false;
    for (const Series &s : series) {
        const std::vector<double> &x = s.trace->distanceM;
        for (size_t i = size_t(std::lower_bound(x.begin(), x.end(), view.x0) - x.begin());
             i < x.size() && x[i] <= view.x1;
             ++i) {
            const double level = s.trace->levelDb[i];
            if (std::isnan(level))
                continue;
            lo = any ? std::min(lo, level) : level;
            hi = any ? std::max(hi, level) : level;
            any = true;
        }
    }
    if (!any)
        return view;
    const double pad = std::max(0.2, (hi - lo) * 0.08);
    return {view.x0, view.x1, lo - pad, hi + pad};
}

double distanceDivision(const QRect &area, const View &view)
{
    const double unit = view.x1 - view.x0 < MetresBelow ? 1.0 : 1000.0;
    return tickStep(view.x0 / unit,
                    view.x1 / unit,
                    readableTicks(view.x0 / unit, view.x1 / unit, qMax(2, area.width() / 110)))
           * unit;
}

void paint(QPainter &painter,
           const QRect &bounds,
           const QVector<Series> &series,
           const View &view,
           const Markers &markers,
           const QVector<SectionBand> &sections)
{
    painter.save();
    const Layout l = layout(bounds, series, view, QFontMetrics(painter.font()), sections);
    painter.fillRect(bounds, Qt::white);
    paintFrame(painter, l.area.adjusted(-LeftMargin, -TopMargin, RightMargin, BottomMargin), view);
    if (drawable(l.area, view)) {
        paintSections(painter, l.area, view, sections);
        // The emphasised trace last, in front of the others.
        for (bool front : {false, true}) {
            for (const Series &s : series) {
                if (s.emphasised == front)
                    paintTrace(painter, l.area, view, s);
            }
        }
        paintFlags(painter, l.area, view, series);
        paintMarkers(painter, l.area, view, markers);
        if (!l.legend.isEmpty())
            paintLegend(painter, l.legend, series);
    }
    painter.restore();
}

void paintFrame(QPainter &painter, const QRect &bounds, const View &view)
{
    painter.save();
    painter.fillRect(bounds, Qt::white);
    const QRect area = plotArea(bounds);
    if (!drawable(area, view)) {
        painter.restore();
        return;
    }
    const Mapping map(area, view);
    const QFontMetrics metrics(painter.font());
    const bool metres = view.x1 - view.x0 < MetresBelow;
    const double unit = metres ? 1.0 : 1000.0;
    const int xWanted = readableTicks(view.x0 / unit, view.x1 / unit, qMax(2, area.width() / 110));
    const int yWanted = readableTicks(view.y0, view.y1, qMax(2, area.height() / 50));
    const double xStep = tickStep(view.x0 / unit, view.x1 / unit, xWanted);
    const double yStep = tickStep(view.y0, view.y1, yWanted);
    const QVector<double> xTicks = ticks(view.x0 / unit, view.x1 / unit, xWanted);
    const QVector<double> yTicks = ticks(view.y0, view.y1, yWanted);
    painter.setPen(QPen(QColor(0xe0, 0xe0, 0xe0), 1));
    for (double x : xTicks)
        painter.drawLine(QPointF(map.x(x * unit), area.top()),
                         QPointF(map.x(x * unit), area.bottom()));
    for (double y : yTicks)
        painter.drawLine(QPointF(area.left(), map.y(y)), QPointF(area.right(), map.y(y)));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(area);
    for (double x : xTicks) {
        const double at = map.x(x * unit);
        painter.drawLine(QPointF(at, area.bottom()), QPointF(at, area.bottom() + 4));
        painter.drawText(QRectF(at - 50, area.bottom() + 5, 100, metrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop,
                         number(x, xStep));
    }
    for (double y : yTicks) {
        const double at = map.y(y);
        painter.drawLine(QPointF(area.left() - 4, at), QPointF(area.left(), at));
        painter.drawText(
            QRectF(bounds.left(), at - metrics.height() / 2.0, LeftMargin - 8, metrics.height()),
            Qt::AlignRight | Qt::AlignVCenter,
            number(y, yStep));
    }
    painter.drawText(
        QRectF(area.left(), area.bottom() + 5 + metrics.height(), area.width(), metrics.height()),
        Qt::AlignHCenter,
        metres ? QStringLiteral("distância (m)") : QStringLiteral("distância (km)"));
    painter.translate(bounds.left() + metrics.height() / 2.0 + 2, area.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-60, -metrics.height() / 2.0, 120, metrics.height()),
                     Qt::AlignCenter,
                     QStringLiteral("nível (dB)"));
    painter.restore();
}

namespace {

// Where the user put the span's start (a launch cable's end): 0 m on the axis, a dotted line
// named below the markers' letters.
void paintSpanStart(QPainter &painter, const QRect &area, const Mapping &map, const QColor &colour)
{
    const double x = map.x(0);
    painter.setPen(QPen(colour, 1, Qt::DotLine));
    painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    const QFontMetrics metrics(painter.font());
    painter.drawText(QPointF(x + 3, area.top() + 2 * metrics.height() + 2),
                     QStringLiteral("início do enlace"));
}

} // namespace

// One pixel column at a time: a polyline down each column from its highest to its lowest
// level and on to the next, in a one-pixel pen that takes the painter's fast path.
void paintTrace(QPainter &painter, const QRect &area, const View &view, const Series &series)
{
    if (!drawable(area, view))
        return;
    const ClippedPainter clipped(painter, area);
    const Mapping map(area, view);
    const Sor::Trace &t = *series.trace;
    const QVector<Column> columns = thin(
        t.distanceM.data(), t.levelDb.data(), t.levelDb.size(), view.x0, view.x1, area.width());
    painter.setPen(QPen(series.colour, 0));
    QPolygonF line;
    line.reserve(columns.size() * 2);
    for (int c = 0; c < columns.size(); ++c) {
        const Column &column = columns.at(c);
        if (column.empty) {
            // "No data" breaks the trace; a column between two points when zoomed in does not.
            if (column.noData && !line.isEmpty()) {
                painter.drawPolyline(line);
                line.clear();
            }
            continue;
        }
        const double x = area.left() + c + 0.5;
        line.append(QPointF(x, map.y(column.max)));
        line.append(QPointF(x, map.y(column.min)));
    }
    painter.drawPolyline(line);
    if (t.offsets && t.offsets->applied && t.offsets->user != 0 && view.x0 <= 0 && view.x1 >= 0)
        paintSpanStart(painter, area, map, series.colour);
}

void paintMarkers(QPainter &painter, const QRect &area, const View &view, const Markers &markers)
{
    if (!drawable(area, view))
        return;
    const ClippedPainter clipped(painter, area);
    const Mapping map(area, view);
    const QFontMetrics metrics(painter.font());
    const std::optional<double> marks[] = {markers.a, markers.b};
    for (int m = 0; m < 2; ++m) {
        if (!marks[m] || *marks[m] < view.x0 || *marks[m] > view.x1)
            continue;
        const double x = map.x(*marks[m]);
        const bool active = markers.active == m;
        painter.setPen(QPen(
            m == 0 ? QColor(0, 0, 0) : QColor(0x60, 0x60, 0x60), active ? 2 : 1, Qt::DashLine));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        painter.setPen(Qt::black);
        QFont font = painter.font();
        font.setBold(active);
        painter.setFont(font);
        painter.drawText(QPointF(x + 3, area.top() + metrics.ascent() + 2),
                         m == 0 ? QStringLiteral("A") : QStringLiteral("B"));
    }
}

} // namespace TracePlot
