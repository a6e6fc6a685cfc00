#pragma once

#include <QLabel>

// A grey one-line note over a view's viewport: centred, or along its foot when the view shows
// rows that the note must not hide. It follows the viewport's size.
class TableHint : public QLabel
{
    Q_OBJECT

public:
    explicit TableHint(QWidget *viewport);

    void showNote(const QString &text, bool atFoot);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    bool foot = false;
};
