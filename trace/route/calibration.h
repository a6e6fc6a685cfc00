#pragma once

#include "route/route.h"

// How fibre distance follows the route. The fibre runs longer than its cable (its helix in the
// tubes: the excess fibre length, EFL), the cable longer than the route (the loops kept at
// points), and some fibre comes before the route's origin (a cord, a pigtail): fibre = (1 + EFL)
// · (route + loops before it) + offset. The closures the trace shows calibrate EFL and offset.
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
// splice in the middle of the loop kept at it): with two or more, EFL and offset fitted by
// least squares (an anchor off by more than 3 × the others' RMS or 10 m is flagged and left
// out); with one, the offset; with none, what is given (0 without: the positions are then fibre
// distances, said in a warning). `toleranceM`: how far an event may lie from its closure's place
// (a pulse length and a few samples).
Calibration calibrate(const Route &route,
                      const QVector<double> &eventsM,
                      const Given &given,
                      double toleranceM);

} // namespace Route
