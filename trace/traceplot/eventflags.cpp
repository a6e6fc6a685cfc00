#include "traceplot/eventflags.h"

#include "traceplot/clippedpainter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace TracePlot {

namespace {

const QColor SharedColour(0x50, 0x50, 0x50);

// The staff between the trace and the lowest place of a box.
constexpr double StaffPixels = 14;
// A box no further than this from its trace: past it, the event gets a tick on the trace.
constexpr double FarthestPixels = 160;
// Other traces' events this near, with one number, share one flag.
constexpr double GroupPixels = 3;
// Around the event, the staff stands on the highest point within this many pixels, so that it
// rises from a reflection's peak rather than through it.
constexpr double PeakPixels = 4;

// The highest level within a few pixels of a distance; NaN where the trace has no data there.
double peakNear(const Sor::Trace &t, const Mapping &map, double metres)
{
    const double lo = map.metres(map.x(metres) - PeakPixels);
    const double hi = map.metres(map.x(metres) + PeakPixels);
    const auto &x = t.distanceM;
    size_t i = size_t(std::lower_bound(x.begin(), x.end(), lo) - x.begin());
    double best = std::nan("");
    for (; i < x.size() && x[i] <= hi; ++i) {
        if (!std::isnan(t.levelDb[i]) && !(t.levelDb[i] <= best))
            best = t.levelDb[i];
    }
    return best;
}

// The highest and lowest pixel rows the flag's traces reach in [left, right]: a box above them or
// below them hides no part of the event it marks, a reflection's foot and its peak alike.
struct Span
{
    double top = std::numeric_limits<double>::infinity();
    double bottom = -std::numeric_limits<double>::infinity();
};

Span traceSpan(
    const Flag &f, double left, double right, const Mapping &map, const QVector<Series> &series)
{
    Span span;
    QVector<int> traces{f.series};
    for (const QPair<int, int> &other : f.shared)
        traces << other.first;
    const int columns = std::max(1, int(std::ceil(right - left)));
    for (int s : traces) {
        const Sor::Trace &t = *series.at(s).trace;
        for (const Column &c : thin(t.distanceM.data(),
                                    t.levelDb.data(),
                                    t.levelDb.size(),
                                    map.metres(left),
                                    map.metres(right),
                                    columns)) {
            if (c.empty)
                continue;
            span.top = std::min(span.top, map.y(c.max));
            span.bottom = std::max(span.bottom, map.y(c.min));
        }
    }
    // No point there (past the trace's end): the event's own place.
    if (span.top > span.bottom)
        span = {f.anchor.y(), f.anchor.y()};
    return span;
}

bool overlaps(const QRectF &box, const QVector<Flag> &placed)
{
    return std::any_of(placed.cbegin(), placed.cend(), [&](const Flag &f) {
        return !f.box.isEmpty() && f.box.adjusted(-1, -1, 1, 1).intersects(box);
    });
}

// Every event in view, on its trace: its flag's text, and its anchor on the highest point near it.
QVector<Flag> wantedFlags(const QRect &area, const View &view, const QVector<Series> &series)
{
    const Mapping map(area, view);
    QVector<Flag> wanted;
    for (int s = 0; s < series.size(); ++s) {
        const Sor::Trace &t = *series.at(s).trace;
        if (!t.keyEvents)
            continue;
        const QStringList &labels = series.at(s).eventLabels;
        for (int i = 0; i < t.keyEvents->events.size(); ++i) {
            const Sor::Event &e = t.keyEvents->events.at(i);
            if (e.distanceM < view.x0 || e.distanceM > view.x1)
                continue;
            if (!labels.isEmpty() && labels.value(i).isEmpty())
                continue;
            double level = peakNear(t, map, e.distanceM);
            if (std::isnan(level))
                level = view.y0;
            Flag f;
            f.series = s;
            f.event = i;
            f.emphasised = series.at(s).emphasised;
            f.text = labels.isEmpty() ? QString::number(e.number) : labels.at(i);
            f.anchor = QPointF(map.x(e.distanceM),
                               qBound(double(area.top()), map.y(level), double(area.bottom())));
            wanted.append(f);
        }
    }
    return wanted;
}

// The selected trace's flags first, each its own; the others' grouped where they share an
// event (the same number within a few pixels): one flag on the highest of them.
QVector<Flag> grouped(QVector<Flag> wanted)
{
    std::stable_sort(wanted.begin(), wanted.end(), [](const Flag &a, const Flag &b) {
        if (a.emphasised != b.emphasised)
            return a.emphasised;
        return a.anchor.x() < b.anchor.x();
    });
    QVector<Flag> flags;
    for (const Flag &f : wanted) {
        Flag *group = nullptr;
        if (!f.emphasised) {
            for (int k = int(flags.size()) - 1; k >= 0; --k) {
                Flag &g = flags[k];
                if (g.emphasised || f.anchor.x() - g.anchor.x() > GroupPixels)
                    break;
                if (g.text == f.text) {
                    group = &g;
                    break;
                }
            }
        }
        if (!group) {
            flags.append(f);
            continue;
        }
        group->shared.append({f.series, f.event});
        if (f.anchor.y() < group->anchor.y())
            group->anchor.setY(f.anchor.y());
    }
    return flags;
}

// Where the boxes may go: inside the plot, below the markers' letters, one text line high.
struct FlagRoom
{
    QRect area;
    double ceiling = 0;
    double height = 0;
};

// The first free place for a flag's box: up from the trace first, one box at a time, then down
// below it; never so far that the number no longer reads as its trace's. Empty where none is free.
QRectF freeBox(const Flag &f,
               double width,
               const FlagRoom &room,
               const QVector<Flag> &placed,
               const Mapping &map,
               const QVector<Series> &series)
{
    // Over the event first, then beside it (where a reflection leaves no room above or below
    // it), inside the plot at its edges too: the staff then slants to the box.
    const double x = f.anchor.x();
    for (double wanted : {x - width / 2, x - 3 - width, x + 3}) {
        const double left
            = qBound(double(room.area.left()), wanted, double(room.area.right()) - width);
        // Clear of its traces under the whole box, not only at the event's own column.
        const Span span = traceSpan(f, left - 2, left + width + 2, map, series);
        QVector<double> tops;
        for (double top = span.top - StaffPixels - room.height;
             top >= room.ceiling && f.anchor.y() - top <= FarthestPixels;
             top -= room.height)
            tops.append(top);
        for (double top = span.bottom + StaffPixels;
             top + room.height <= room.area.bottom() && top - f.anchor.y() <= FarthestPixels;
             top += room.height)
            tops.append(top);
        for (double top : tops) {
            const QRectF box(left, top, width, room.height);
            if (!overlaps(box, placed))
                return box;
        }
    }
    return QRectF();
}

} // namespace

