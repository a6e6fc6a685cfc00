#include "baseline/pointdifference.h"

#include "analysis/statistics.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace Baseline {

namespace {

// A launch stands this far above its backscatter's line until it has settled.
constexpr double LaunchExcessDb = 0.5;

// A trace's levels read at increasing distances, between its two points, walking along it
// rather than searching: NaN off it.
class Walker
{
public:
    explicit Walker(const Sor::Trace &t)
        : t(t)
    {
    }
    double at(double x)
    {
        const auto &d = t.distanceM;
        if (d.empty() || x < d.front() || x > d.back())
            return std::nan("");
        while (next + 1 < d.size() && d[next + 1] <= x)
            ++next;
        if (next + 1 >= d.size())
            return t.levelDb.back();
        const double span = d[next + 1] - d[next];
        const double f = span > 0 ? (x - d[next]) / span : 0;
        return t.levelDb[next] + f * (t.levelDb[next + 1] - t.levelDb[next]);
    }

private:
    const Sor::Trace &t;
    size_t next = 0;
};

// The line the backscatter follows up to the first event, through the medians of two
// stretches before it, and the noise of its points there.
struct Backscatter
{
    double level = 0; // at centreM
    double slope = 0;
    double centreM = 0;
    double pointNoise = 0;
    bool found = false;
    double at(double x) const { return level + slope * (x - centreM); }
};

Backscatter backscatterBefore(const Sor::Trace &t, double firstEventM)
{
    const auto &x = t.distanceM;
    const auto &y = t.levelDb;
    const double lo = firstEventM / 2;
    const double mid = 0.75 * firstEventM;
    std::vector<double> near;
    std::vector<double> far;
    std::vector<double> second;
    const size_t from = size_t(std::lower_bound(x.begin(), x.end(), lo) - x.begin());
    for (size_t i = from; i < x.size() && x[i] < firstEventM; ++i) {
        if (std::isnan(y[i]))
            continue;
        (x[i] < mid ? near : far).push_back(y[i]);
        if (i > from && i + 1 < y.size() && !std::isnan(y[i - 1]) && !std::isnan(y[i + 1]))
            second.push_back(std::abs(y[i - 1] - 2 * y[i] + y[i + 1]));
    }
    Backscatter line;
    if (near.size() < 5 || far.size() < 5)
        return line;
    const double a = Analysis::median(near);
    const double b = Analysis::median(far);
    line.level = a;
    line.slope = (b - a) / (firstEventM / 4);
    line.centreM = (lo + mid) / 2;
    line.pointNoise = Analysis::noiseOfSecondDifferences(std::move(second));
    line.found = true;
    return line;
}

// The levels met over points [from, to) of the difference, "no data" left out.
std::vector<double> offsetsWithin(const Difference &d, double fromM, double toM)
{
    std::vector<double> offsets;
    for (size_t i = 0; i < d.distanceM.size(); ++i) {
        if (d.distanceM[i] > fromM && d.distanceM[i] < toM && !std::isnan(d.deltaDb[i]))
            offsets.push_back(d.deltaDb[i]);
    }
    return offsets;
}

} // namespace

// Past the last stretch near the start whose mean stands above the backscatter's line (a
// receiver's tail, the front connector's dead zone) by half the threshold, or by what that
// mean's noise could give, and never by more than half a dB. A tail a longer pulse drags out
// is no change.
double launchEndM(const Sor::Trace &t, double firstEventM, double thresholdDb, double windowM)
{
    const Backscatter line = backscatterBefore(t, firstEventM);
    if (!line.found)
        return 0;
    const auto &x = t.distanceM;
    const auto &y = t.levelDb;
    const double lo = firstEventM / 2;
    const size_t k = size_t(
        std::max(double(StepPoints), std::round(windowM / std::max(t.spacingM.value_or(1), 1e-3))));
    const double limit = std::min(
        LaunchExcessDb,
        std::max(thresholdDb / 2, StepDeviations * line.pointNoise / std::sqrt(double(k))));
    double end = 0;
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < x.size() && x[i] < lo; ++i) {
        const double excess = y[i] - line.at(x[i]);
        if (!std::isnan(excess) && excess > LaunchExcessDb)
            end = x[i];
        sum += std::isnan(excess) ? 0 : excess;
        count += std::isnan(excess) ? 0 : 1;
        if (i >= k) {
            const double old = y[i - k] - line.at(x[i - k]);
            sum -= std::isnan(old) ? 0 : old;
            count -= std::isnan(old) ? 0 : 1;
        }
        if (i + 1 >= k && count > k / 2 && sum / double(count) > limit)
            end = x[i];
    }
    return end;
}

double firstEventM(const QVector<double> &events, double toleranceM, double reach)
{
    double first = 0.3 * reach;
    for (double x : events) {
        if (x > 2 * toleranceM)
            first = std::min(first, x);
    }
    return first;
}

// Events found by an analysis in noise can agree on a shift no point shows.
double shiftForPoints(const Sor::Trace &base, const Sor::Trace &now, const Scope &s, double shiftM)
{
    if (shiftM == 0)
        return shiftM;
    double with = 0;
    double without = 0;
    int k = 0;
    Walker shifted(now);
    Walker plain(now);
    const size_t stride = std::max<size_t>(1, base.distanceM.size() / 4000);
    for (size_t i = 0; i < base.distanceM.size(); i += stride) {
        const double x = base.distanceM[i];
        if (x < s.settledM || x > s.reachM - s.toleranceM)
            continue;
        const double a = base.levelDb[i];
        const double byShifted = shifted.at(x - shiftM) - a;
        const double byPlain = plain.at(x) - a;
        if (std::isnan(byShifted) || std::isnan(byPlain))
            continue;
        with += std::abs(byShifted - byPlain) > 0 ? std::abs(byShifted) : 0;
        without += std::abs(byShifted - byPlain) > 0 ? std::abs(byPlain) : 0;
        ++k;
    }
    return k > 0 && with >= 0.9 * without ? 0 : shiftM;
}

Difference
pointDifference(const Sor::Trace &base, const Sor::Trace &now, const Scope &s, double shiftM)
{
    Difference d;
    Walker along(now);
    d.distanceM.reserve(base.distanceM.size());
    d.deltaDb.reserve(base.distanceM.size());
    for (size_t i = 0; i < base.distanceM.size(); ++i) {
        const double a = base.levelDb[i];
        const double b = along.at(base.distanceM[i] - shiftM);
        d.distanceM.push_back(base.distanceM[i]);
        d.deltaDb.push_back(std::isnan(a) || std::isnan(b) ? std::nan("") : b - a);
    }
    // The levels met over a stretch short enough that a change there is the lesser part of it.
    const double stretch = std::clamp(0.1 * s.reachM, 200.0, 3000.0);
    std::vector<double> offsets = offsetsWithin(
        d, s.settledM, std::min(s.firstEventM - s.toleranceM, s.settledM + stretch));
    if (offsets.size() < 10)
        offsets = offsetsWithin(d, s.settledM, 0.3 * s.reachM);
    d.levelShiftDb = offsets.empty() ? 0 : -Analysis::median(offsets);
    // Past the shorter fibre's end the difference is of noise: none.
    for (size_t i = 0; i < d.deltaDb.size(); ++i)
        d.deltaDb[i] = d.distanceM[i] > s.reachM + s.toleranceM ? std::nan("")
                                                                : d.deltaDb[i] + d.levelShiftDb;
    return d;
}

} // namespace Baseline
