#include "analysis/tracedata.h"

#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace Analysis {

namespace {

// How many noise deviations a step or a peak must stand above to be taken for a candidate.
constexpr double CandidateSignificance = 5.0;
// A trace ends in noise when its last points scatter this much (dB): backscatter never does.
constexpr double FloorScatterDb = 0.4;
// A window lies in the floor when its level stands less than this above the floor's (dB), or
// than its own spread allows.
constexpr double FloorRiseDb = 3.0;
// The share of the trace whose level gives the noise floor.
constexpr double TailShare = 0.04;
// The step statistic's noise beyond this many times what the points' own noise gives is the
// instrument's filtering, not chance.
constexpr double CorrelatedExcess = 1.5;
// Where a pulse spans fewer points than this, small steps are also looked for over windows of
// this many.
constexpr size_t WidestWindow = 32;
// A reflection stands at least this far above the backscatter: less is the trace's own curve
// (a long pulse's smear of a step), however quiet its points.
constexpr double LeastPeakDb = 0.05;
// A reflection's mean lift over its pulse is at least this share of its top's height, where
// the pulse spans this many points and more (fewer tell a burst from a pulse no better).
constexpr double LeastLiftShare = 0.1;
constexpr size_t LiftedPulse = 8;
// A step statistic this large (dB) is an event's, never the backscatter's noise.
constexpr double StrongStepDb = 1.0;
// A front connector's reflection stands at least this far above the backscatter after it.
constexpr double LeastLaunchDb = 0.1;
// A receiver's recovery is judged over stretches of at least this many points (or two pulse
// lengths), and at most this many.
constexpr size_t RecoveryStretch = 8;
constexpr size_t LongestRecoveryStretch = 512;
// A block's noise needs this many points.
constexpr size_t FewestForNoise = 16;
// A level stored at this many points, and at one in this many, is a cut, not a measurement:
// the noise reaches one level exactly this often only where the instrument clips it there.
constexpr size_t ClippedFewest = 16;
constexpr size_t ClippedShare = 200;
// The resolution of the levels a file stores.
constexpr double QuantumDb = 0.001;

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
    const size_t start = std::max({w, t.panel + t.pulse + 1, span});
    return t.launchEnd > 0 ? std::max(start, t.launchEnd + w) : start;
}

} // namespace

namespace {

// A line through the points [from, from + count), with the error of its slope from their
// scatter about it, and the steepest slope a fibre has, per point.
struct SlopeFit
{
    double fall = 0; // minus the slope
    double error = 0;
    double steepest = 0;
};

SlopeFit slopeFit(const TraceData &t, size_t from, size_t count)
{
    const Line line = t.fits.line(from, from + count);
    const double spread = t.fits.residual(from, from + count, line);
    const double n = double(count);
    return {-line.slope,
            spread * std::sqrt(12 / (n * (n * n - 1))),
            SteepestFibreDbKm / 1000 * t.spacing};
}

} // namespace

bool steeperThanFibre(const TraceData &t, size_t from, size_t count)
{
    const SlopeFit f = slopeFit(t, from, count);
    return f.fall - 3 * f.error > f.steepest;
}

bool keepsFibreSlope(const TraceData &t, size_t from, size_t count)
{
    const SlopeFit f = slopeFit(t, from, count);
    return f.fall + 3 * f.error < HighestAttenuationDbKm / 1000 * t.spacing;
}

namespace {

// A receiver's recovery falls ever more slowly: where the level falls from one pulse length to
// the next by a good deal more than it fell from the one before, a step lies there (the fibre's
// end inside a launch's tail), which no recovery makes.
bool dropsSuddenly(const TraceData &t, size_t from, size_t count)
{
    const size_t w = std::max<size_t>(4, t.pulse);
    const double least = std::max(
        StrongStepDb, CandidateSignificance * t.noiseAt(from) * std::sqrt(2.0 / double(w)));
    double fell = HUGE_VAL;
    for (size_t at = from; at + 2 * w <= from + count; at += w) {
        const double fall = t.fits.mean(at, at + w) - t.fits.mean(at + w, at + 2 * w);
        if (fall > fell + least)
            return true;
        fell = std::max(fall, 0.0);
    }
    return false;
}

bool recovering(const TraceData &t, size_t from, size_t count)
{
    return steeperThanFibre(t, from, count) && !dropsSuddenly(t, from, count);
}

} // namespace

