#pragma once

#include "linkmap/linkmap.h"

#include <QWidget>

#include <optional>

// The open traces' link as a row of symbols above the plot: a click on a symbol chooses its
// event. When the traces are no one fibre's shots, one line says why.
class LinkMapWidget : public QWidget
{
    Q_OBJECT

public:
    explicit LinkMapWidget(QWidget *parent = nullptr);

    // The map to show, or why there is none (empty: nothing open).
    void setMap(const std::optional<LinkMap::Map> &map, const QString &why = QString());
    const std::optional<LinkMap::Map> &map() const { return shown; }
    QString why() const { return reason; }
    std::optional<int> selected() const { return chosen; }
    // The text height the map is drawn with.
    double unit() const;
    // Where item i's symbol lies in the widget.
    QPointF symbolCentre(int i) const;

signals:
    // An item was clicked: its event's distance along the fibre.
    void eventClicked(int item, double distanceM);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitHeight();
    QRectF area() const;

    std::optional<LinkMap::Map> shown;
    QString reason;
    std::optional<int> chosen;
};
