#include "analysis/tracedata.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace Analysis {

namespace {

// How many noise deviations a step or a peak must stand above to be taken for a candidate.
constexpr double CandidateSignificance = 5.0;
// A trace ends in noise when its last points scatter this much (dB): backscatter never does.
constexpr double FloorScatterDb = 0.4;
// The share of the trace whose level gives the noise floor.
constexpr double TailShare = 0.04;
// The step statistic's noise beyond this many times what the points' own noise gives is the
// instrument's filtering, not chance.
constexpr double CorrelatedExcess = 1.5;
// A front connector's reflection stands at least this far above the backscatter after it.
constexpr double LeastLaunchDb = 0.1;
// A block's noise needs this many points.
constexpr size_t FewestForNoise = 16;
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
    // A launch cable's end is the span's first event: it is seen from a pulse before it.
    const size_t span = t.spanStart > 2 * t.pulse ? t.spanStart - 2 * t.pulse : 0;
    const size_t start = std::max({w, t.pulse + 1, span});
    return t.launchEnd > 0 ? std::max(start, t.launchEnd + w) : start;
}

} // namespace

// Whether the trace starts on the front connector's reflection (the first point is the panel):
// its height above the backscatter after it, and where its dead zone ends, two pulse lengths
// past its top.
void findLaunch(TraceData &t)
{
    const size_t w = std::max<size_t>(4, t.pulse);
    const size_t reach = std::min(t.usable, 2 * t.pulse + 3);
    if (reach == 0)
        return;
    const size_t top
        = size_t(std::max_element(t.y.begin(), t.y.begin() + long(reach)) - t.y.begin());
    const size_t after = top + 2 * t.pulse + 1;
    if (after + w > t.usable)
        return;
    // Anything standing above the stretch after it hides events until it has passed; only a
    // rise above what the fibre's own slope explains is a reflection, the front connector.
    const double height = t.y[top] - t.fits.mean(after, after + w);
    if (height < CandidateSignificance * t.noiseAt(after) * 2)
        return;
    t.launchEnd = after;
    t.launchTop = top;
    const double fall = -t.slopeAt(after) * (double(after - top) + double(w) / 2);
    if (height - std::max(0.0, fall)
        >= std::max(CandidateSignificance * t.noiseAt(after) * 2, LeastLaunchDb))
        t.launchHeightDb = height - std::max(0.0, fall);
}

// The noise of the levels, block by block, from the spread of point-to-point differences: a
// slope or an event changes few of them, the noise all.
void estimateNoise(TraceData &t)
{
    t.block = std::max<size_t>(128, t.pulse);
    std::vector<double> differences;
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
        // Disjoint pairs: independent differences, and half the work.
        for (size_t i = start; i < end; i += 2)
            differences.push_back(t.y[i + 1] - t.y[i]);
        // The block's least-squares slope: the levels are stored to a thousandth of a dB,
        // which makes single differences too coarse to take their median.
        const double slope = t.fits.line(start, end + 1).slope;
        for (double &d : differences)
            d = std::abs(d - slope);
        t.slope.push_back(start >= floorAt && !t.slope.empty() ? t.slope.back() : slope);
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
    std::vector<std::vector<double>> perBlock(t.noise.size());
    for (size_t i = w; i + gap + w <= n; ++i) {
        const double step
            = t.fits.mean(i - w, i) + t.slopeAt(i) * across - t.fits.mean(i + gap, i + gap + w);
        perBlock[std::min(i / t.block, perBlock.size() - 1)].push_back(step);
    }
    // Each block's own spread, then the lower quartile of its neighbourhood's: an event raises
    // the spread of the few blocks it lies in, the noise that of all.
    std::vector<double> spread(perBlock.size(), -1);
    for (size_t b = 0; b < perBlock.size(); ++b) {
        std::vector<double> &s = perBlock[b];
        if (s.size() < 16)
            continue;
        const double centre = median(s);
        for (double &v : s)
            v = std::abs(v - centre);
        spread[b] = 1.4826 * median(s);
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

// Whether the trace falls into a noise floor, the floor's level, and the points before it: the
// backscatter stops where the trace first sinks into the floor (or into "no data", which lies
// below it) and stays there for a while; nothing past that is analysed.
void findFloor(TraceData &t, double endDb)
{
    const size_t n = t.y.size();
    const size_t tail = std::max<size_t>(16, size_t(double(n) * TailShare));
    t.usable = n;
    if (tail * 4 > n)
        return;
    std::vector<double> last;
    size_t missing = 0;
    for (size_t i = n - tail; i < n; ++i) {
        if (t.noData[i])
            ++missing;
        else
            last.push_back(t.y[i]);
    }
    const double level = last.empty() ? t.y[n - 1] : median(last);
    std::vector<double> spread;
    for (double v : last)
        spread.push_back(std::abs(v - level));
    const double scatter = median(spread) * 1.4826;
    if (scatter < FloorScatterDb && missing * 10 < tail)
        return;
    t.floorDb = level;
    // The level over a window, "no data" counted below the floor, and its own noise in the
    // floor: the scale at which the floor is told from backscatter.
    const size_t window = std::max<size_t>(16, 2 * t.pulse);
    const double below = level - 2 * scatter;
    std::vector<double> sums(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i)
        sums[i + 1] = sums[i] + (t.noData[i] ? below : t.y[i]);
    auto mean = [&](size_t from) { return (sums[from + window] - sums[from]) / double(window); };
    if (n < 2 * window + tail)
        return;
    std::vector<double> floorMeans;
    for (size_t i = n - tail; i + window <= n; i += std::max<size_t>(1, window / 4))
        floorMeans.push_back(mean(i));
    const double centre = median(floorMeans);
    for (double &v : floorMeans)
        v = std::abs(v - centre);
    const double rise = std::max(endDb, CandidateSignificance * 1.4826 * median(floorMeans));
    // The first window that lies in the floor, and the next few, past the launch.
    const size_t from = std::min(n - window, 2 * t.pulse + 2);
    for (size_t i = from; i + window <= n; ++i) {
        if (mean(i) >= centre + rise)
            continue;
        bool stays = true;
        for (size_t k = 1; k <= 4 && stays; ++k)
            stays = i + k * window / 2 + window > n || mean(i + k * window / 2) < centre + rise;
        if (stays) {
            t.floorAt = i;
            t.usable = std::min(n, t.floorAt + window / 2 + 2 * t.pulse + 2);
            return;
        }
    }
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
    // Nothing in the floor is an event: the last run starts before it.
    const size_t last = std::min(n, t.floorAt);
    for (size_t i = firstVisible(t, w); i + gap + w <= n && i < last; ++i) {
        const double before = t.fits.mean(i - w, i);
        const double slope = t.slopeAt(i);
        const double step = before + slope * across - t.fits.mean(i + gap, i + gap + w);
        const double sigma = t.noiseAt(i);
        const double peak = ahead[i] - (before + slope * (double(w) + 1) / 2);
        // The slope carried across both windows may be off by its neighbourhood's spread.
        const double stepError = std::hypot(stepSpread * sigma, t.slopeErrorAt(i) * across);
        const bool stepSeen
            = std::abs(step) >= std::max(thresholds.lossDb * 0.5, CandidateSignificance * stepError);
        const bool peakSeen = peak >= CandidateSignificance * sigma * 2;
        // A step of the other sign, with no reflection, is the next event.
        const bool turned = inRun && stepSeen && !peakSeen && highest == 0 && strongest > 0
                            && (step > 0) != (bestStep > 0)
                            && std::abs(step) > 2 * CandidateSignificance * stepError;
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
