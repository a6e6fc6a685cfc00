#include "route/closurematch.h"

#include "sor/linesums.h"

#include <algorithm>
#include <cmath>

namespace Route::Matching {

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

QVector<Match> kept(const QVector<Match> &matches, const QVector<bool> &out, int skipped)
{
    QVector<Match> in;
    for (int i = 0; i < matches.size(); ++i) {
        if (i != skipped && !out.at(i))
            in << matches.at(i);
    }
    return in;
}

QVector<Match> Evidence::matched(const Model &m) const
{
    QVector<Match> found;
    for (int c = 0; c < closures.size(); ++c) {
        const double at = (1 + m.efl) * closures.at(c).cableM + m.offsetM;
        const int e = nearestEvent(eventsM, at, toleranceM);
        if (e < 0)
            continue;
        const auto taken = std::find_if(
            found.begin(), found.end(), [&](const Match &x) { return x.event == e; });
        if (taken == found.end()) {
            found.append({c, e});
        } else {
            const double was = (1 + m.efl) * closures.at(taken->closure).cableM + m.offsetM;
            if (std::abs(eventsM.at(e) - at) < std::abs(eventsM.at(e) - was))
                taken->closure = c;
        }
    }
    return found;
}

Model Evidence::fitted(const QVector<Match> &matches, bool both, double efl) const
{
    Model m;
    m.efl = efl;
    if (matches.isEmpty())
        return m;
    Sor::LineSums sums;
    for (const Match &x : matches)
        sums.add(cableOf(x), eventOf(x));
    if (both && sums.n >= 2 && sums.determinant() > 1e-9) {
        const double slope = sums.slope();
        m.efl = slope - 1;
        m.offsetM = sums.intercept(slope);
    } else {
        m.offsetM = sums.intercept(1 + efl);
    }
    return m;
}

Score Evidence::scoreOf(const Model &m) const
{
    Score s;
    const QVector<Match> found = matched(m);
    s.count = int(found.size());
    for (const Match &x : found)
        s.sum += std::abs(eventOf(x) - ((1 + m.efl) * cableOf(x) + m.offsetM));
    return s;
}

} // namespace Route::Matching
