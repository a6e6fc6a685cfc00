#include "analysis/tracedata.h"

#include "analysis/statistics.h"
#include "sor/sortext.h"

#include <cmath>

// The trace as a whole: which stretches are a fibre's backscatter, which a receiver's tail or a
// ghost, and whether the end the events give holds together with the rest.
namespace Analysis {

namespace {

// A stretch needs this many points for its slope and straightness to be judged.
constexpr size_t FewestJudged = 8;
// A fibre's halves keep their slopes within this many deviations of each other; a stretch too
// short to halve keeps its points within this many deviations of their noise.
constexpr double HalvesAgree = 4;
constexpr double StraightNoise = 3;
// A half too long for one line is judged by this many pieces.
constexpr size_t Pieces = 16;
// No fibre loses less than this over a long stretch (dB/km): a flat stretch is the floor.
constexpr double FlattestFibreDbKm = 0.05;
// A ghost lies within this many pulse lengths (and samples) of a multiple of its reflection's
// distance, and that reflection stands at least this high above the backscatter (dB).
constexpr double GhostReachPulses = 1;
constexpr double GhostSourceDb = 3;
// "No loss across it": on a receiver's tail the level under a ghost falls or rises by this much.
constexpr double GhostLossDb = 0.5;
// How sure an end must be: its drop this many deviations clear of the noise before it.
constexpr double EndSignificance = 8;

// The typical noise of the points [from, to), as the analysis estimated it.
double noiseOver(const TraceData &t, size_t from, size_t to)
{
    double highest = 0;
    for (size_t i = from; i < to; i += std::max<size_t>(1, t.block))
        highest = std::max(highest, t.noiseAt(i));
    return std::max(highest, t.noiseAt(to > from ? to - 1 : from));
}

// The fall per point of [from, to) from the median of differences a few points apart, which a
// step bends little, and how far that median may be off: the differences' spread over the
// count of them that share no points.
Slope steadyFall(const TraceData &t, size_t from, size_t to)
{
    const size_t lag = std::clamp<size_t>(t.pulse, 4, (to - from) / 4 + 1);
    const size_t stride = std::max<size_t>(1, (to - from) / 512);
    std::vector<double> falls;
    for (size_t i = from; i + lag < to; i += stride)
        falls.push_back((t.y[i] - t.y[i + lag]) / double(lag));
    const double middle = median(falls);
    const double apart = std::max(1.0, std::min(double(falls.size()), double(to - from) / lag));
    // 1.2533 is a median's error against a mean's.
    return {middle, robustDeviation(std::move(falls), middle) * 1.2533 / std::sqrt(apart)};
}

// The fall per point of [from, to) from lines fitted to its pieces: their median, and its error
// from the pieces' own errors. A line through a whole stretch takes every step on it for
// slope; a piece holding a step is one among many.
Slope piecewiseFall(const TraceData &t, size_t from, size_t to)
{
    const size_t count = std::clamp<size_t>((to - from) / FewestJudged, 1, Pieces);
    std::vector<double> falls;
    std::vector<double> errors;
    for (size_t k = 0; k < count; ++k) {
        const Slope piece
            = slopeOf(t, from + (to - from) * k / count, from + (to - from) * (k + 1) / count);
        falls.push_back(piece.fall);
        errors.push_back(piece.error);
    }
    // 1.2533 is a median's error against a mean's.
    return {median(falls), median(errors) * 1.2533 / std::sqrt(double(count))};
}

} // namespace

bool fibreFollows(const TraceData &t, size_t from, size_t to)
{
    to = std::min(to, t.y.size());
    if (to < from + FewestJudged)
        return false;
    if (t.floorDb && t.fits.mean(from, to) < *t.floorDb + t.floorRiseDb)
        return false;
    const Slope whole = slopeOf(t, from, to);
    const double steepest = HighestAttenuationDbKm / 1000 * t.spacing;
    const double flattest = FlattestFibreDbKm / 1000 * t.spacing;
    if (whole.fall - 3 * whole.error > steepest || whole.fall + 3 * whole.error < flattest)
        return false;
    // The same from the median of differences, which a tail's curve does not blur.
    const Slope steady = steadyFall(t, from, to);
    if (steady.fall - 3 * steady.error > steepest)
        return false;
    // A tail flattens as it goes; a fibre keeps its slope, whatever steps lie on it: the
    // halves' slopes from the median of differences, which a step bends little, must not
    // halve from one to the next beyond their error.
    const size_t middle = from + (to - from) / 2;
    if (middle < from + 2 * FewestJudged || to < middle + 2 * FewestJudged) {
        // Too short for medians: a tail's curve shows as points off their line, and as a
        // first half steeper than the second.
        const Line line = t.fits.line(from, to);
        if (t.fits.residual(from, to, line) > StraightNoise * noiseOver(t, from, to) + 0.01)
            return false;
        if (middle < from + FewestJudged / 2 || to < middle + FewestJudged / 2)
            return true;
        const Slope first = slopeOf(t, from, middle);
        const Slope second = slopeOf(t, middle, to);
        return first.fall - second.fall <= HalvesAgree * std::hypot(first.error, second.error);
    }
    const Slope early = steadyFall(t, from, middle);
    const Slope late = steadyFall(t, middle, to);
    if (early.fall <= 2 * std::max(late.fall, flattest))
        return true;
    if (early.fall - late.fall > HalvesAgree * std::hypot(early.error, late.error))
        return false;
    // Up to the last point analysed, where no floor was found, a tail flattens into noise that
    // blurs the medians: there the halves' fitted slopes judge it, each the median of its
    // pieces' lines, which the steps on a fibre bend no more than medians of differences.
    if (to < t.usable)
        return true;
    const Slope first = piecewiseFall(t, from, middle);
    const Slope second = piecewiseFall(t, middle, to);
    return first.fall - second.fall <= HalvesAgree * std::hypot(first.error, second.error);
}

bool tailFollows(const TraceData &t, size_t from, size_t to)
{
    to = std::min(to, t.y.size());
    if (to < from + FewestJudged || fibreFollows(t, from, to))
        return false;
    return !t.floorDb || t.fits.mean(from, from + FewestJudged) >= *t.floorDb + t.floorRiseDb;
}

bool endsInTail(const TraceData &t, const Measured &e, size_t next, double endDb)
{
    const size_t past = std::min(pastEvent(t, e), t.y.size());
    const size_t w = std::max<size_t>(4, t.pulse);
    if (past + w > next || next > t.y.size())
        return false;
    const double drop = e.before.at(double(e.at)) - t.fits.mean(past, past + w);
    return drop >= endDb && tailFollows(t, past, next);
}

// How far the level falls across an event: from the line before it to the points just past
// its dead zone.
double levelAcross(const TraceData &t, const Measured &e)
{
    const size_t past = std::min(pastEvent(t, e), t.y.size());
    const size_t w = std::max<size_t>(4, t.pulse);
    if (past + w > t.y.size())
        return HUGE_VAL;
    return e.before.at(double(past + w / 2)) - t.fits.mean(past, past + w);
}

bool inTail(const TraceData &t, const std::vector<Measured> &events, size_t k)
{
    for (size_t j = 0; j < k; ++j) {
        const Measured &e = events[j];
        // What lies in a reflection's tail stands lower over the points before it than the
        // reflection did: a higher one is a reflection of its own, past fibre.
        const double height = e.topDb - e.before.at(double(e.at));
        const Measured &later = events[k];
        if (later.topDb - later.before.at(double(later.at)) >= height)
            continue;
        if (e.peaked && height >= GhostSourceDb && tailFollows(t, pastEvent(t, e), later.at))
            return true;
    }
    return false;
}

std::vector<bool> ghostsAmong(const TraceData &t, const std::vector<Measured> &events)
{
    const size_t reach = size_t(GhostReachPulses * double(t.pulse)) + 2;
    std::vector<size_t> sources;
    if (t.launchHeightDb && *t.launchHeightDb >= GhostSourceDb && t.launchTop > t.panel)
        sources.push_back(t.launchTop - t.panel);
    std::vector<bool> ghosts(events.size(), false);
    for (size_t i = 0; i < events.size(); ++i) {
        const Measured &e = events[i];
        if (!e.peaked || e.at <= t.panel)
            continue;
        const size_t d = e.at - t.panel;
        if (!e.end && std::abs(levelAcross(t, e)) < GhostLossDb + 2 * t.noiseAt(e.at)) {
            for (const size_t s : sources) {
                for (size_t k = 2; k <= 3 && !ghosts[i]; ++k)
                    ghosts[i] = s > reach && d + reach >= k * s && d <= k * s + reach;
            }
        }
        if (!ghosts[i] && e.topDb - e.before.at(double(e.at)) >= GhostSourceDb)
            sources.push_back(d);
    }
    return ghosts;
}

void takeOutGhosts(const TraceData &t, std::vector<Measured> &events, PastEnd &past)
{
    const std::vector<bool> ghosts = ghostsAmong(t, events);
    std::vector<Measured> kept;
    for (size_t i = 0; i < events.size(); ++i) {
        if (ghosts[i])
            past.ghosts.push_back(events[i].at);
        else
            kept.push_back(events[i]);
    }
    events = kept;
    if (events.empty() || !events.back().end)
        return;
    // Past the end: the receiver's tail down to the floor, and the end's own ghosts in it.
    const Measured &end = events.back();
    const size_t tailFrom = std::min(t.y.size(), end.at + deadZone(t, end.peaked));
    // The tail lasts while the trace stands above the floor (to the last point without one).
    size_t to = tailFrom;
    const size_t window = std::max<size_t>(1, t.floorWindow);
    while (t.floorDb && to + window <= t.y.size()
           && t.fits.mean(to, to + window) >= *t.floorDb + t.floorRiseDb)
        to += std::max<size_t>(1, window / 2);
    past.tailTo = t.floorDb ? std::min(to, t.y.size()) : t.y.size();
    if (end.peaked && end.at > t.panel
        && end.topDb - end.before.at(double(end.at)) >= GhostSourceDb) {
        const size_t d = end.at - t.panel;
        for (size_t k = 2; k <= 3; ++k) {
            const size_t g = t.panel + k * d;
            if (g < t.y.size())
                past.ghosts.push_back(g);
        }
    }
    std::sort(past.ghosts.begin(), past.ghosts.end());
}

void checkEnd(const TraceData &t, std::vector<Measured> &events, Result &result)
{
    if (events.empty() || !events.back().end || !t.floorDb)
        return;
    const Measured &e = events.back();
    const double drop = e.before.at(double(e.at)) - *t.floorDb;
    // The noise of the backscatter before the end, not of the floor the end's block reaches.
    const size_t back = std::max(t.block, 2 * t.pulse);
    const size_t before = e.at > e.beforeFrom + back ? e.at - back : e.beforeFrom;
    const double noise = std::max(t.noiseAt(before), 1e-6);
    const double height = e.peaked ? e.topDb - e.before.at(double(e.at)) : 0;
    if (std::max(drop, height) >= EndSignificance * noise)
        return;
    result.endDoubt = QStringLiteral("o fim cai no ruído: a queda de %1 dB não se distingue do "
                                     "ruído do traço (%2 dB)")
                          .arg(Sor::decimal(drop, 1), Sor::decimal(noise, 2));
    result.warnings << QStringLiteral("fim da fibra não determinado: ") + result.endDoubt;
    events.pop_back();
}

} // namespace Analysis