// Judged at every scale from two pulse lengths up, as a tail falls steeply at first and ever
// more slowly later: a stretch is the tail's when the fall goes on past it (a step there would
// be an event), or when it goes on straight from the reflection's own fall.
size_t recovered(const TraceData &t, size_t from)
{
    const size_t shortest = std::max<size_t>(RecoveryStretch, 2 * t.pulse);
    size_t after = from;
    if (after + shortest <= t.usable && steeperThanFibre(t, after, shortest))
        after += shortest;
    for (size_t stretch = shortest;
         stretch <= LongestRecoveryStretch && after + 2 * stretch <= t.usable;) {
        if (recovering(t, after, stretch) && recovering(t, after + stretch, stretch)) {
            after += stretch;
            stretch = shortest;
        } else {
            stretch *= 2;
        }
    }
    return after;
}

// No fibre rises: from a point on, while each stretch's second half lies above its first beyond
// their noise, the trace is a receiver recovering; where that stops. Medians, so that the
// floor's own points at the start (noise of any size) do not hide the climb.
size_t climb(const TraceData &t, size_t from, size_t stretch)
{
    const size_t half = std::max<size_t>(2, stretch / 2);
    const auto middle = [&](size_t at) {
        return median(std::vector<double>(t.y.begin() + long(at), t.y.begin() + long(at + half)));
    };
    size_t at = from;
    while (at + 2 * half <= t.usable) {
        const double rise = middle(at + half) - middle(at);
        if (!(rise > 3 * t.noiseAt(at + half) * std::sqrt(2.0 / double(half))))
            break;
        at += half;
    }
    return at;
}

void markClipped(TraceData &t)
{
    // "No data" is NaN here, which no comparison takes for the lowest level.
    double lowest = HUGE_VAL;
    size_t count = 0;
    for (const double v : t.y) {
        if (v < lowest) {
            lowest = v;
            count = 1;
        } else if (v == lowest) {
            ++count;
        }
    }
    if (count < std::max<size_t>(ClippedFewest, t.y.size() / ClippedShare))
        return;
    for (size_t i = 0; i < t.y.size(); ++i) {
        if (t.y[i] == lowest)
            t.noData[i] = true;
    }
}

// Whether the trace starts on the front connector's reflection (the first point that carries
// light is the panel): its height above the backscatter after it, and where its dead zone ends:
// two pulse lengths past its top, and further while the receiver still recovers from it (the
// trace falling faster than any fibre, stretch after stretch).
void findLaunch(TraceData &t)
{
    const size_t w = std::max<size_t>(4, t.pulse);
    // A receiver blinded by the launch shows no front connector: the trace climbs from the
    // floor while it recovers, and the fibre is seen from where it stops climbing.
    const size_t stretch = std::max<size_t>(RecoveryStretch, 2 * t.pulse);
    const size_t climbed = climb(t, t.panel, stretch);
    if (climbed >= t.panel + stretch) {
        t.launchEnd = recovered(t, climbed);
        return;
    }
    const size_t reach = std::min(t.usable, t.panel + 2 * t.pulse + 3);
    if (reach <= t.panel)
        return;
    size_t top = size_t(std::max_element(t.y.begin() + long(t.panel), t.y.begin() + long(reach))
                        - t.y.begin());
    // A receiver slower than the pulse is still rising there: its top is further on.
    while (top + 1 < t.usable && t.y[top + 1] >= t.y[top])
        ++top;
    size_t after = top + 2 * t.pulse + 1;
    if (after + w > t.usable)
        return;
    // Anything standing above the stretch after it hides events until it has passed; only a
    // rise above what the fibre's own slope explains is a reflection, the front connector.
    const double height = t.y[top] - t.fits.mean(after, after + w);
    if (height < CandidateSignificance * t.noiseAt(after) * 2)
        return;
    after = recovered(t, after);
    t.launchEnd = after;
    t.launchTop = top;
    // Its height above the backscatter carried back to its top.
    const double above = t.y[top] - t.fits.mean(after, after + w);
    const double fall = -t.slopeAt(after) * (double(after - top) + double(w) / 2);
    if (above - std::max(0.0, fall)
        >= std::max(CandidateSignificance * t.noiseAt(after) * 2, LeastLaunchDb))
        t.launchHeightDb = above - std::max(0.0, fall);
}

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

