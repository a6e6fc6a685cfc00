#include "linkmapwidget.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

LinkMapWidget::LinkMapWidget(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("linkMap"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setToolTip(QStringLiteral("Mapa do enlace: clique num símbolo para ver o evento no gráfico"));
    fitHeight();
}

void LinkMapWidget::setMap(const std::optional<LinkMap::Map> &map, const QString &why)
{
    shown = map;
    reason = why;
    if (!shown || !chosen || *chosen >= shown->items.size())
        chosen.reset();
    setVisible(shown || !reason.isEmpty());
    fitHeight();
    update();
}

double LinkMapWidget::unit() const
{
    return fontMetrics().height() * 0.85;
}

QRectF LinkMapWidget::area() const
{
    return QRectF(rect()).adjusted(6, 4, -6, -2);
}

QPointF LinkMapWidget::symbolCentre(int i) const
{
    const QRectF a = area();
    const LinkMap::Layout l
        = LinkMap::layout(shown ? int(shown->items.size()) : 0, a.width() / unit());
    return {a.left() + l.x(i) * unit(), a.top() + l.y(i) * unit()};
}

void LinkMapWidget::fitHeight()
{
    const int height = shown
                           ? int(std::ceil(LinkMap::heightFor(*shown, area().width(), unit()))) + 6
                           : fontMetrics().height() + 8;
    if (height != this->height())
        setFixedHeight(height);
}

void LinkMapWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitHeight();
}

void LinkMapWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    if (!shown) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(
            area(), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Mapa do enlace: ") + reason);
        return;
    }
    LinkMap::paint(p, area(), *shown, unit(), chosen);
}

void LinkMapWidget::mousePressEvent(QMouseEvent *event)
{
    if (!shown)
        return;
    const std::optional<int> item = LinkMap::itemAt(*shown, area(), unit(), event->pos());
    if (!item)
        return;
    chosen = item;
    update();
    emit eventClicked(*item, shown->items.at(*item).distanceM);
}
