#include "cable/cableparts.h"

#include "analysis/statistics.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace Cable {

namespace {

// A fibre's scale is fitted again this many times, each on the closures its last one gave.
constexpr int Rounds = 3;
// One cable's fibres differ in length by less than this share (their helix in the tubes).
constexpr double HelixShare = 0.02;
// A fibre's scale needs this many of its events on closures to be fitted.
constexpr int FewestAnchors = 2;

struct Seen
{
    double at = 0; // in the cable's own distance
    QString fiber;
    QChar end;
    bool reflective = false;
};

// Runs of events within the tolerance of each other that two fibres, or both ends of one,
// share: the closures, at their events' median place.
QVector<Closure> closuresOf(QVector<Seen> seen, double toleranceM)
{
    std::sort(seen.begin(), seen.end(), [](const Seen &x, const Seen &y) { return x.at < y.at; });
    QVector<Closure> closures;
    for (int i = 0; i < seen.size();) {
        int j = i + 1;
        while (j < seen.size() && seen.at(j).at - seen.at(j - 1).at <= toleranceM)
            ++j;
        QSet<QString> fibres;
        QSet<QString> ends;
        QVector<double> at;
        int reflecting = 0;
        for (int k = i; k < j; ++k) {
            fibres.insert(seen.at(k).fiber);
            ends.insert(seen.at(k).fiber + seen.at(k).end);
            at << seen.at(k).at;
            reflecting += seen.at(k).reflective ? 1 : 0;
        }
        if (fibres.size() >= 2 || ends.size() >= 2)
            closures.append({int(closures.size()) + 1,
                             median(at),
                             int(fibres.size()),
                             2 * reflecting > j - i,
                             QString()});
        i = j;
    }
    return closures;
}

// A fibre's events on the closures at a scale, and the sums of their least-squares scale.
struct Anchored
{
    double scale = 1;
    int count = 0;
    double xc = 0;
    double cc = 0;
};

Anchored anchored(const QVector<Witness> &events,
                  const QVector<Closure> &closures,
                  double scale,
                  double toleranceM)
{
    Anchored a;
    a.scale = scale;
    for (const Witness &w : events) {
        const Closure *nearest = nullptr;
        for (const Closure &c : closures) {
            const double off = std::abs(w.atM / scale - c.distanceM);
            if (off <= toleranceM
                && (!nearest || off < std::abs(w.atM / scale - nearest->distanceM)))
                nearest = &c;
        }
        if (!nearest)
            continue;
        a.xc += w.atM * nearest->distanceM;
        a.cc += nearest->distanceM * nearest->distanceM;
        ++a.count;
    }
    return a;
}

} // namespace

double median(const QVector<double> &values)
{
    return Analysis::median(std::vector<double>(values.cbegin(), values.cend()));
}

Placement placeClosures(const QMap<QString, FibreEvents> &byFibre,
                        double toleranceM,
                        double fromM,
                        double toM)
{
    Placement p;
    // A first guess: each fibre's length against the median fibre's, where it is within what
    // a helix makes of one cable's fibres (a fibre cut short is no shorter along the way).
    QVector<double> lengths;
    for (const FibreEvents &f : byFibre) {
        if (f.lengthM)
            lengths << *f.lengthM;
    }
    const double cableLength = median(lengths);
    for (auto it = byFibre.cbegin(); it != byFibre.cend(); ++it) {
        const std::optional<double> &length = it.value().lengthM;
        const double ratio = length && cableLength > 0 ? *length / cableLength : 1.0;
        p.scale.insert(it.key(), std::abs(ratio - 1) <= HelixShare ? ratio : 1.0);
    }
    const auto place = [&] {
        QVector<Seen> seen;
        for (auto it = byFibre.cbegin(); it != byFibre.cend(); ++it) {
            const double scale = p.scale.value(it.key());
            for (const Witness &w : it.value().events) {
                const double at = w.atM / scale;
                if (at > fromM + toleranceM && at < toM - toleranceM)
                    seen.append({at, it.key(), w.end, w.reflective});
            }
        }
        p.closures = closuresOf(seen, toleranceM);
    };
    for (int round = 0; round < Rounds; ++round) {
        place();
        if (p.closures.isEmpty())
            break;
        // Each fibre's scale through its events that lie on a closure: x = s · c.
        QMap<QString, double> next;
        for (auto it = byFibre.cbegin(); it != byFibre.cend(); ++it) {
            const Anchored best
                = anchored(it.value().events, p.closures, p.scale.value(it.key()), toleranceM);
            next.insert(it.key(),
                        best.count >= FewestAnchors && best.cc > 0 ? best.xc / best.cc
                                                                   : best.scale);
        }
        // The cable's own distance is the median fibre's.
        const double middle = median(QVector<double>(next.cbegin(), next.cend()));
        for (auto it = next.begin(); it != next.end(); ++it)
            it.value() /= middle > 0 ? middle : 1;
        p.scale = next;
    }
    place();
    return p;
}

} // namespace Cable
