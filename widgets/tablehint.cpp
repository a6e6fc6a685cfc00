#include "widgets/tablehint.h"

#include <QEvent>

TableHint::TableHint(QWidget *viewport)
    : QLabel(viewport)
{
    setAlignment(Qt::AlignCenter);
    // A long note wraps rather than running past the table's edges.
    setWordWrap(true);
    // Grey text, halfway between the text and the view's background, in light and dark themes.
    QPalette colours = palette();
    const QColor text = colours.color(QPalette::Text);
    const QColor base = colours.color(QPalette::Base);
    colours.setColor(QPalette::Text,
                     QColor((text.red() + base.red()) / 2,
                            (text.green() + base.green()) / 2,
                            (text.blue() + base.blue()) / 2));
    setPalette(colours);
    setBackgroundRole(QPalette::Base); // whose contrasting role is Text
    setAutoFillBackground(true);
    viewport->installEventFilter(this);
    hide();
}

void TableHint::showNote(const QString &text, bool atFoot)
{
    setText(text);
    foot = atFoot;
    place();
    show();
    raise();
}

bool TableHint::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        place();
    return QLabel::eventFilter(watched, event);
}

void TableHint::place()
{
    const QRect area = parentWidget()->rect();
    const int height = heightForWidth(area.width());
    setGeometry(area.x(),
                foot ? area.bottom() + 1 - height : area.center().y() - height / 2,
                area.width(),
                height);
}
