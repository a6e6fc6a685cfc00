#include "traceplot/sectionbands.h"

#include "traceplot/clippedpainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <iterator>

namespace TracePlot {

QColor bandColour(SectionBand::Kind kind)
{
    // In the order of SectionBand::Kind.
    static const QColor colours[] = {QColor(90, 90, 90),
                                     QColor(150, 110, 200),
                                     QColor(40, 160, 80),
                                     QColor(230, 140, 30),
                                     QColor(210, 40, 40),
                                     QColor(190, 190, 190)};
    static_assert(std::size(colours) == size_t(SectionBand::Kind::Floor) + 1);
    const int k = int(kind);
    return k >= 0 && k < int(std::size(colours)) ? colours[k] : QColor(Qt::gray);
}

QVector<QPair<QString, QRectF>> sectionLabels(const QRect &area,
                                              const View &view,
                                              const QVector<SectionBand> &bands,
                                              const QFontMetrics &metrics)
{
    QVector<QPair<QString, QRectF>> labels;
    if (!(view.x1 > view.x0) || !(view.y1 > view.y0))
        return labels;
    const Mapping map(area, view);
    for (const SectionBand &b : bands) {
        const double left = std::max(map.x(b.startM), double(area.left()));
        const double right = std::min(map.x(b.endM), double(area.right()));
        const int width = metrics.horizontalAdvance(b.label);
        if (b.label.isEmpty() || right <= left || width + 8 >= right - left)
            continue;
        const double baseline = area.bottom() - SectionStrip - 3;
        labels.append({b.label,
                       QRectF(left + 4,
                              baseline - metrics.ascent(),
                              width,
                              metrics.ascent() + metrics.descent())});
    }
    return labels;
}

void paintSections(QPainter &painter,
                   const QRect &area,
                   const View &view,
                   const QVector<SectionBand> &bands)
{
    if (bands.isEmpty() || !(view.x1 > view.x0) || !(view.y1 > view.y0))
        return;
    const ClippedPainter clipped(painter, area);
    painter.setPen(Qt::NoPen);
    const Mapping map(area, view);
    for (const SectionBand &b : bands) {
        const double left = std::max(map.x(b.startM), double(area.left()));
        const double right = std::min(map.x(b.endM), double(area.right()));
        if (right <= left)
            continue;
        painter.setBrush(bandColour(b.kind));
        painter.drawRect(QRectF(map.x(b.startM),
                                area.bottom() - SectionStrip,
                                map.x(b.endM) - map.x(b.startM),
                                SectionStrip));
        const QFontMetrics metrics(painter.font());
        for (const auto &label : sectionLabels(area, view, {b}, metrics)) {
            painter.setPen(bandColour(b.kind).darker(130));
            painter.drawText(QPointF(label.second.left(), area.bottom() - SectionStrip - 3),
                             label.first);
            painter.setPen(Qt::NoPen);
        }
        if (b.kind != SectionBand::Kind::Fibre || !b.startDb || !b.endDb)
            continue;
        // Along the fibre's line, as wide as its noise (never thinner than a few pixels).
        QColor fill = bandColour(b.kind);
        fill.setAlpha(90);
        painter.setBrush(fill);
        const double half
            = std::max(ThinnestBand / 2, map.y(*b.startDb - 3 * b.halfWidthDb) - map.y(*b.startDb));
        QPolygonF band;
        band << QPointF(map.x(b.startM), map.y(*b.startDb) - half)
             << QPointF(map.x(b.endM), map.y(*b.endDb) - half)
             << QPointF(map.x(b.endM), map.y(*b.endDb) + half)
             << QPointF(map.x(b.startM), map.y(*b.startDb) + half);
        painter.drawPolygon(band);
    }
}

} // namespace TracePlot
