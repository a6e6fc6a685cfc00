#include "analysis/tracedata.h"

#include <algorithm>
#include <cmath>
#include <deque>

// Where the trace steps or reflects: candidates for events, before they are measured.
namespace Analysis {

namespace {

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

// Where the level before a point and the level past its pulse length differ by more than the
// fibre's own slope explains, or where the trace rises above the level before, beyond the
// noise: the strongest point of each such run. Means of two windows, not lines, so that a
// window over an event's transition only weakens the difference and never reverses it.
namespace {

// What the detector looks with at every point: windows of w points either side of the pulse's
// gap, and the highest level within a pulse length ahead of each point.
struct Windows
{
    const TraceData &t;
    const Thresholds &thresholds;
    size_t w = 0;
    size_t gap = 0;
    size_t recent = 0; // the last few points, which a reflection rises above
    double stepSpread = 0;
    double across = 0;
    std::vector<double> ahead;
};

// What the detector sees at one point: the step across the gap beyond the fibre's own slope,
// and how clearly a reflection stands there.
struct Signs
{
    double step = 0;
    double stepError = 0;
    bool stepSeen = false;
    double peakScore = 0;
    bool peakSeen = false;
};

Signs signsAt(const Windows &k, size_t i)
{
    const TraceData &t = k.t;
    const size_t w = k.w;
    const size_t n = t.usable;
    Signs s;
    const double before = t.fits.mean(i - w, i);
    const double slope = t.slopeAt(i);
    s.step = before + slope * k.across - t.fits.mean(i + k.gap, i + k.gap + w);
    const double sigma = t.noiseAt(i);
    // Above the backscatter carried on to here, and above the last points themselves: a
    // trace bending into a step is no reflection, however its slope was judged.
    const double peak
        = k.ahead[i]
          - std::max(before + slope * (double(w) + 1) / 2,
                     *std::max_element(t.y.begin() + long(i - k.recent), t.y.begin() + long(i)));
    // The slope carried across both windows may be off by its neighbourhood's spread.
    s.stepError = std::hypot(k.stepSpread * sigma, t.slopeErrorAt(i) * k.across);
    s.stepSeen = std::abs(s.step)
                 >= std::max(k.thresholds.lossDb * 0.5, CandidateSignificance * s.stepError);
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
    s.peakScore = topScore >= CandidateSignificance ? 1e6 + topScore : liftScore;
    s.peakSeen = s.peakScore >= CandidateSignificance;
    return s;
}

// A run of points with a sign, which becomes one candidate: its strongest step, its highest
// reflection, and the weakest step seen since the strongest.
struct Run
{
    bool open = false;
    double strongest = 0;
    double highest = 0;
    double bestStep = 0;
    double lowestSince = 0;
    size_t lastSeen = 0;
    Candidate best;
    Candidate reflection;

    // A reflection in it names the run; else its strongest step.
    Candidate candidate() const { return highest > 0 ? reflection : best; }

    // A step with no reflection that is the next event: one of the other sign, or one that
    // rises again after the statistic sank to under half its height, however soon (long
    // pulses leave little quiet between events).
    bool nextEventAt(const Signs &s) const
    {
        if (!open || !s.stepSeen || s.peakSeen || highest != 0)
            return false;
        const bool turned = strongest > 0 && (s.step > 0) != (bestStep > 0)
                            && std::abs(s.step) > 2 * CandidateSignificance * s.stepError;
        const bool again
            = lowestSince < strongest / 2 && (s.step > 0) == (bestStep > 0)
              && std::abs(s.step) > 2 * lowestSince + CandidateSignificance * s.stepError;
        return turned || again;
    }

    void take(size_t i, const Signs &s)
    {
        if (!open) {
            strongest = 0;
            highest = 0;
        }
        lastSeen = i;
        open = true;
        if (std::abs(s.step) > strongest) {
            strongest = std::abs(s.step);
            lowestSince = strongest;
            bestStep = s.step;
            best = {i, false, s.step > 0};
        }
        if (s.peakSeen && s.peakScore > highest) {
            highest = s.peakScore;
            reflection = {i, true};
        }
    }
};

// The candidates seen with windows of w points either side of the pulse's gap.
std::vector<Candidate>
candidatesAt(const TraceData &t, const Thresholds &thresholds, const size_t w)
{
    const size_t n = t.usable;
    const size_t gap = t.pulse + 1;
    std::vector<Candidate> found;
    if (n < 2 * w + gap + 1)
        return found;
    const Windows k{t,
                    thresholds,
                    w,
                    gap,
                    std::max<size_t>(2, t.pulse / 8),
                    std::sqrt(2.0 / double(w)),
                    double(gap + w),
                    highestAhead(t.y, n, t.pulse)};
    Run run;
    // The launch's own dead zone holds no event.
    // Nothing in the floor is an event: the last run starts before it.
    const size_t last = std::min(n, t.floorAt);
    for (size_t i = firstVisible(t, w); i + gap + w <= n && i < last; ++i) {
        const Signs s = signsAt(k, i);
        if (run.nextEventAt(s)) {
            found.push_back(run.best);
            run.open = false;
        }
        run.lowestSince = std::min(run.lowestSince, std::abs(s.step));
        if (!s.stepSeen && !s.peakSeen) {
            // A run ends after a pulse length without a sign, so noise does not split one
            // event in two.
            if (run.open && i > run.lastSeen + t.pulse) {
                found.push_back(run.candidate());
                run.open = false;
            }
            continue;
        }
        run.take(i, s);
    }
    if (run.open)
        found.push_back(run.candidate());
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
    // A reflection rising in the launch's dead zone lies before the windows can look.
    if (t.launchReflection > 0) {
        Candidate c{t.launchReflection, true, true};
        c.placed = true;
        found.insert(found.begin(), c);
    }
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
