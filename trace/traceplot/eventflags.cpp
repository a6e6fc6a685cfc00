#include "traceplot/eventflags.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

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

bool overlaps(const QRectF &box, const QVector<Flag> &placed)
{
    return std::any_of(placed.cbegin(), placed.cend(), [&](const Flag &f) {
        return !f.box.isEmpty() && f.box.adjusted(-1, -1, 1, 1).intersects(box);
    });
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
    const Mapping map(area, view);
    const double height = metrics.height() + 2;
    // The top line is the markers' letters'.
    const double ceiling = area.top() + metrics.height() + 4;
    // Every event in view, on its trace.
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
    // The selected trace's flags first, each its own; the others' grouped where they share an
    // event (the same number within a few pixels): one flag on the highest of them.
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
    for (Flag f : flags) {
        const double width = metrics.horizontalAdvance(f.text) + 6;
        // Up from the trace first, one box at a time, then down below it; never so far that
        // the number no longer reads as its trace's.
        QVector<double> tops;
        for (double top = f.anchor.y() - StaffPixels - height;
             top >= ceiling && f.anchor.y() - top <= FarthestPixels;
             top -= height)
            tops.append(top);
        for (double top = f.anchor.y() + StaffPixels;
             top + height <= area.bottom() && top - f.anchor.y() <= FarthestPixels;
             top += height)
            tops.append(top);
        // Inside the plot at its edges too, the staff then slanting to it.
        const double left
            = qBound(double(area.left()), f.anchor.x() - width / 2, double(area.right()) - width);
        for (double top : tops) {
            const QRectF box(left, top, width, height);
            if (!overlaps(box, placed)) {
                f.box = box;
                break;
            }
        }
        placed.append(f);
    }
    return placed;
}

void paintFlags(QPainter &painter,
                const QRect &area,
                const View &view,
                const QVector<Series> &series)
{
    painter.save();
    painter.setClipRect(area);
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
    painter.restore();
}

} // namespace TracePlot
