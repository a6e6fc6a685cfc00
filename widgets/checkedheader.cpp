#include "widgets/checkedheader.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

CheckedHeader::CheckedHeader(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{
}

CheckedHeader::~CheckedHeader() = default;

void CheckedHeader::setChecked(bool checked)
{
    if (!isEnabled() || checked == boxChecked)
        return;
    boxChecked = checked;
    updateSection(0);
    emit toggled(boxChecked);
}

QRect CheckedHeader::checkBoxRect(const QRect &sectionRect) const
{
    QStyleOptionButton option;
    const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, nullptr);
    const int x = sectionRect.x() + sectionRect.width() / 2 - indicator.width() / 2;
    const int y = sectionRect.y() + sectionRect.height() / 2 - indicator.height() / 2;
    return QRect(x, y, indicator.width(), indicator.height());
}

void CheckedHeader::mousePressEvent(QMouseEvent *event)
{
    if (!isEnabled()) {
        QHeaderView::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->pos();
    const int section = logicalIndexAt(orientation() == Qt::Horizontal ? pos.x() : pos.y());
    if (section != 0) {
        QHeaderView::mousePressEvent(event);
        return;
    }
    boxChecked = !boxChecked;
    updateSection(0);
    emit toggled(boxChecked);
}

void CheckedHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (logicalIndex != 0)
        return;

    QStyleOptionButton option;
    if (isEnabled())
        option.state |= QStyle::State_Enabled;
    option.rect = checkBoxRect(rect);
    option.state |= boxChecked ? QStyle::State_On : QStyle::State_Off;
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, painter);
}
