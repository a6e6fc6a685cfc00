#include "route/locate.h"

#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace Route {

namespace {

// An EFL outside this is no cable's: a pairing of closures and events that gives it is wrong.
constexpr double LeastEfl = -0.01;
constexpr double MostEfl = 0.06;
// No cord before the origin is longer than this.
constexpr double MostOffsetM = 5000;
// A closure's event beyond the tolerance is still looked for this near (metres, or a share of
// the distance): found there, the closure is flagged rather than missing.
constexpr double NearM = 300;
constexpr double NearShare = 0.02;
// An anchor is flagged beyond this many times the others' RMS, and this far at least.
constexpr double FlagRms = 3;
constexpr double FlagLeastM = 10;
// An end this near the far end of the route (in uncertainties, and metres at least) reaches it.
constexpr double WholeSpans = 3;
constexpr double WholeLeastM = 50;
// A place this near a route point is at it.
constexpr double OnPointM = 0.5;

struct Closure
{
    QString name;
    double routeM = 0;
    double cableM = 0;
};

// The event nearest a place, within a distance; -1 for none.
int nearestEvent(const QVector<double> &events, double at, double within)
{
    int best = -1;
    for (int i = 0; i < events.size(); ++i) {
        const double off = std::abs(events.at(i) - at);
        if (off <= within && (best < 0 || off < std::abs(events.at(best) - at)))
            best = i;
    }
    return best;
}

struct Match
{
    int closure = 0;
    int event = 0;
};

// Each closure's nearest event under a model, each event used once (the nearer closure keeps it).
QVector<Match> matched(const QVector<Closure> &closures,
                       const QVector<double> &events,
                       const Model &m,
                       double toleranceM)
{
    QVector<Match> found;
    for (int c = 0; c < closures.size(); ++c) {
        const double at = (1 + m.efl) * closures.at(c).cableM + m.offsetM;
        const int e = nearestEvent(events, at, toleranceM);
        if (e < 0)
            continue;
        const auto taken = std::find_if(
            found.begin(), found.end(), [&](const Match &x) { return x.event == e; });
        if (taken == found.end()) {
            found.append({c, e});
        } else {
            const double was = (1 + m.efl) * closures.at(taken->closure).cableM + m.offsetM;
            if (std::abs(events.at(e) - at) < std::abs(events.at(e) - was))
                taken->closure = c;
        }
    }
    return found;
}

// Least squares of fibre = (1 + efl) · cable + offset through the matches (both, or the offset
// alone at a given EFL).
Model fitted(const QVector<Closure> &closures,
             const QVector<double> &events,
             const QVector<Match> &matches,
             bool both,
             double efl)
{
    Model m;
    m.efl = efl;
    const double n = matches.size();
    if (n == 0)
        return m;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Match &x : matches) {
        const double cx = closures.at(x.closure).cableM;
        const double cy = events.at(x.event);
        sx += cx;
        sy += cy;
        sxx += cx * cx;
        sxy += cx * cy;
    }
    const double det = n * sxx - sx * sx;
    if (both && n >= 2 && det > 1e-9) {
        const double slope = (n * sxy - sx * sy) / det;
        m.efl = slope - 1;
        m.offsetM = (sy - slope * sx) / n;
    } else {
        m.offsetM = (sy - (1 + efl) * sx) / n;
    }
    return m;
}

// How far an event may lie from its true place, one deviation: a quarter of the distance
// within which events are matched (a pulse length and a few samples).
double eventSpreadM(double toleranceM)
{
    return toleranceM / 4;
}

double rmsOf(const QVector<double> &residuals)
{
    if (residuals.isEmpty())
        return 0;
    double sum = 0;
    for (double r : residuals)
        sum += r * r;
    return std::sqrt(sum / residuals.size());
}

} // namespace

