#include "plotwidget.h"

#include "traceplot/markers.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
// How near to a marker's line a press picks it up.
constexpr int MarkerGrabPixels = 6;
// One notch of the wheel shows this share of the distance.
constexpr double WheelZoom = 0.8;
// Closer than this the view does not zoom in: a few points across the plot.
constexpr double SmallestSpanM = 5.0;
// + shows this share of the distance, − the inverse.
constexpr double KeyZoom = 0.5;
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

// Where the traces are drawn: the legend may take a strip of the widget.
QRect PlotWidget::area() const
{
    return TracePlot::layout(rect(), series, current, fontMetrics(), bands).area;
}

TracePlot::Mapping PlotWidget::mapping() const
{
    return TracePlot::Mapping(area(), current);
}

void PlotWidget::zoomAt(double x, double factor)
{
    // Out no further than the data: past it there is nothing to see.
    const TracePlot::View whole = TracePlot::fullView(series);
    const double span = std::clamp((current.x1 - current.x0) * factor,
                                   SmallestSpanM,
                                   std::max(SmallestSpanM, whole.x1 - whole.x0));
    const double share = (x - current.x0) / (current.x1 - current.x0);
    current.x0 = x - share * span;
    current.x1 = current.x0 + span;
    if (factor > 1) {
        const double back = std::max(0.0, current.x1 - whole.x1);
        current.x0 -= back;
        current.x1 -= back;
        const double on = std::max(0.0, whole.x0 - current.x0);
        current.x0 += on;
        current.x1 += on;
    }
    current = TracePlot::fitLevels(series, current);
    update();
}

void PlotWidget::zoom(double factor)
{
    if (series.isEmpty())
        return;
    const bool seen = marks.a && *marks.a >= current.x0 && *marks.a <= current.x1;
    zoomAt(seen ? *marks.a : (current.x0 + current.x1) / 2, factor);
}

double PlotWidget::division() const
{
    return TracePlot::distanceDivision(area(), current);
}

void PlotWidget::moveMarker(int points)
{
    if (selectedSeries < 0 || selectedSeries >= series.size())
        return;
    const std::vector<double> &x = series.at(selectedSeries).trace->distanceM;
    if (x.empty())
        return;
    const std::optional<double> &mark = marks.active == 0 ? marks.a : marks.b;
    const double from = mark ? *mark : (current.x0 + current.x1) / 2;
    const long at
        = long(std::lower_bound(
                   x.begin(), x.end(), TracePlot::snap(*series.at(selectedSeries).trace, from))
               - x.begin());
    const double to = x[size_t(qBound(0L, at + points, long(x.size()) - 1))];
    setMarker(marks.active, to);
    follow(to);
}

// Pans so that a distance is in view, the levels fitted to what is then shown: a marker that
// jumps far never leaves an empty plot behind it.
void PlotWidget::follow(double metres)
{
    const double span = current.x1 - current.x0;
    if (metres >= current.x0 && metres <= current.x1) {
        update();
        return;
    }
    if (metres < current.x0)
        current = {metres - span * 0.1, metres + span * 0.9, current.y0, current.y1};
    else
        current = {metres - span * 0.9, metres + span * 0.1, current.y0, current.y1};
    current = TracePlot::fitLevels(series, current);
    update();
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
    TracePlot::paint(painter, rect(), series, current, marks, bands);
    if (series.isEmpty() && !emptyHint.isEmpty()) {
        // An empty plot says how to fill it.
        painter.fillRect(rect(), palette().window());
        painter.setPen(palette().color(QPalette::WindowText));
        QFont f = painter.font();
        f.setPointSizeF(f.pointSizeF() * 1.3);
        painter.setFont(f);
        painter.drawText(
            rect().adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap, emptyHint);
    }
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
        update();
    } else {
        zoomAt(mapping().metres(at.x()), factor);
    }
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
        const QRect shown = area();
        const QPoint moved = event->pos() - pressedAt;
        const double dx = moved.x() * (pressedView.x1 - pressedView.x0) / shown.width();
        const double dy = moved.y() * (pressedView.y1 - pressedView.y0) / shown.height();
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
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Home:
        showAll();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: // + without Shift on many keyboards
        zoom(KeyZoom);
        break;
    case Qt::Key_Minus:
        zoom(1 / KeyZoom);
        break;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int sign = event->key() == Qt::Key_Left ? -1 : 1;
        int points = 1;
        const std::vector<double> *x = selectedSeries >= 0 && selectedSeries < series.size()
                                           ? &series.at(selectedSeries).trace->distanceM
                                           : nullptr;
        if (shift && x && x->size() > 1) {
            const double spacing = (x->back() - x->front()) / double(x->size() - 1);
            points = std::max(1, int(std::lround(division() / spacing)));
        }
        moveMarker(sign * points);
        break;
    }
    default:
        // Escape is left to the window: it closes a comparison.
        QWidget::keyPressEvent(event);
    }
}

// Tab would move the focus away; on the plot it makes the other marker the active one.
bool PlotWidget::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && !series.isEmpty()) {
            marks.active = 1 - marks.active;
            update();
            emit markersChanged();
            return true;
        }
    }
    return QWidget::event(event);
}
