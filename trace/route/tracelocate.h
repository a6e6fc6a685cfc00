#pragma once

#include "route/routeoutput.h"
#include "sor/sortrace.h"

// A trace placed on a route: its events (the file's, or the analysis' where the file stores
// none), its fibre end and the distances asked for, each where it lies in the street.
namespace Route {

struct TraceEvents
{
    QVector<double> eventsM; // the events that may be closures, the end left out
    QVector<int> numbers;
    std::optional<double> endM;
    double spacingM = 0;
    double pulseM = 0;     // the pulse's length in the fibre
    double toleranceM = 0; // a pulse length and three samples: how far a closure's event may lie
    bool analysed = false; // the file stores no events: the analysis' are used
};
TraceEvents eventsOf(const Sor::Trace &trace);

// Calibrated on the route and placed: every event ("evento 3"), the end ("fim da fibra") and
// each distance asked for ("a 12.000 m"). A trace from the far end is placed on the route
// reversed and turned back, so that every position is on the route's own distance.
Located locateTrace(const QString &name,
                    const Sor::Trace &trace,
                    const Route &route,
                    const Given &given,
                    const QVector<double> &atM,
                    bool fromFarEnd = false);

} // namespace Route
