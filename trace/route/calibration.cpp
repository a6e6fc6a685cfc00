#include "route/calibration.h"

#include "route/closurematch.h"

#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace Route {

namespace {

using namespace Matching;

// The route's closures, each at the cable distance of its splice: in the middle of the loop
// kept at it.
QVector<Closure> closuresOf(const Route &route)
{
    QVector<Closure> closures;
    for (const Point &p : route.points) {
        if (p.kind == Kind::Splice)
            closures.append({p.name, p.routeM, route.cableAt(p.routeM) + p.slackM / 2});
    }
    return closures;
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

// An EFL outside this is no cable's: a pairing of closures and events that gives it is wrong.
constexpr double LeastEfl = -0.01;
constexpr double MostEfl = 0.06;
// No cord before the origin is longer than this.
constexpr double MostOffsetM = 5000;
// The model that puts two closures on two events; none where it is no cable's.
std::optional<Model>
modelThrough(const Closure &first, const Closure &second, double firstM, double secondM)
{
    Model m;
    m.efl = (secondM - firstM) / (second.cableM - first.cableM) - 1;
    if (m.efl < LeastEfl || m.efl > MostEfl)
        return std::nullopt;
    m.offsetM = firstM - (1 + m.efl) * first.cableM;
    if (std::abs(m.offsetM) > MostOffsetM)
        return std::nullopt;
    return m;
}

// Two closures and two events fix a model: the one under which most closures find their event,
// the nearest on the whole, is the route's; none where no model pairs two.
std::optional<Model> bestPairing(const Evidence &e)
{
    Score best;
    Model bestModel;
    for (int i = 0; i < e.closures.size(); ++i) {
        for (int k = i + 1; k < e.closures.size(); ++k) {
            if (e.closures.at(k).cableM - e.closures.at(i).cableM <= e.toleranceM)
                continue;
            for (int j = 0; j < e.eventsM.size(); ++j) {
                for (int l = j + 1; l < e.eventsM.size(); ++l) {
                    const std::optional<Model> m = modelThrough(
                        e.closures.at(i), e.closures.at(k), e.eventsM.at(j), e.eventsM.at(l));
                    if (!m)
                        continue;
                    const Score s = e.scoreOf(*m);
                    if (s.beats(best)) {
                        best = s;
                        bestModel = *m;
                    }
                }
            }
        }
    }
    if (best.count < 2)
        return std::nullopt;
    return bestModel;
}

// EFL and offset from the best pairing, refitted on the matches it gives; the matches.
QVector<Match> fitBoth(const Evidence &e, Calibration &c)
{
    const std::optional<Model> best = bestPairing(e);
    if (!best)
        return {};
    Model m = *best;
    QVector<Match> matches;
    for (int round = 0; round < 3; ++round) {
        matches = e.matched(m);
        m = e.fitted(matches, true, m.efl);
    }
    c.model = m;
    c.fitted = 2;
    return matches;
}

// The EFL given (or none fitted): each closure's event near where the offset puts it; without
// an offset given, the first closure's nearest event sets it. The matches.
QVector<Match> fitAtGivenEfl(const Evidence &e, const Given &given, Calibration &c)
{
    Model m = c.model;
    if (!given.offsetM) {
        const double x = e.closures.first().cableM;
        const int ev = nearestEvent(e.eventsM, (1 + m.efl) * x, 0.05 * x + MostOffsetM);
        if (ev >= 0)
            m.offsetM = e.eventsM.at(ev) - (1 + m.efl) * x;
    }
    QVector<Match> matches = e.matched(m);
    if (!matches.isEmpty()) {
        const bool both = !given.efl && matches.size() >= 2;
        c.model = e.fitted(matches, both, m.efl);
        c.fitted = both ? 2 : 1;
        matches = e.matched(c.model);
    }
    return matches;
}

// How much more than their own scatter the others' fit may stray at a cable distance: 1 + 1/k,
// and for a fitted slope the distance from their middle.
double leverageAt(const Evidence &e, const QVector<Match> &others, bool both, double x)
{
    const double k = others.size();
    double leverage = 1 + 1 / k;
    if (both) {
        double mean = 0;
        for (const Match &o : others)
            mean += e.cableOf(o) / k;
        double spread = 0;
        for (const Match &o : others)
            spread += std::pow(e.cableOf(o) - mean, 2);
        leverage += spread > 0 ? std::pow(x - mean, 2) / spread : 0;
    }
    return leverage;
}

// How far the others' fit may put an anchor at a cable distance: their scatter (on the degrees
// of freedom the fit leaves, and never below what each event's pulse leaves unknown), carried
// out to it: an anchor far past the others takes their slope's error with it.
double reachM(const Evidence &e, const QVector<Match> &others, const Model &m, bool both, double x)
{
    QVector<double> residuals;
    for (const Match &o : others)
        residuals << e.eventOf(o) - m.fibreAtCable(e.cableOf(o));
    const double k = others.size();
    const double scatter = std::max(rmsOf(residuals) * std::sqrt(k / (k - (both ? 2 : 1))),
                                    eventSpreadM(e.toleranceM));
    return scatter * std::sqrt(leverageAt(e, others, both, x));
}

// An anchor is flagged beyond this many times the others' RMS, and this far at least.
constexpr double FlagRms = 3;
constexpr double FlagLeastM = 10;

// The anchor farthest beyond where the others' fit may put it; -1 for none.
int worstStray(const Evidence &e,
               const QVector<Match> &matches,
               const QVector<bool> &out,
               const Calibration &c)
{
    const bool both = c.fitted == 2;
    int worst = -1;
    double worstOff = 0;
    for (int i = 0; i < matches.size(); ++i) {
        if (out.at(i))
            continue;
        const QVector<Match> others = kept(matches, out, i);
        const Model m = e.fitted(others, both, c.model.efl);
        const double x = e.cableOf(matches.at(i));
        const double off = std::abs(e.eventOf(matches.at(i)) - m.fibreAtCable(x));
        const double expected = reachM(e, others, m, both, x);
        if (off > std::max(FlagLeastM, FlagRms * expected) && off > worstOff) {
            worst = i;
            worstOff = off;
        }
    }
    return worst;
}

// Anchors that do not fit the others, left out one by one (the model refitted without each):
// which ones. Left out in turn, an anchor is judged by a fit of at least three others: two fit
// exactly and extrapolate their footage's error.
QVector<bool> leaveOutStrays(const Evidence &e, const QVector<Match> &matches, Calibration &c)
{
    QVector<bool> out(matches.size(), false);
    while (kept(matches, out).size() >= 4) {
        const int worst = worstStray(e, matches, out, c);
        if (worst < 0)
            break;
        out[worst] = true;
        c.model = e.fitted(kept(matches, out), c.fitted == 2, c.model.efl);
    }
    return out;
}

// Each match an anchor with its residual, those left out flagged; the RMS of the others'.
void keepAnchors(const Evidence &e,
                 const QVector<Match> &matches,
                 const QVector<bool> &out,
                 Calibration &c)
{
    QVector<double> residuals;
    for (int i = 0; i < matches.size(); ++i) {
        const Closure &cl = e.closures.at(matches.at(i).closure);
        Anchor a;
        a.name = cl.name;
        a.routeM = cl.routeM;
        a.otdrM = e.eventOf(matches.at(i));
        a.residualM = a.otdrM - c.model.fibreAtCable(cl.cableM);
        a.flagged = out.at(i);
        if (!a.flagged)
            residuals << a.residualM;
        c.anchors.append(a);
    }
    if (!residuals.isEmpty() && c.fitted > 0)
        c.rmsM = rmsOf(residuals);
}

bool isAnchored(const Calibration &c, const Closure &cl)
{
    return std::any_of(c.anchors.cbegin(), c.anchors.cend(), [&](const Anchor &a) {
        return a.name == cl.name && a.routeM == cl.routeM;
    });
}

// A closure's event beyond the tolerance is still looked for this near (metres, or a share of
// the distance): found there, the closure is flagged rather than missing.
constexpr double NearM = 300;
constexpr double NearShare = 0.02;
// A closure whose event lies beyond the tolerance but near, no other closure's: the route puts
// it wrong, or its splice is missing and another event is there; flagged either way.
void flagNearMisses(const Evidence &e, Calibration &c)
{
    for (const Closure &cl : e.closures) {
        if (isAnchored(c, cl))
            continue;
        const double at = c.model.fibreAtCable(cl.cableM);
        const int ev = nearestEvent(e.eventsM, at, std::max(NearM, NearShare * at));
        const bool taken = std::any_of(c.anchors.cbegin(), c.anchors.cend(), [&](const Anchor &a) {
            return ev >= 0 && a.otdrM == e.eventsM.at(ev);
        });
        if (ev >= 0 && !taken)
            c.anchors.append({cl.name, cl.routeM, e.eventsM.at(ev), e.eventsM.at(ev) - at, true});
    }
}

// What the user should know: the anchors left out, the closures no event stands for, a model
// only given.
void warn(const Evidence &e, const Given &given, Calibration &c)
{
    for (const Anchor &a : c.anchors) {
        if (a.flagged)
            c.warnings << QStringLiteral("%1: o evento a %2 m fica a %3 m de onde o modelo a põe; "
                                         "emenda errada na rota, ou ausente no traço; deixada fora "
                                         "da calibração")
                              .arg(a.name, Sor::decimal(a.otdrM, 1), Sor::decimal(a.residualM, 1));
    }
    for (const Closure &cl : e.closures) {
        if (!isAnchored(c, cl) && c.fitted > 0)
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
}

} // namespace

Calibration
calibrate(const Route &route, const QVector<double> &eventsM, const Given &given, double toleranceM)
{
    Calibration c;
    c.model.efl = given.efl.value_or(0);
    c.model.offsetM = given.offsetM.value_or(0);
    const Evidence e{closuresOf(route), eventsM, toleranceM};
    QVector<Match> matches;
    // With the EFL given, the offset alone is fitted.
    if (!given.efl && e.closures.size() >= 2 && eventsM.size() >= 2)
        matches = fitBoth(e, c);
    if (c.fitted == 0 && !e.closures.isEmpty() && !eventsM.isEmpty())
        matches = fitAtGivenEfl(e, given, c);
    const QVector<bool> out = leaveOutStrays(e, matches, c);
    keepAnchors(e, matches, out, c);
    if (c.fitted > 0)
        flagNearMisses(e, c);
    std::sort(c.anchors.begin(), c.anchors.end(), [](const Anchor &x, const Anchor &y) {
        return x.routeM < y.routeM;
    });
    warn(e, given, c);
    return c;
}

} // namespace Route
