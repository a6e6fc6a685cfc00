#include "traceplot/plotpainter.h"

#include "sor/sortext.h"
#include "traceplot/eventflags.h"

#include <QPainter>

#include <algorithm>

// The legend: what it says of each trace, the corner it takes where it hides no trace and no
// event, and its box.
namespace TracePlot {

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
              const QFontMetrics &metrics,
              const QVector<SectionBand> &sections)
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
    // A section's word under the legend is one the reader cannot read.
    const QVector<QPair<QString, QRectF>> labels = sectionLabels(a, view, sections, metrics);
    const auto labelled = [&](const QRect &corner) {
        return std::any_of(labels.cbegin(), labels.cend(), [&](const QPair<QString, QRectF> &l) {
            return l.second.intersects(corner);
        });
    };
    for (const QRect &corner : corners) {
        if (a.contains(corner) && covered(corner, a, view, series) == 0 && !flagged(corner)
            && !labelled(corner)) {
            l.legend = corner;
            return l;
        }
    }
    // No free corner: the plot gives up a strip above it to the legend.
    l.area.setTop(l.area.top() + size.height() + inset);
    l.legend = QRect(QPoint(l.area.right() - size.width(), plotArea(bounds).top()), size);
    return l;
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

} // namespace TracePlot