// Whether the trace falls into a noise floor, the floor's level, and the points before it: the
// backscatter stops where the trace first sinks into the floor (or into "no data", which lies
// below it) and stays there for a while; nothing past that is analysed. The floor is known by
// the trace's last points, when they scatter as no backscatter does or hold "no data". Points
// at the floor before any light came back (the instrument's inside) are no fibre: the trace
// starts where it leaves them.
void findFloor(TraceData &t)
{
    const size_t n = t.y.size();
    const size_t window = std::max<size_t>(16, 2 * t.pulse);
    // A few windows at least, for their spread.
    const size_t tail = std::max(2 * window, size_t(double(n) * TailShare));
    t.usable = n;
    if (tail * 4 > n || n < 2 * window + tail)
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
    if (robustDeviation(last, level) < FloorScatterDb && missing * 10 < tail)
        return;
    // Window means ("no data" at the lowest level stored, as the lines see it), and their own
    // spread in the floor: the scale at which the floor is told from backscatter.
    std::vector<double> sums(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i)
        sums[i + 1] = sums[i] + t.y[i];
    auto mean = [&](size_t from) { return (sums[from + window] - sums[from]) / double(window); };
    std::vector<double> floorMeans;
    for (size_t i = n - tail; i + window <= n; i += std::max<size_t>(1, window / 4))
        floorMeans.push_back(mean(i));
    // The floor's level, and how high its own windows reach (noise swinging between "no data"
    // and peaks reaches far): a window lies in it below that, with a margin.
    std::sort(floorMeans.begin(), floorMeans.end());
    const double centre = floorMeans[floorMeans.size() / 2];
    const double upper = floorMeans[floorMeans.size() * 9 / 10];
    const double rise = FloorRiseDb + (upper - centre);
    auto inFloor = [&](size_t i) { return mean(i) < centre + rise; };
    // The light comes back at the front panel: points before it lie in the floor.
    size_t light = 0;
    while (light + window <= n && inFloor(light))
        ++light;
    if (light + window > n)
        return;
    t.floorDb = centre;
    t.floorRiseDb = rise;
    t.floorWindow = window;
    t.panel = light > t.pulse ? light : 0;
    // The first window past the launch that lies in the floor, and the next few.
    for (size_t i = std::min(n - window, light + 2 * t.pulse + 2); i + window <= n; ++i) {
        if (!inFloor(i))
            continue;
        bool stays = true;
        for (size_t k = 1; k <= 4 && stays; ++k)
            stays = i + k * window / 2 + window > n || inFloor(i + k * window / 2);
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
namespace {

// The candidates seen with windows of w points either side of the pulse's gap.
std::vector<Candidate>
candidatesAt(const TraceData &t, const Thresholds &thresholds, const size_t w)
{
    const size_t n = t.usable;
    const size_t gap = t.pulse + 1;
    std::vector<Candidate> found;
    if (n < 2 * w + gap + 1)
        return found;
    const std::vector<double> ahead = highestAhead(t.y, n, t.pulse);
    const size_t recent = std::max<size_t>(2, t.pulse / 8);
    const double stepSpread = std::sqrt(2.0 / double(w));
    const double across = double(gap + w);
    bool inRun = false;
    double strongest = 0;
    double highest = 0;
    double bestStep = 0;
    double lowestSince = 0; // the weakest step since the strongest
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
        // Above the backscatter carried on to here, and above the last points themselves: a
        // trace bending into a step is no reflection, however its slope was judged.
        const double peak
            = ahead[i]
              - std::max(before + slope * (double(w) + 1) / 2,
                         *std::max_element(t.y.begin() + long(i - recent), t.y.begin() + long(i)));
        // The slope carried across both windows may be off by its neighbourhood's spread.
        const double stepError = std::hypot(stepSpread * sigma, t.slopeErrorAt(i) * across);
        const bool stepSeen = std::abs(step) >= std::max(thresholds.lossDb * 0.5,
                                                         CandidateSignificance * stepError);
        // A reflection lifts a whole pulse length of points above the backscatter on both
        // sides, which the noise, however spiky, does not: their mean stands clear of the
        // means' own noise.
        const double lifted = t.fits.mean(i, i + t.pulse);
        const double liftedBefore = lifted - before - slope * (double(w + t.pulse) / 2);
        const size_t back = i + 2 * t.pulse + 1;
        const double liftedAfter = back + w <= n ? lifted - t.fits.mean(back, back + w)
                                                       - slope * (double(t.pulse + w) / 2 + 1)
                                                 : 0;
        const double liftError = sigma * std::sqrt(1.0 / double(t.pulse) + 1.0 / double(w));
        const double lift = std::min(liftedBefore, liftedAfter);
        // How many deviations of its statistic's noise the peak stands clear by, either way.
        // A clear top names the place where it rises; the lift, where its pulse begins.
        // A reflection lifts its whole pulse: a top alone, a point or two of the noise's
        // bursts, is none however high (where the pulse spans enough points to tell).
        const bool wholePulse = t.pulse < LiftedPulse || liftedBefore >= peak * LeastLiftShare;
        const double topScore = peak >= LeastPeakDb && wholePulse ? peak / (2 * sigma) : 0.0;
        const double liftScore = lift >= LeastPeakDb ? lift / std::max(liftError, 1e-9) : 0.0;
        const double peakScore = topScore >= CandidateSignificance ? 1e6 + topScore : liftScore;
        const bool peakSeen = peakScore >= CandidateSignificance;
        // A step of the other sign, with no reflection, is the next event.
        const bool turned = inRun && stepSeen && !peakSeen && highest == 0 && strongest > 0
                            && (step > 0) != (bestStep > 0)
                            && std::abs(step) > 2 * CandidateSignificance * stepError;
        // A step that rises again after its statistic sank to under half its height is the
        // next event, however soon: long pulses leave little quiet between events.
        const bool again = inRun && stepSeen && !peakSeen && highest == 0
                           && lowestSince < strongest / 2 && (step > 0) == (bestStep > 0)
                           && std::abs(step) > 2 * lowestSince + CandidateSignificance * stepError;
        if (turned || again) {
            found.push_back(best);
            inRun = false;
        }

        lowestSince = std::min(lowestSince, std::abs(step));
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
            lowestSince = strongest;
            bestStep = step;
            best = {i, false, step > 0};
        }
        if (peakSeen && peakScore > highest) {
            highest = peakScore;
            reflection = {i, true};
        }
    }
    if (inRun)
        found.push_back(highest > 0 ? reflection : best);
    return found;
}

} // namespace

// At the pulse's own scale, and where that holds few points (fine spacings) again over windows
// of many: a small step lost in the noise of a few points stands clear over many. A coarse
// candidate counts where no fine one lies within its windows' reach.
std::vector<Candidate> findCandidates(const TraceData &t, const Thresholds &thresholds)
{
    const size_t w = std::max<size_t>(4, t.pulse);
    std::vector<Candidate> found = candidatesAt(t, thresholds, w);
    if (w >= WidestWindow)
        return found;
    const std::vector<Candidate> coarse = candidatesAt(t, thresholds, WidestWindow);
    const size_t reach = WidestWindow + t.pulse + 1;
    for (const Candidate &c : coarse) {
        const bool known = std::any_of(found.begin(), found.end(), [&](const Candidate &f) {
            return f.at + reach > c.at && c.at + reach > f.at;
        });
        if (!known)
            found.push_back(c);
    }
    std::sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &b) {
        return a.at < b.at;
    });
    return found;
}

} // namespace Analysis
