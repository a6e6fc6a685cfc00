#pragma once

#include "route/route.h"

// Where a distance measured along a fibre lies in the street. The fibre runs longer than its
// cable (its helix in the tubes: the excess fibre length, EFL), the cable longer than the route
// (the loops kept at points), and some fibre comes before the route's origin (a cord, a
// pigtail): fibre = (1 + EFL) · (route + loops before it) + offset. The closures the trace
// shows calibrate EFL and offset.
namespace Route {

struct Model
{
    double efl = 0;     // a share: 0.012 for 1.2 %
    double offsetM = 0; // fibre before the origin
    double fibreAt(const Route &route, double routeM) const
    {
        return fibreAtCable(route.cableAt(routeM));
    }
    double fibreAtCable(double cableM) const { return (1 + efl) * cableM + offsetM; }
};

// A closure of the route matched to an event of the trace.
struct Anchor
{
    QString name;
    double routeM = 0;
    double otdrM = 0;
    double residualM = 0; // the event against the model's place for it
    bool flagged = false; // too far off: a wrong closure, or a splice missing from the trace
};

struct Calibration
{
    Model model;
    int fitted = 0; // 0: EFL and offset as given; 1: the offset; 2: both
    QVector<Anchor> anchors;
    std::optional<double> rmsM; // of the anchors used
    QStringList warnings;
};

struct Given
{
    std::optional<double> efl;
    std::optional<double> offsetM;
};

// The closures (kind Splice) matched to the trace's events by the model itself (a closure's
// splice in the middle of the loop kept at it): with two or
// more, EFL and offset fitted by least squares (an anchor off by more than 3 × the others' RMS
// or 10 m is flagged and left out); with one, the offset; with none, what is given (0 without:
// the positions are then fibre distances, said in a warning). `toleranceM`: how far an event
// may lie from its closure's place (a pulse length and a few samples).
Calibration calibrate(const Route &route,
                      const QVector<double> &eventsM,
                      const Given &given,
                      double toleranceM);

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
