#include "analysis/tracedata.h"

#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>

// How much the levels scatter, block by block: the points' own noise, raised where the
// instrument's filtering hides it from neighbouring points, and made to grow along the fibre.
namespace Analysis {

namespace {

// The step statistic's noise beyond this many times what the points' own noise gives is the
// instrument's filtering, not chance.
constexpr double CorrelatedExcess = 1.5;
// A block's noise needs this many points.
constexpr size_t FewestForNoise = 16;
// The resolution of the levels a file stores.
constexpr double QuantumDb = 0.001;

} // namespace

// The noise of the levels, block by block, from the spread of point-to-point differences: a
// slope or an event changes few of them, the noise all.
void estimateNoise(TraceData &t)
{
    // Blocks of a few pulse lengths, so that an event bends the figures of few of their points.
    t.block = std::max<size_t>(128, 4 * t.pulse);
    const size_t lag = std::clamp<size_t>(t.pulse / 2, 8, 32);
    std::vector<double> differences;
    std::vector<double> slopes;
    // The floor's noise and slope are not the backscatter's, nor is the drop into it: a block
    // that reaches into them is measured on the backscatter it holds, and the floor keeps the
    // backscatter's last slope.
    const size_t floorAt = std::min(t.y.size(), t.floorAt) > 2 * t.pulse + FewestForNoise
                               ? std::min(t.y.size(), t.floorAt) - 2 * t.pulse
                               : std::min(t.y.size(), t.floorAt);
    for (size_t start = 0; start + 1 < t.y.size(); start += t.block) {
        size_t end = std::min(t.y.size() - 1, start + t.block);
        if (start < floorAt && end > floorAt && floorAt >= start + FewestForNoise)
            end = floorAt - 1;
        differences.clear();
        // Disjoint triples' second differences: independent, and blind to the level's slope
        // and to the curve of a receiver's recovery, which single differences take for noise.
        for (size_t i = start + 1; i < end; i += 3)
            differences.push_back(std::abs(t.y[i + 1] - 2 * t.y[i] + t.y[i - 1]));
        // The slope from the median of differences a few points apart: a step within the
        // block changes few of them, where it bends a line through all its points.
        slopes.clear();
        for (size_t i = start; i + lag <= end; i += 2)
            slopes.push_back((t.y[i + lag] - t.y[i]) / double(lag));
        const double slope = slopes.size() >= FewestForNoise / 2
                                 ? median(slopes)
                                 : t.fits.line(start, end + 1).slope;
        t.slope.push_back(start >= floorAt && !t.slope.empty() ? t.slope.back() : slope);
        if (differences.empty())
            differences.push_back(0);
        // The median absolute second difference of independent points is 1.652 deviations; a
        // level stored to 0.001 dB is never known better than that step allows.
        t.noise.push_back(std::max(QuantumDb / std::sqrt(12.0), median(differences) / 1.652));
    }
    // An event inside a block bends its figures: each block takes the median of its
    // neighbourhood's.
    const std::vector<double> blockSlopes = t.slope;
    const std::vector<double> noises = t.noise;
    for (size_t b = 0; b < blockSlopes.size(); ++b) {
        const size_t from = b >= 2 ? b - 2 : 0;
        const size_t to = std::min(blockSlopes.size(), b + 3);
        t.slope[b] = median(
            std::vector<double>(blockSlopes.begin() + long(from), blockSlopes.begin() + long(to)));
        t.noise[b]
            = median(std::vector<double>(noises.begin() + long(from), noises.begin() + long(to)));
    }
}

// The noise at the scale the detector looks at: the spread of its own step statistic, block by
// block over at least sixteen pulse lengths. An instrument filters its points, so neighbouring
// points differ less than the levels a pulse length apart do; where they understate it, the
// levels' noise is raised to what the statistic shows.
void scaleNoise(TraceData &t)
{
    // The backscatter only: the drop into the floor and the floor itself are no measure of it.
    const size_t n = std::min(t.usable, t.floorAt);
    const size_t w = std::max<size_t>(4, t.pulse);
    const size_t gap = t.pulse + 1;
    if (t.noise.empty() || n < 2 * w + gap + 1)
        return;
    const double across = double(gap + w);
    std::vector<double> steps(n, 0.0);
    // A step no noise makes, and the statistic around it, tell of an event: with pulses a
    // block long, they would be most of a block's figures. Marked as the ranges they reach.
    std::vector<int> strong(n + 1, 0);
    for (size_t i = w; i + gap + w <= n; ++i) {
        steps[i]
            = t.fits.mean(i - w, i) + t.slopeAt(i) * across - t.fits.mean(i + gap, i + gap + w);
        if (std::abs(steps[i]) >= StrongStepDb) {
            ++strong[i > w + gap ? i - w - gap : 0];
            --strong[std::min(n, i + w + gap)];
        }
    }
    std::vector<std::vector<double>> perBlock(t.noise.size());
    int reached = 0;
    for (size_t i = 0; i + gap + w <= n; ++i) {
        reached += strong[i];
        if (i >= w && reached == 0)
            perBlock[std::min(i / t.block, perBlock.size() - 1)].push_back(steps[i]);
    }
    // Each block's own spread, then the lower quartile of its neighbourhood's: an event raises
    // the spread of the few blocks it lies in, the noise that of all.
    std::vector<double> spread(perBlock.size(), -1);
    for (size_t b = 0; b < perBlock.size(); ++b) {
        std::vector<double> &s = perBlock[b];
        if (s.size() < 16)
            continue;
        spread[b] = robustDeviation(std::move(s));
    }
    const size_t reach = std::max<size_t>(2, (16 * t.pulse) / (2 * t.block) + 1);
    const double stepSpread = std::sqrt(2.0 / double(w));
    std::vector<double> near;
    for (size_t b = 0; b < perBlock.size(); ++b) {
        near.clear();
        const size_t from = b >= reach ? b - reach : 0;
        const size_t to = std::min(perBlock.size(), b + reach + 1);
        for (size_t k = from; k < to; ++k)
            if (spread[k] >= 0)
                near.push_back(spread[k]);
        if (near.size() < 3)
            continue;
        const auto quartile = near.begin() + long(near.size() / 4);
        std::nth_element(near.begin(), quartile, near.end());
        // Independent noise gives about the points' own spread: only a clear excess is the
        // instrument's filtering.
        const double seen = *quartile / stepSpread;
        if (seen > CorrelatedExcess * t.noise[b])
            t.noise[b] = seen;
    }
}

// The backscatter only falls along the fibre, and its noise, constant in power, only grows in
// dB: the blocks' noise is made to grow along it, each run of blocks that seems quieter than
// one before it taken together at their mean (the closest growing figures to the estimates).
void steadyNoise(TraceData &t)
{
    const size_t first = std::max(t.panel + t.pulse + 1, t.launchEnd) / t.block + 1;
    const size_t last = std::min(t.noise.size(), std::min(t.y.size(), t.floorAt) / t.block);
    struct Run
    {
        double sum;
        size_t count;
        double mean() const { return sum / double(count); }
    };
    std::vector<Run> runs;
    for (size_t b = first; b < last; ++b) {
        runs.push_back({t.noise[b], 1});
        while (runs.size() > 1 && runs[runs.size() - 2].mean() > runs.back().mean()) {
            runs[runs.size() - 2].sum += runs.back().sum;
            runs[runs.size() - 2].count += runs.back().count;
            runs.pop_back();
        }
    }
    size_t b = first;
    for (const Run &r : runs) {
        for (size_t k = 0; k < r.count; ++k, ++b)
            t.noise[b] = r.mean();
    }
}

} // namespace Analysis
