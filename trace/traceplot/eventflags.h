#pragma once

#include "traceplot/plotmath.h"
#include "traceplot/plotpainter.h"

#include <QFontMetrics>
#include <QRectF>
#include <QString>
#include <QVector>

class QPainter;

// The key events of the traces drawn on them: a numbered flag on a staff that stands on the
// trace at the event, its box moved up (or below) until it overprints no other, never far from
// its trace; the traces that are not selected share one flag where they share an event.
namespace TracePlot {

struct Flag
{
    int series = 0;
    int event = 0;  // index in the trace's key events
    QPointF anchor; // on the trace, at the event's distance
    QRectF box;     // the number's box; empty where no room was left for it
    QString text;   // the event's number
    bool emphasised = false;
    // Other traces' events at the same place with the same number, drawn as this one flag
    // (series, event); its anchor on the highest of them.
    QVector<QPair<int, int>> shared;
};

// Emphasised series first, so that their flags stand nearest to their traces; each other event
// is a flag of its own or in one's `shared`.
QVector<Flag> placeFlags(const QRect &area,
                         const View &view,
                         const QVector<Series> &series,
                         const QFontMetrics &metrics);
// Emphasised flags are painted last, in front, bold.
void paintFlags(QPainter &painter,
                const QRect &area,
                const View &view,
                const QVector<Series> &series);

} // namespace TracePlot
