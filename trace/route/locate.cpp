#include "route/locate.h"

#include <algorithm>
#include <cmath>

namespace Route {

namespace {

// An end this near the far end of the route (in uncertainties, and metres at least) reaches it.
constexpr double WholeSpans = 3;
constexpr double WholeLeastM = 50;
// A place this near a route point is at it.
constexpr double OnPointM = 0.5;

// The route distance of its first point.
double originM(const Route &route)
{
    return route.points.isEmpty() ? 0 : route.points.first().routeM;
}

// The route distance of a position's cable distance: along the route, each point's loop where
// the cable passes it (a place in a loop is at its point).
void alongRoute(const Route &route, Position &p)
{
    double slackBefore = 0;
    for (const Point &point : route.points) {
        const double loopStart = point.routeM + slackBefore;
        if (p.cableM < loopStart) {
            p.routeM = p.cableM - slackBefore;
            return;
        }
        if (point.slackM > 0 && p.cableM <= loopStart + point.slackM) {
            p.routeM = point.routeM;
            p.inSlack = point.name;
            return;
        }
        slackBefore += point.slackM;
    }
    p.routeM = p.cableM - slackBefore;
}

// The points behind and ahead of a position, whether it lies off the route's ends (within half
// a metre of them is on them), and its coordinates where it does not.
void amongPoints(const Route &route, Position &p)
{
    const double first = originM(route);
    p.beforeOrigin = p.routeM < first - OnPointM;
    p.pastEnd = p.routeM > route.lengthM() + OnPointM;
    for (const Point &point : route.points) {
        if (point.routeM <= p.routeM + OnPointM)
            p.after = Neighbour{point.name, point.routeM, p.routeM - point.routeM};
        else if (!p.before)
            p.before = Neighbour{point.name, point.routeM, point.routeM - p.routeM};
    }
    if (!p.beforeOrigin && !p.pastEnd)
        p.place = route.placeAt(std::clamp(p.routeM, first, route.lengthM()));
}

// What the calibration leaves unknown of a place: its anchors' scatter on the degrees of
// freedom the fit leaves, never less than what their pulses leave over their number.
double calibrationSpreadM(const Calibration &calibration, double resolutionM, double spacingM)
{
    double fit = 0;
    if (calibration.fitted > 0) {
        const int used = int(std::count_if(calibration.anchors.cbegin(),
                                           calibration.anchors.cend(),
                                           [](const Anchor &a) { return !a.flagged; }));
        // Two anchors fit two unknowns exactly: their RMS of 0 says nothing of the fit.
        const int free = used - calibration.fitted;
        if (free > 0 && calibration.rmsM)
            fit = *calibration.rmsM * std::sqrt(double(used) / free);
        if (used > 0)
            fit = std::max(fit, (resolutionM + spacingM) / std::sqrt(double(used)));
    }
    return fit;
}

} // namespace

Position place(const Route &route,
               const Calibration &calibration,
               double otdrM,
               const QString &label,
               double spacingM,
               double pulseM)
{
    Position p;
    p.label = label;
    p.otdrM = otdrM;
    const Model &m = calibration.model;
    p.cableM = (otdrM - m.offsetM) / (1 + m.efl);
    alongRoute(route, p);
    amongPoints(route, p);
    const double instrument = 1 + 1e-4 * std::abs(otdrM) + spacingM;
    const double resolution = pulseM / 2;
    const double fit = calibrationSpreadM(calibration, resolution, spacingM);
    p.uncertaintyM
        = std::sqrt(instrument * instrument + resolution * resolution + fit * fit) / (1 + m.efl);
    return p;
}

QString whereText(const Position &p)
{
    const auto metres = [](double m) { return QStringLiteral("%1 m").arg(std::lround(m)); };
    if (p.beforeOrigin)
        return p.before ? QStringLiteral("%1 antes da origem (%2)")
                              .arg(metres(p.before->distanceM), p.before->name)
                        : QStringLiteral("antes da origem");
    if (!p.inSlack.isEmpty())
        return QStringLiteral("na reserva técnica do %1").arg(p.inSlack);
    if (p.pastEnd)
        return QStringLiteral("%1 depois do último ponto (%2)")
            .arg(metres(p.after ? p.after->distanceM : 0), p.after ? p.after->name : QString());
    if (p.after && std::abs(p.after->distanceM) < OnPointM)
        return QStringLiteral("em %1").arg(p.after->name);
    QStringList parts;
    if (p.after)
        parts << QStringLiteral("%1 depois de %2").arg(metres(p.after->distanceM), p.after->name);
    if (p.before)
        parts << QStringLiteral("%1 antes de %2").arg(metres(p.before->distanceM), p.before->name);
    return parts.join(QStringLiteral(", "));
}

Position forward(const Route &route, const Position &onReversed)
{
    Position p = onReversed;
    // Measured from the route's last point: what lay behind it lies ahead.
    p.routeM = route.lengthM() - onReversed.routeM;
    std::swap(p.before, p.after);
    for (std::optional<Neighbour> *n : {&p.before, &p.after}) {
        if (*n)
            (*n)->routeM = route.lengthM() - (*n)->routeM;
    }
    std::swap(p.beforeOrigin, p.pastEnd);
    p.place.reset();
    if (!p.beforeOrigin && !p.pastEnd)
        p.place = route.placeAt(std::clamp(p.routeM, 0.0, route.lengthM()));
    return p;
}

TwoEnds compareEnds(const Route &route, const Position &fromA, const Position &fromB)
{
    TwoEnds t;
    t.fromA = fromA;
    t.fromB = fromB;
    t.apartM = std::abs(t.fromA.routeM - t.fromB.routeM);
    t.agree = t.apartM <= t.fromA.uncertaintyM + t.fromB.uncertaintyM;
    // Each end's fibre reaching the other end of the route (a cord beyond it aside): no break.
    const double first = originM(route);
    const auto near = [](double at, double to, const Position &p) {
        return std::abs(at - to) <= std::max(WholeSpans * p.uncertaintyM, WholeLeastM);
    };
    t.whole = (fromA.pastEnd || near(fromA.routeM, route.lengthM(), fromA))
              && (fromB.beforeOrigin || near(fromB.routeM, first, fromB));
    if (t.whole) {
        t.agree = false;
        t.sentence = QStringLiteral("a fibra chega inteira à outra ponta, vista das duas: nenhum "
                                    "rompimento");
        return t;
    }
    t.sentence = t.agree
                     ? QStringLiteral("as duas pontas veem o fim no mesmo lugar (a %1 m uma da "
                                      "outra, dentro das incertezas): um rompimento, %2")
                           .arg(std::lround(t.apartM))
                           .arg(whereText(t.fromA))
                     : QStringLiteral("as duas pontas veem o fim em lugares a %1 m um do outro, "
                                      "mais que as incertezas: duas falhas, ou a rota não é a "
                                      "do cabo")
                           .arg(std::lround(t.apartM));
    return t;
}

} // namespace Route
