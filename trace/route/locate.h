#pragma once

#include "route/calibration.h"

// Where a distance measured along a fibre lies in the street: on the route, in a loop kept at a
// point, before its origin or past its end, by a calibration of the fibre on the route.
namespace Route {

struct Neighbour
{
    QString name;
    double routeM = 0;
    double distanceM = 0; // from the position
};

struct Position
{
    QString label;
    double otdrM = 0;
    double cableM = 0; // along the cable from the origin, loops included
    double routeM = 0;
    std::optional<Neighbour> after;  // the route point behind it (towards the origin)
    std::optional<Neighbour> before; // the next one ahead
    QString inSlack;                 // the point whose loop holds it
    std::optional<Vertex> place;     // coordinates, where the route has them there
    double uncertaintyM = 0;         // in route metres
    bool beforeOrigin = false;
    bool pastEnd = false;
    bool end = false; // the fibre's end, or a break: red on a map
};

// Where a fibre distance lies. Its uncertainty adds up what each part leaves unknown: the
// instrument's distance (1 m + 10⁻⁴ · d + the sample spacing), where within its pulse the trace
// puts an event (half the pulse's length in the fibre), and the calibration (its anchors'
// scatter, on as many degrees of freedom as the fit leaves; and never less than what the
// anchors' own pulses leave of the fit).
Position place(const Route &route,
               const Calibration &calibration,
               double otdrM,
               const QString &label,
               double spacingM,
               double pulseM = 0);

// "312 m depois de CEO-07, 88 m antes do P-119", "na reserva técnica do P-118", "120 m antes
// da origem", "40 m depois do último ponto (FIM)".
QString whereText(const Position &p);

// One fibre's end seen from both ends (both on the route's own distance): whole (each end
// reaches the other), one break seen from both sides within their uncertainties, or two places
// apart (two faults, or a route that is not the cable's).
struct TwoEnds
{
    Position fromA;
    Position fromB;
    double apartM = 0;
    bool whole = false;
    bool agree = false;
    QString sentence;
};
TwoEnds compareEnds(const Route &route, const Position &fromA, const Position &fromB);
// A position found on the route reversed (from its last point), on the route's own distance.
Position forward(const Route &route, const Position &onReversed);

} // namespace Route
