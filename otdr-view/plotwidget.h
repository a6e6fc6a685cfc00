#pragma once

#include "traceplot/plotpainter.h"

#include <QWidget>

class QRubberBand;

// The traces on screen: wheel and rubber band zoom, drag to pan, Home or a double-click for the
// whole trace, and markers A and B dragged along the distance axis.
class PlotWidget : public QWidget
{
    Q_OBJECT

public:
    explicit PlotWidget(QWidget *parent = nullptr);

    // The series are not owned; the whole of them is shown when the first one arrives.
    void setSeries(const QVector<TracePlot::Series> &series);
    const TracePlot::View &view() const { return current; }
    void setView(const TracePlot::View &view);
    void showAll();
    const TracePlot::Markers &markers() const { return marks; }
    // 0 for A, 1 for B.
    void setMarker(int which, double metres);
    // The trace whose points the markers land on when dragged.
    void setSelected(int index) { selectedSeries = index; }

    QSize sizeHint() const override { return QSize(800, 420); }

signals:
    void markersChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    enum class Drag { None, Pan, Zoom, MarkerA, MarkerB };

    TracePlot::Mapping mapping() const;
    Drag markerAt(double x) const;

    QVector<TracePlot::Series> series;
    TracePlot::View current;
    TracePlot::Markers marks;
    int selectedSeries = 0;
    Drag drag = Drag::None;
    QPoint pressedAt;
    TracePlot::View pressedView;
    QRubberBand *band = nullptr;
};
