#include "plotwidget.h"

#include "traceplot/markers.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QWheelEvent>

#include <cmath>

namespace {
// How near to a marker's line a press picks it up.
constexpr int MarkerGrabPixels = 6;
// One notch of the wheel shows this share of the distance.
constexpr double WheelZoom = 0.8;
// Closer than this the view does not zoom in: a few points across the plot.
constexpr double SmallestSpanM = 5.0;
} // namespace

PlotWidget::PlotWidget(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(320, 220);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotWidget::setSeries(const QVector<TracePlot::Series> &newSeries)
{
    const bool first = series.isEmpty() && !newSeries.isEmpty();
    series = newSeries;
    if (first || series.isEmpty())
        showAll();
    update();
}

void PlotWidget::setView(const TracePlot::View &view)
{
    current = view;
    update();
}

void PlotWidget::showAll()
{
    current = TracePlot::fullView(series);
    update();
}

void PlotWidget::setMarker(int which, double metres)
{
    (which == 0 ? marks.a : marks.b) = metres;
    update();
    emit markersChanged();
}

TracePlot::Mapping PlotWidget::mapping() const
{
    return TracePlot::Mapping(TracePlot::plotArea(rect()), current);
}

// The marker whose line a pointer at x is on, if any: A before B where they overlap.
PlotWidget::Drag PlotWidget::markerAt(double x) const
{
    const TracePlot::Mapping map = mapping();
    if (marks.a && map.near(*marks.a, x, MarkerGrabPixels))
        return Drag::MarkerA;
    if (marks.b && map.near(*marks.b, x, MarkerGrabPixels))
        return Drag::MarkerB;
    return Drag::None;
}

void PlotWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    TracePlot::paint(painter, rect(), series, current, marks);
}

void PlotWidget::wheelEvent(QWheelEvent *event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || series.isEmpty())
        return;
    const double factor = std::pow(WheelZoom, notches);
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    const QPointF at = event->position();
#else
    const QPointF at = event->posF();
#endif
    if (event->modifiers() & Qt::ControlModifier) { // the level axis
        const double y = mapping().level(at.y());
        current.y0 = y + (current.y0 - y) * factor;
        current.y1 = y + (current.y1 - y) * factor;
    } else {
        const double x = mapping().metres(at.x());
        const double span = std::max(SmallestSpanM, (current.x1 - current.x0) * factor);
        const double share = (x - current.x0) / (current.x1 - current.x0);
        current.x0 = x - share * span;
        current.x1 = current.x0 + span;
    }
    update();
    event->accept();
}

void PlotWidget::mousePressEvent(QMouseEvent *event)
{
    pressedAt = event->pos();
    pressedView = current;
    const Drag marker = markerAt(event->pos().x());
    if (event->button() == Qt::LeftButton && marker != Drag::None)
        drag = marker;
    else if (event->button() == Qt::RightButton
             || (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier))) {
        drag = Drag::Zoom;
        if (!band)
            band = new QRubberBand(QRubberBand::Rectangle, this);
        band->setGeometry(QRect(pressedAt, QSize()));
        band->show();
    } else if (event->button() == Qt::LeftButton) {
        drag = Drag::Pan;
        setCursor(Qt::ClosedHandCursor);
    }
}

void PlotWidget::mouseMoveEvent(QMouseEvent *event)
{
    switch (drag) {
    case Drag::MarkerA:
    case Drag::MarkerB: {
        double metres = mapping().metres(event->pos().x());
        if (selectedSeries >= 0 && selectedSeries < series.size())
            metres = TracePlot::snap(*series.at(selectedSeries).trace, metres);
        setMarker(drag == Drag::MarkerA ? 0 : 1, metres);
        break;
    }
    case Drag::Pan: {
        const QRect area = TracePlot::plotArea(rect());
        const QPoint moved = event->pos() - pressedAt;
        const double dx = moved.x() * (pressedView.x1 - pressedView.x0) / area.width();
        const double dy = moved.y() * (pressedView.y1 - pressedView.y0) / area.height();
        current
            = {pressedView.x0 - dx, pressedView.x1 - dx, pressedView.y0 + dy, pressedView.y1 + dy};
        update();
        break;
    }
    case Drag::Zoom:
        band->setGeometry(QRect(pressedAt, event->pos()).normalized());
        break;
    case Drag::None:
        if (markerAt(event->pos().x()) != Drag::None)
            setCursor(Qt::SizeHorCursor);
        else
            unsetCursor();
        break;
    }
}

void PlotWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (drag == Drag::Zoom) {
        band->hide();
        const QRect chosen = QRect(pressedAt, event->pos()).normalized();
        if (chosen.width() > 4 && chosen.height() > 4) {
            const TracePlot::Mapping map = mapping();
            const double x0 = map.metres(chosen.left());
            const double x1 = std::max(x0 + SmallestSpanM, map.metres(chosen.right()));
            current = {x0, x1, map.level(chosen.bottom()), map.level(chosen.top())};
            update();
        }
    }
    drag = Drag::None;
    unsetCursor();
}

void PlotWidget::mouseDoubleClickEvent(QMouseEvent *)
{
    showAll();
}

void PlotWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Home || event->key() == Qt::Key_Escape)
        showAll();
    else
        QWidget::keyPressEvent(event);
}