Calibration
calibrate(const Route &route, const QVector<double> &eventsM, const Given &given, double toleranceM)
{
    Calibration c;
    c.model.efl = given.efl.value_or(0);
    c.model.offsetM = given.offsetM.value_or(0);
    QVector<Closure> closures;
    for (const Point &p : route.points) {
        if (p.kind == Kind::Splice)
            // A closure's splice lies in the middle of the loop kept at it.
            closures.append({p.name, p.routeM, route.cableAt(p.routeM) + p.slackM / 2});
    }
    QVector<Match> matches;
    // Two closures and two events fix a model: the one under which most closures find their
    // event, the nearest on the whole, is the route's.
    if (closures.size() >= 2 && eventsM.size() >= 2) {
        int bestCount = 0;
        double bestSum = 0;
        Model best;
        for (int i = 0; i < closures.size(); ++i) {
            for (int k = i + 1; k < closures.size(); ++k) {
                const double dx = closures.at(k).cableM - closures.at(i).cableM;
                if (dx <= toleranceM)
                    continue;
                for (int j = 0; j < eventsM.size(); ++j) {
                    for (int l = j + 1; l < eventsM.size(); ++l) {
                        Model m;
                        m.efl = (eventsM.at(l) - eventsM.at(j)) / dx - 1;
                        if (given.efl)
                            continue; // the EFL is known: the offset alone is fitted below
                        if (m.efl < LeastEfl || m.efl > MostEfl)
                            continue;
                        m.offsetM = eventsM.at(j) - (1 + m.efl) * closures.at(i).cableM;
                        if (std::abs(m.offsetM) > MostOffsetM)
                            continue;
                        const QVector<Match> found = matched(closures, eventsM, m, toleranceM);
                        double sum = 0;
                        for (const Match &x : found)
                            sum += std::abs(
                                eventsM.at(x.event)
                                - ((1 + m.efl) * closures.at(x.closure).cableM + m.offsetM));
                        if (int(found.size()) > bestCount
                            || (int(found.size()) == bestCount && sum < bestSum)) {
                            bestCount = int(found.size());
                            bestSum = sum;
                            best = m;
                        }
                    }
                }
            }
        }
        if (bestCount >= 2) {
            Model m = best;
            for (int round = 0; round < 3; ++round) {
                matches = matched(closures, eventsM, m, toleranceM);
                m = fitted(closures, eventsM, matches, true, m.efl);
            }
            c.model = m;
            c.fitted = 2;
        }
    }
    // The EFL given (or none fitted): each closure's event near where the offset puts it.
    if (c.fitted == 0 && !closures.isEmpty() && !eventsM.isEmpty()) {
        // Without an offset given, the first closure's nearest event sets it.
        Model m = c.model;
        if (!given.offsetM) {
            const double x = closures.first().cableM;
            const int e = nearestEvent(eventsM, (1 + m.efl) * x, 0.05 * x + MostOffsetM);
            if (e >= 0)
                m.offsetM = eventsM.at(e) - (1 + m.efl) * x;
        }
        matches = matched(closures, eventsM, m, toleranceM);
        if (!matches.isEmpty()) {
            const bool both = !given.efl && matches.size() >= 2;
            c.model = fitted(closures, eventsM, matches, both, m.efl);
            c.fitted = both ? 2 : 1;
            matches = matched(closures, eventsM, c.model, toleranceM);
        }
    }
    // Anchors, their residuals; one that does not fit the others is flagged and left out.
    QVector<bool> out(matches.size(), false);
    for (;;) {
        QVector<Match> kept;
        for (int i = 0; i < matches.size(); ++i) {
            if (!out.at(i))
                kept << matches.at(i);
        }
        // Left out in turn, an anchor is judged by a fit of at least three others: two fit
        // exactly and extrapolate their footage's error.
        if (kept.size() < 4)
            break;
        int worst = -1;
        double worstOff = 0;
        for (int i = 0; i < matches.size(); ++i) {
            if (out.at(i))
                continue;
            QVector<Match> others;
            for (int k = 0; k < matches.size(); ++k) {
                if (k != i && !out.at(k))
                    others << matches.at(k);
            }
            const bool both = c.fitted == 2;
            const Model m = fitted(closures, eventsM, others, both, c.model.efl);
            QVector<double> residuals;
            for (const Match &x : others)
                residuals << eventsM.at(x.event) - m.fibreAtCable(closures.at(x.closure).cableM);
            const double x = closures.at(matches.at(i).closure).cableM;
            const double off = std::abs(eventsM.at(matches.at(i).event) - m.fibreAtCable(x));
            // How far the others' fit may put it: their scatter (on the degrees of freedom the
            // fit leaves, and never below what each event's pulse leaves unknown), carried out
            // to it: an anchor far past the others takes their slope's error with it.
            const double k = others.size();
            const double scatter = std::max(rmsOf(residuals) * std::sqrt(k / (k - (both ? 2 : 1))),
                                            eventSpreadM(toleranceM));
            double leverage = 1 + 1 / k;
            if (both) {
                double mean = 0;
                for (const Match &o : others)
                    mean += closures.at(o.closure).cableM / k;
                double spread = 0;
                for (const Match &o : others)
                    spread += std::pow(closures.at(o.closure).cableM - mean, 2);
                leverage += spread > 0 ? std::pow(x - mean, 2) / spread : 0;
            }
            const double expected = scatter * std::sqrt(leverage);
            if (off > std::max(FlagLeastM, FlagRms * expected) && off > worstOff) {
                worst = i;
                worstOff = off;
            }
        }
        if (worst < 0)
            break;
        out[worst] = true;
        QVector<Match> rest;
        for (int i = 0; i < matches.size(); ++i) {
            if (!out.at(i))
                rest << matches.at(i);
        }
        c.model = fitted(closures, eventsM, rest, c.fitted == 2, c.model.efl);
    }
    QVector<double> residuals;
    for (int i = 0; i < matches.size(); ++i) {
        const Closure &cl = closures.at(matches.at(i).closure);
        Anchor a;
        a.name = cl.name;
        a.routeM = cl.routeM;
        a.otdrM = eventsM.at(matches.at(i).event);
        a.residualM = a.otdrM - c.model.fibreAtCable(cl.cableM);
        a.flagged = out.at(i);
        if (!a.flagged)
            residuals << a.residualM;
        c.anchors.append(a);
    }
    // A closure whose event lies beyond the tolerance but near, no other closure's: the route
    // puts it wrong, or its splice is missing and another event is there; flagged either way.
    if (c.fitted > 0) {
        for (const Closure &cl : closures) {
            const bool anchored
                = std::any_of(c.anchors.cbegin(), c.anchors.cend(), [&](const Anchor &a) {
                      return a.name == cl.name && a.routeM == cl.routeM;
                  });
            if (anchored)
                continue;
            const double at = c.model.fibreAtCable(cl.cableM);
            const int e = nearestEvent(eventsM, at, std::max(NearM, NearShare * at));
            const bool taken
                = std::any_of(c.anchors.cbegin(), c.anchors.cend(), [&](const Anchor &a) {
                      return e >= 0 && a.otdrM == eventsM.at(e);
                  });
            if (e >= 0 && !taken)
                c.anchors.append({cl.name, cl.routeM, eventsM.at(e), eventsM.at(e) - at, true});
        }
    }
    std::sort(c.anchors.begin(), c.anchors.end(), [](const Anchor &x, const Anchor &y) {
        return x.routeM < y.routeM;
    });
    if (!residuals.isEmpty() && c.fitted > 0)
        c.rmsM = rmsOf(residuals);
    for (const Anchor &a : c.anchors) {
        if (a.flagged)
            c.warnings << QStringLiteral("%1: o evento a %2 m fica a %3 m de onde o modelo a põe; "
                                         "emenda errada na rota, ou ausente no traço; deixada fora "
                                         "da calibração")
                              .arg(a.name, Sor::decimal(a.otdrM, 1), Sor::decimal(a.residualM, 1));
    }
    for (const Closure &cl : closures) {
        const bool seen = std::any_of(c.anchors.cbegin(), c.anchors.cend(), [&](const Anchor &a) {
            return a.name == cl.name && a.routeM == cl.routeM;
        });
        if (!seen && c.fitted > 0)
            c.warnings << QStringLiteral("%1: nenhum evento do traço perto de %2 m (emenda ausente "
                                         "no traço?)")
                              .arg(cl.name, Sor::decimal(c.model.fibreAtCable(cl.cableM), 1));
    }
    if (c.fitted == 0) {
        c.warnings << (given.efl || given.offsetM
                           ? QStringLiteral("nenhuma emenda da rota vista no traço: EFL e "
                                            "deslocamento como dados")
                           : QStringLiteral(
                               "nenhuma emenda da rota vista no traço, e sem --efl nem "
                               "--offset: as posições são distâncias da fibra"));
    }
    return c;
}

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
    // Along the cable: the route, and each point's loop where the cable passes it.
    double slackBefore = 0;
    bool placed = false;
    for (const Point &point : route.points) {
        const double loopStart = point.routeM + slackBefore;
        if (p.cableM < loopStart) {
            p.routeM = p.cableM - slackBefore;
            placed = true;
            break;
        }
        if (point.slackM > 0 && p.cableM <= loopStart + point.slackM) {
            p.routeM = point.routeM;
            p.inSlack = point.name;
            placed = true;
            break;
        }
        slackBefore += point.slackM;
    }
    if (!placed)
        p.routeM = p.cableM - slackBefore;
    // Within half a metre of the route's ends is on them.
    const double first = route.points.isEmpty() ? 0 : route.points.first().routeM;
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
    const double instrument = 1 + 1e-4 * std::abs(otdrM) + spacingM;
    const double resolution = pulseM / 2;
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
            fit = std::max(fit, (resolution + spacingM) / std::sqrt(double(used)));
    }
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
    const double first = route.points.isEmpty() ? 0 : route.points.first().routeM;
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
