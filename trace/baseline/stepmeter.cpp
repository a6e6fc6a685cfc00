#include "baseline/stepmeter.h"

#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>

namespace Baseline {

namespace {

// A reflection that came or went stands this far out of the difference, at least.
constexpr double SpikeDb = 1.0;

// The difference's point noise block by block of blockPoints (both traces' noise, and the far
// end's larger one); infinite where a block holds too few points to tell.
std::vector<double> noiseByBlock(const std::vector<double> &delta, size_t blockPoints)
{
    const size_t n = delta.size();
    std::vector<double> noise;
    for (size_t from = 0; from < n; from += blockPoints) {
        std::vector<double> second;
        for (size_t i = from + 1; i + 1 < std::min(n, from + blockPoints); ++i) {
            const double v = delta[i - 1] - 2 * delta[i] + delta[i + 1];
            if (!std::isnan(v))
                second.push_back(std::abs(v));
        }
        noise.push_back(second.size() > 10 ? Analysis::noiseOfSecondDifferences(std::move(second))
                                           : HUGE_VAL);
    }
    return noise;
}

} // namespace

StepMeter::StepMeter(const Difference &d, const Scope &s)
    : d(d)
    , s(s)
    , n(d.deltaDb.size())
    , block(size_t(8 * s.window))
    , blockNoise(noiseByBlock(d.deltaDb, block))
    , sum(n + 1, 0)
    , count(n + 1, 0)
{
    // Prefix sums: the mean of any stretch of the difference.
    for (size_t i = 0; i < n; ++i) {
        const bool ok = !std::isnan(d.deltaDb[i]);
        sum[i + 1] = sum[i] + (ok ? d.deltaDb[i] : 0);
        count[i + 1] = count[i] + (ok ? 1 : 0);
    }
}

double StepMeter::mean(size_t from, size_t to) const
{
    const int k = count[to] - count[from];
    return k > s.window / 2 ? (sum[to] - sum[from]) / k : std::nan("");
}

// Neighbouring blocks too, where they hold a difference: a step's windows reach into them.
double StepMeter::noiseAt(double x) const
{
    if (blockNoise.empty() || s.spacingM <= 0)
        return 0.0;
    const long at = std::clamp(long((x - d.distanceM.front()) / s.spacingM / double(block)),
                               0L,
                               long(blockNoise.size()) - 1);
    double noise = blockNoise[size_t(at)];
    for (const long next : {at - 1, at + 1}) {
        if (next >= 0 && next < long(blockNoise.size()) && std::isfinite(blockNoise[size_t(next)]))
            noise = std::max(noise, blockNoise[size_t(next)]);
    }
    return noise * std::sqrt(2.0 / s.window);
}

double StepMeter::least(double x) const
{
    return std::max(s.thresholdDb, StepDeviations * noiseAt(x));
}

long StepMeter::pointAt(double x) const
{
    return long(std::lround((x - d.distanceM.front()) / s.spacingM));
}

// The difference after x against before it, clear of the event's own pulse.
double StepMeter::stepAt(double x) const
{
    if (n == 0 || s.spacingM <= 0)
        return std::nan("");
    const long at = pointAt(x);
    const long gap = long(std::ceil(s.toleranceM / s.spacingM));
    const long w = s.window;
    if (at - gap - w < 0 || at + gap + w >= long(n))
        return std::nan("");
    return -(mean(size_t(at + gap), size_t(at + gap + w))
             - mean(size_t(at - gap - w), size_t(at - gap)));
}

// An analysis that places one event twice in noise changes nothing on the fibre.
bool StepMeter::shown(double x) const
{
    const double step = stepAt(x);
    return std::isnan(step) || std::abs(step) >= least(x) / 2;
}

// A reflection that came or went shows as a spike of the difference within its pulse.
bool StepMeter::spikeShown(double x) const
{
    if (n == 0 || s.spacingM <= 0)
        return true;
    const long at = pointAt(x);
    const long gap = long(std::ceil(s.toleranceM / s.spacingM));
    const long w = s.window;
    const double around = mean(size_t(std::clamp(at - gap - w, 0L, long(n))),
                               size_t(std::clamp(at - gap, 0L, long(n))));
    double most = 0;
    for (long i = std::max(0L, at - gap); i <= std::min(long(n) - 1, at + gap); ++i) {
        if (!std::isnan(d.deltaDb[size_t(i)]) && !std::isnan(around))
            most = std::max(most, std::abs(d.deltaDb[size_t(i)] - around));
    }
    const double pointNoise = noiseAt(x) / std::sqrt(2.0 / s.window);
    return most >= std::max(SpikeDb, StepDeviations * pointNoise);
}

bool StepMeter::stands(const Acceptance::JudgedEvent &e, double at) const
{
    return (e.lossDb && std::abs(*e.lossDb) >= least(at) - 1e-9 && shown(at))
           || (e.reflectanceDb && noiseAt(at) < s.thresholdDb && spikeShown(at));
}

std::vector<double> StepMeter::stepsAlong() const
{
    const size_t w = size_t(s.window);
    std::vector<double> step(n, std::nan(""));
    for (size_t i = w; i + w < n; ++i) {
        const double x = d.distanceM[i];
        if (x < s.settledM + s.window * s.spacingM
            || x > s.reachM - s.toleranceM - s.window * s.spacingM)
            continue;
        step[i] = mean(i, i + w) - mean(i - w, i);
    }
    return step;
}

} // namespace Baseline
