#include "analysis/tracedata.h"

#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>

// Where the trace is a fibre's backscatter: past the front connector's dead zone and a
// receiver's recovery from a reflection, above the levels the instrument clipped, before the
// noise floor.
namespace Analysis {

namespace {

// A trace ends in noise when its last points scatter this much (dB): backscatter never does.
constexpr double FloorScatterDb = 0.4;
// A window lies in the floor when its level stands less than this above the floor's (dB), or
// than its own spread allows.
constexpr double FloorRiseDb = 3.0;
// The share of the trace whose level gives the noise floor.
constexpr double TailShare = 0.04;
// A front connector's reflection stands at least this far above the backscatter after it.
constexpr double LeastLaunchDb = 0.1;
// A receiver's recovery is judged over stretches of at least this many points (or two pulse
// lengths), and at most this many.
constexpr size_t RecoveryStretch = 8;
constexpr size_t LongestRecoveryStretch = 512;
// A level stored at this many points, and at one in this many, is a cut, not a measurement:
// the noise reaches one level exactly this often only where the instrument clips it there.
constexpr size_t ClippedFewest = 16;
constexpr size_t ClippedShare = 200;

} // namespace

Slope slopeOf(const TraceData &t, size_t from, size_t to)
{
    const Line line = t.fits.line(from, to);
    const double n = double(to - from);
    return {-line.slope, t.fits.residual(from, to, line) * std::sqrt(12 / (n * (n * n - 1)))};
}

bool steeperThanFibre(const TraceData &t, size_t from, size_t count)
{
    const Slope f = slopeOf(t, from, from + count);
    return f.fall - 3 * f.error > SteepestFibreDbKm / 1000 * t.spacing;
}

bool keepsFibreSlope(const TraceData &t, size_t from, size_t count)
{
    const Slope f = slopeOf(t, from, from + count);
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

// Where a reflection rises in [from, to), past the launch's own pulse: the first point where
// the trace, and the mean of the next few points, stand clear above every level since `from`
// (the launch's fall and a receiver's recovery, however it rings, only sink); where that rise
// leaves the level before it. 0: none.
size_t riseAfterLaunch(const TraceData &t, size_t from, size_t to)
{
    const size_t few = std::max<size_t>(2, t.pulse / 4);
    if (from + 1 >= to || to + few > t.usable)
        return 0;
    double high = t.y[from];
    for (size_t j = from + 1; j < to; ++j) {
        // A receiver climbing back from the floor (or "no data") after a blinding launch
        // rises too: no reflection rises from where no light is seen.
        const bool dark = t.noData[j - 1] || (t.floorDb && t.y[j - 1] < *t.floorDb + t.floorRiseDb);
        if (dark)
            return 0;
        const double clear = std::max(LeastLaunchDb, CandidateSignificance * 2 * t.noiseAt(j));
        if (t.y[j] - high >= clear && t.fits.mean(j, j + few) - high >= clear) {
            const double low = *std::min_element(t.y.begin() + long(std::max(from, j - few)),
                                                 t.y.begin() + long(j));
            const double begun = low + std::max(RiseNoise * t.noiseAt(j), RiseLeastDb);
            size_t begins = j;
            while (begins > from + 1 && t.y[begins - 1] > begun)
                --begins;
            return begins;
        }
        high = std::max(high, t.y[j]);
    }
    return 0;
}

// Where the launch's own fall ends, past its pulse and before a reflection that rises at
// `rise`: on while the trace drops from point to point by more than its noise can.
size_t launchFallEnds(const TraceData &t, size_t from, size_t rise)
{
    size_t at = from;
    while (at + 1 < rise
           && t.y[at] - t.y[at + 1] > std::max(RiseLeastDb, RiseNoise * t.noiseAt(at)))
        ++at;
    return std::min(at, rise > 0 ? rise - 1 : 0);
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
    // A reflection rising where the detector's windows would still lie in the launch's dead
    // zone is an event of its own: the backscatter before it is the fibre's, and the launch
    // ends where its own pulse has passed.
    const size_t rise = riseAfterLaunch(t, top + t.pulse + 1, std::min(t.usable, after + w));
    size_t stop = after + w;
    if (rise > 0 && rise < after) {
        t.launchReflection = rise;
        after = launchFallEnds(t, top + t.pulse + 1, rise);
        t.launchEnd = after;
    }
    if (rise > 0)
        stop = std::max(rise, after + 1);
    // Its height above the backscatter carried back to its top.
    const double above = t.y[top] - t.fits.mean(after, stop);
    const double fall = -t.slopeAt(after) * (double(after - top) + double(stop - after) / 2);
    if (above - std::max(0.0, fall)
        >= std::max(CandidateSignificance * t.noiseAt(after) * 2, LeastLaunchDb))
        t.launchHeightDb = above - std::max(0.0, fall);
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

} // namespace Analysis
