#pragma once

#include "traceplot/plotpainter.h"

#include <QWidget>

class QRubberBand;

// The traces on screen: wheel and rubber band zoom, drag to pan, Home or a double-click for the
// whole trace, and markers A and B dragged along the distance axis. By keyboard: + and − zoom
// around marker A, the arrows move the active marker by a point (Shift: by a division), Tab
// makes the other marker active.
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
    // What the analysis told the chosen trace is made of, drawn under the traces; none: nothing.
    void setSections(const QVector<TracePlot::SectionBand> &sections)
    {
        bands = sections;
        update();
    }
    const QVector<TracePlot::SectionBand> &sections() const { return bands; }
    // Zooms the distance axis by a factor (below 1: in) around marker A, or the middle without
    // it; the level axis follows what is then shown.
    void zoom(double factor);
    // Moves the active marker by this many points of the selected trace.
    void moveMarker(int points);
    // The distance between two grid lines, for Shift with the arrows.
    double division() const;

    QSize sizeHint() const override { return QSize(800, 420); }
    // What an empty plot says (how to open traces); none draws an empty frame.
    void setEmptyHint(const QString &hint)
    {
        emptyHint = hint;
        update();
    }

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
    bool event(QEvent *event) override;

private:
    enum class Drag { None, Pan, Zoom, MarkerA, MarkerB };

    QRect area() const;
    TracePlot::Mapping mapping() const;
    void zoomAt(double metres, double factor);
    void follow(double metres);
    Drag markerAt(double x) const;

    QVector<TracePlot::Series> series;
    QVector<TracePlot::SectionBand> bands;
    TracePlot::View current;
    TracePlot::Markers marks;
    int selectedSeries = 0;
    Drag drag = Drag::None;
    QPoint pressedAt;
    TracePlot::View pressedView;
    QRubberBand *band = nullptr;
    QString emptyHint;
};
