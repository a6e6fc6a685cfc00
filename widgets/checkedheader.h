#pragma once

#include <QHeaderView>

// A header that draws a check box, centred, in section 0 and flips it on a press there.
class CheckedHeader : public QHeaderView
{
    Q_OBJECT

public:
    CheckedHeader(Qt::Orientation orientation, QWidget *parent = nullptr);
    ~CheckedHeader() override;

    bool isChecked() const { return boxChecked; }
    void setChecked(bool checked);
    QRect checkBoxRect(const QRect &sectionRect) const;

signals:
    void toggled(bool);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    bool boxChecked = false;
};
