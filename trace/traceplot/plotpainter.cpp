#include "traceplot/plotpainter.h"

#include "sor/sortext.h"
#include "traceplot/eventflags.h"
#include "traceplot/plotmath.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgGenerator>

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

// An area too small, or a view without extent, shows nothing.
bool drawable(const QRect &area, const View &view)
{
    return area.width() >= 10 && area.height() >= 10 && view.x1 > view.x0 && view.y1 > view.y0;
}

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

QString legendText(const Series &series)
{
    const Sor::Trace &t = *series.trace;
    QString text = series.label;
    if (t.damaged())
        text += QStringLiteral(" (%1)").arg(Sor::damagedWord());
    QStringList details;
    if (t.wavelengthNm)
        details << Sor::wavelengthText(*t.wavelengthNm);
    if (t.fixed && !t.fixed->pulseWidthsNs.isEmpty())
        details << QStringLiteral("%1 ns").arg(t.fixed->pulseWidthsNs.first());
    if (!details.isEmpty())
        text += QStringLiteral(" — ") + details.join(QStringLiteral(", "));
    return text;
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

namespace {

QSize legendSize(const QVector<Series> &series, const QFontMetrics &metrics)
{
    int width = 0;
    for (const Series &s : series)
        width = std::max(width, metrics.horizontalAdvance(legendText(s)));
    // Room for a bold line too.
    return QSize(width + width / 10 + 36, (metrics.height() + 2) * series.size() + 8);
}

// How many pixel columns of traces a box (with a little room around it) crosses.
int covered(const QRect &box, const QRect &area, const View &view, const QVector<Series> &series)
{
    const Mapping map(area, view);
    const double x0 = map.metres(box.left());
    const double x1 = map.metres(box.right() + 1);
    int count = 0;
    for (const Series &s : series) {
        const Sor::Trace &t = *s.trace;
        const QVector<Column> columns
            = thin(t.distanceM.data(), t.levelDb.data(), t.levelDb.size(), x0, x1, box.width());
        for (const Column &c : columns) {
            if (!c.empty && map.y(c.min) >= box.top() - 4 && map.y(c.max) <= box.bottom() + 4)
                ++count;
        }
    }
    return count;
}

} // namespace

Layout layout(const QRect &bounds,
              const QVector<Series> &series,
              const View &view,
              const QFontMetrics &metrics)
{
    Layout l{plotArea(bounds), QRect()};
    if (series.isEmpty() || !drawable(l.area, view))
        return l;
    const QSize size = legendSize(series, metrics);
    const QRect &a = l.area;
    const int inset = 8;
    // Top right first, where a trace that starts high at the left seldom is.
    const QRect corners[] = {
        QRect(QPoint(a.right() - inset - size.width(), a.top() + inset), size),
        QRect(QPoint(a.left() + inset, a.bottom() - inset - size.height()), size),
        QRect(QPoint(a.right() - inset - size.width(), a.bottom() - inset - size.height()), size),
        QRect(QPoint(a.left() + inset, a.top() + inset), size)};
    // A flag under the legend is an event the reader cannot see: its box and its staff count.
    const QVector<Flag> flags = placeFlags(a, view, series, metrics);
    const auto flagged = [&](const QRect &corner) {
        return std::any_of(flags.cbegin(), flags.cend(), [&](const Flag &f) {
            return QRectF(f.anchor, f.anchor).united(f.box).intersects(corner);
        });
    };
    for (const QRect &corner : corners) {
        if (a.contains(corner) && covered(corner, a, view, series) == 0 && !flagged(corner)) {
            l.legend = corner;
            return l;
        }
    }
    // No free corner: the plot gives up a strip above it to the legend.
    l.area.setTop(l.area.top() + size.height() + inset);
    l.legend = QRect(QPoint(l.area.right() - size.width(), bounds.top() + TopMargin), size);
    return l;
}

void paint(QPainter &painter,
           const QRect &bounds,
           const QVector<Series> &series,
           const View &view,
           const Markers &markers,
           const QVector<SectionBand> &sections)
{
    painter.save();
    const Layout l = layout(bounds, series, view, QFontMetrics(painter.font()));
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

// One pixel column at a time: a polyline down each column from its highest to its lowest
// level and on to the next, in a one-pixel pen that takes the painter's fast path.
void paintTrace(QPainter &painter, const QRect &area, const View &view, const Series &series)
{
    if (!drawable(area, view))
        return;
    painter.save();
    painter.setClipRect(area);
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
    // Where the user put the span's start (a launch cable's end): 0 m on the axis.
    if (t.offsets && t.offsets->applied && t.offsets->user != 0 && view.x0 <= 0 && view.x1 >= 0) {
        const double x = map.x(0);
        painter.setPen(QPen(series.colour, 1, Qt::DotLine));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        const QFontMetrics metrics(painter.font());
        // Below the markers' letters.
        painter.drawText(QPointF(x + 3, area.top() + 2 * metrics.height() + 2),
                         QStringLiteral("início do enlace"));
    }
    painter.restore();
}

void paintMarkers(QPainter &painter, const QRect &area, const View &view, const Markers &markers)
{
    if (!drawable(area, view))
        return;
    painter.save();
    painter.setClipRect(area);
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
    painter.restore();
}

void paintLegend(QPainter &painter, const QRect &box, const QVector<Series> &series)
{
    if (series.isEmpty())
        return;
    painter.save();
    const QFontMetrics metrics(painter.font());
    const int line = metrics.height() + 2;
    painter.setPen(QColor(0xb0, 0xb0, 0xb0));
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRect(box);
    for (int i = 0; i < series.size(); ++i) {
        const int y = box.top() + 4 + i * line;
        painter.fillRect(QRect(box.left() + 6, y + line / 2 - 2, 16, 4), series.at(i).colour);
        QFont font = painter.font();
        font.setBold(series.at(i).emphasised);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(box.left() + 28, y, box.width() - 30, line),
                         Qt::AlignVCenter,
                         legendText(series.at(i)));
    }
    painter.restore();
}

QString drawingProblem()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QString();
    return QStringLiteral("não é possível desenhar: o programa não iniciou a parte gráfica");
}

bool save(const QString &path,
          const QVector<Series> &series,
          const QSize &size,
          QString *error,
          const View *shown,
          const Markers &markers)
{
    const QString problem = drawingProblem();
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    const View view = shown ? *shown : fullView(series);
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Traços OTDR"));
        QPainter painter;
        if (!painter.begin(&svg)) {
            if (error)
                *error = QStringLiteral("não foi possível criar o arquivo");
            return false;
        }
        paint(painter, QRect(QPoint(0, 0), size), series, view, markers);
        painter.end();
        if (!QFileInfo::exists(path)) {
            if (error)
                *error = QStringLiteral("não foi possível criar o arquivo");
            return false;
        }
        return true;
    }
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paint(painter, image.rect(), series, view, markers);
    painter.end();
    QImageWriter writer(path, "png");
    if (writer.write(image))
        return true;
    if (error)
        *error = QFileInfo(QFileInfo(path).absolutePath()).isDir()
                     ? QStringLiteral("não foi possível gravar a imagem (permissão ou disco cheio)")
                     : QStringLiteral("a pasta não existe");
    return false;
}

} // namespace TracePlot