QVector<Flag> placeFlags(const QRect &area,
                         const View &view,
                         const QVector<Series> &series,
                         const QFontMetrics &metrics)
{
    QVector<Flag> placed;
    if (area.width() < 10 || area.height() < 10 || view.x1 <= view.x0 || view.y1 <= view.y0)
        return placed;
    // The top line is the markers' letters'.
    const FlagRoom room{area, area.top() + metrics.height() + 4.0, metrics.height() + 2.0};
    const Mapping map(area, view);
    for (Flag f : grouped(wantedFlags(area, view, series))) {
        f.box = freeBox(f, metrics.horizontalAdvance(f.text) + 6, room, placed, map, series);
        placed.append(f);
    }
    return placed;
}

void paintFlags(QPainter &painter,
                const QRect &area,
                const View &view,
                const QVector<Series> &series)
{
    const ClippedPainter clipped(painter, area);
    const QVector<Flag> flags = placeFlags(area, view, series, QFontMetrics(painter.font()));
    // All staffs first, then the boxes over them: a staff never crosses a number.
    for (bool boxes : {false, true}) {
        for (bool front : {false, true}) {
            QFont font = painter.font();
            font.setBold(front);
            painter.setFont(font);
            for (const Flag &f : flags) {
                if (f.emphasised != front)
                    continue;
                // A flag several traces share is none's in particular.
                painter.setPen(QPen(f.shared.isEmpty() ? series.at(f.series).colour : SharedColour,
                                    front ? 2 : 1));
                if (f.box.isEmpty()) { // no room for the number: a tick on the trace
                    if (!boxes)
                        painter.drawLine(f.anchor, f.anchor - QPointF(0, StaffPixels / 2));
                } else if (!boxes) {
                    const double foot
                        = f.box.bottom() < f.anchor.y() ? f.box.bottom() : f.box.top();
                    painter.drawLine(
                        f.anchor, QPointF(qBound(f.box.left(), f.anchor.x(), f.box.right()), foot));
                } else {
                    painter.setBrush(Qt::white);
                    painter.drawRect(f.box);
                    painter.drawText(f.box, Qt::AlignCenter, f.text);
                }
            }
        }
    }
}

} // namespace TracePlot
