#include "analysis/tracedata.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace Analysis {

namespace {

// How many noise deviations a step or a peak must stand above to be taken for an event.
constexpr double Significance = 5.0;
// A trace ends in noise when its last points scatter this much (dB): backscatter never does.
constexpr double FloorScatterDb = 0.4;
// The share of the trace whose level gives the noise floor.
constexpr double TailShare = 0.04;
// The resolution of the levels a file stores.
constexpr double QuantumDb = 0.001;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + long(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The highest level within a pulse length ahead of each point, by a sliding maximum.
std::vector<double> highestAhead(const std::vector<double> &y, size_t n, size_t span)
{
    std::vector<double> ahead(n, 0);
    std::deque<size_t> window;
    for (size_t j = n; j-- > 0;) {
        while (!window.empty() && y[window.back()] <= y[j])
            window.pop_back();
        window.push_back(j);
        while (window.front() > j + span)
            window.pop_front();
        ahead[j] = y[window.front()];
    }
    return ahead;
}

// Where events may start to be seen: past the launch's dead zone. A trace that starts on the
// front connector's reflection (the first point is the panel) holds none until the receiver has
// recovered from it, two pulse lengths past its top.
size_t firstVisible(const TraceData &t, size_t w)
{
    const size_t start = std::max(w, t.pulse + 1);
    const size_t reach = std::min(t.usable, 2 * t.pulse + 3);
    if (reach == 0)
        return start;
    const size_t top
        = size_t(std::max_element(t.y.begin(), t.y.begin() + long(reach)) - t.y.begin());
    const size_t after = top + 2 * t.pulse + 1;
    if (after + w > t.usable)
        return start;
    const double height = t.y[top] - t.fits.mean(after, after + w);
    return height >= Significance * t.noiseAt(after) * 2 ? std::max(start, after + w) : start;
}

} // namespace

// The noise of the levels, block by block, from the spread of point-to-point differences: a
// slope or an event changes few of them, the noise all.
void estimateNoise(TraceData &t)
{
    t.block = std::max<size_t>(128, t.pulse);
    std::vector<double> differences;
    for (size_t start = 0; start + 1 < t.y.size(); start += t.block) {
        const size_t end = std::min(t.y.size() - 1, start + t.block);
        differences.clear();
        // Disjoint pairs: independent differences, and half the work.
        for (size_t i = start; i < end; i += 2)
            differences.push_back(t.y[i + 1] - t.y[i]);
        // The block's least-squares slope: the levels are stored to a thousandth of a dB,
        // which makes single differences too coarse to take their median.
        const double slope = t.fits.line(start, end + 1).slope;
        for (double &d : differences)
            d = std::abs(d - slope);
        t.slope.push_back(slope);
        if (differences.empty())
            differences.push_back(0);
        // The median absolute difference of two independent points is 0.954 deviations; a
        // level stored to 0.001 dB is never known better than that step allows.
        t.noise.push_back(std::max(QuantumDb / std::sqrt(12.0), median(differences) / 0.954));
    }
    // An event inside a block bends its figures: each block takes the median of its
    // neighbourhood's.
    const std::vector<double> slopes = t.slope;
    const std::vector<double> noises = t.noise;
    for (size_t b = 0; b < slopes.size(); ++b) {
        const size_t from = b >= 2 ? b - 2 : 0;
        const size_t to = std::min(slopes.size(), b + 3);
        t.slope[b]
            = median(std::vector<double>(slopes.begin() + long(from), slopes.begin() + long(to)));
        t.noise[b]
            = median(std::vector<double>(noises.begin() + long(from), noises.begin() + long(to)));
    }
}

// Whether the trace falls into a noise floor, the floor's level, and the points before it.
void findFloor(TraceData &t, double endDb)
{
    const size_t n = t.y.size();
    const size_t tail = std::max<size_t>(16, size_t(double(n) * TailShare));
    t.usable = n;
    if (tail * 4 > n)
        return;
    const std::vector<double> last(t.y.end() - long(tail), t.y.end());
    const double level = median(last);
    std::vector<double> spread;
    for (double v : last)
        spread.push_back(std::abs(v - level));
    if (median(spread) * 1.4826 < FloorScatterDb)
        return;
    t.floorDb = level;
    // Usable: up to the last point whose neighbourhood stands clear of the floor.
    const size_t window = std::max<size_t>(8, t.pulse);
    double sum = 0;
    size_t lastClear = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += t.y[i];
        if (i >= window)
            sum -= t.y[i - window];
        if (i + 1 >= window && sum / double(window) >= level + endDb)
            lastClear = i;
    }
    t.usable = std::min(n, lastClear + t.pulse + 2);
}

// Where the level before a point and the level past its pulse length differ by more than the
// fibre's own slope explains, or where the trace rises above the level before, beyond the
// noise: the strongest point of each such run. Means of two windows, not lines, so that a
// window over an event's transition only weakens the difference and never reverses it.
std::vector<Candidate> findCandidates(const TraceData &t, const Thresholds &thresholds)
{
    const size_t n = t.usable;
    const size_t w = std::max<size_t>(4, t.pulse);
    const size_t gap = t.pulse + 1;
    std::vector<Candidate> found;
    if (n < 2 * w + gap + 1)
        return found;
    const std::vector<double> ahead = highestAhead(t.y, n, t.pulse);
    const double stepSpread = std::sqrt(2.0 / double(w));
    const double across = double(gap + w);
    bool inRun = false;
    double strongest = 0;
    double highest = 0;
    double bestStep = 0;
    size_t lastSeen = 0;
    Candidate best;
    Candidate reflection;
    // The launch's own dead zone holds no event.
    for (size_t i = firstVisible(t, w); i + gap + w <= n; ++i) {
        const double before = t.fits.mean(i - w, i);
        const double slope = t.slopeAt(i);
        const double step = before + slope * across - t.fits.mean(i + gap, i + gap + w);
        const double sigma = t.noiseAt(i);
        const double peak = ahead[i] - (before + slope * (double(w) + 1) / 2);
        // The slope carried across both windows may be off by its neighbourhood's spread.
        const double stepError = std::hypot(stepSpread * sigma, t.slopeErrorAt(i) * across);
        const bool stepSeen
            = std::abs(step) >= std::max(thresholds.lossDb * 0.5, Significance * stepError);
        const bool peakSeen = peak >= Significance * sigma * 2;
        // A step of the other sign, with no reflection, is the next event.
        const bool turned = inRun && stepSeen && !peakSeen && highest == 0 && strongest > 0
                            && (step > 0) != (bestStep > 0)
                            && std::abs(step) > 2 * Significance * stepError;
        if (turned) {
            found.push_back(best);
            inRun = false;
        }
        if (!stepSeen && !peakSeen) {
            // A run ends after a pulse length without a sign, so noise does not split one
            // event in two. A reflection in it names the run; else its strongest step.
            if (inRun && i > lastSeen + t.pulse) {
                found.push_back(highest > 0 ? reflection : best);
                inRun = false;
            }
            continue;
        }
        if (!inRun) {
            strongest = 0;
            highest = 0;
        }
        lastSeen = i;
        inRun = true;
        if (std::abs(step) > strongest) {
            strongest = std::abs(step);
            bestStep = step;
            best = {i, false};
        }
        if (peakSeen && peak > highest) {
            highest = peak;
            reflection = {i, true};
        }
    }
    if (inRun)
        found.push_back(highest > 0 ? reflection : best);
    return found;
}

} // namespace Analysis
