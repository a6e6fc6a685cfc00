#include "analysis/tracedata.h"

#include "sor/sortext.h"

#include <cmath>

namespace Analysis {

namespace {

// A level in the trace's dB is 5 log10 of the power.
const double PowerPerDb = std::log(10.0) / 5;
// At most this many measuring passes: each drops what the one before found to be no event.
constexpr int Passes = 4;
// A step this many times the noise shows its transition's own width.
constexpr double ClearStepNoise = 20;
// A section needs this many points to be measured.
constexpr size_t FewestPoints = 4;
// A reflection's mean lift over its pulse is at least this share of its top's height, where
// the pulse spans this many points and more (fewer tell a burst from a pulse no better).
constexpr double LeastLiftShare = 0.1;
constexpr size_t LiftedPulse = 8;

} // namespace

size_t deadZone(const TraceData &t, bool reflective)
{
    return reflective ? 3 * t.pulse + 2 : t.pulse + 1;
}

size_t pastEvent(const TraceData &t, const Measured &e)
{
    const size_t past = e.at + deadZone(t, e.peaked);
    return e.peaked && past < t.usable ? recovered(t, past) : past;
}

size_t backscatterFrom(const TraceData &t)
{
    return std::max(t.panel + t.pulse + 1, t.launchEnd);
}

namespace {

// A reflection begins where the level first rises a tenth of the way, in power, from the
// backscatter to the peak (the first of two in one dead zone, too); a step begins where the
// candidate's windows saw it.
size_t locate(const TraceData &t, const Candidate &c)
{
    if (!c.reflective || c.placed)
        return c.at;
    const size_t from = c.at > t.pulse ? c.at - t.pulse : 0;
    const size_t to = std::min(t.y.size(), c.at + 3 * t.pulse + 2);
    const size_t w = std::max<size_t>(4, t.pulse);
    const Line base = t.fits.line(from > w ? from - w : 0, std::max<size_t>(from, 1));
    size_t peak = from;
    for (size_t i = from; i < to; ++i)
        peak = t.y[i] > t.y[peak] ? i : peak;
    const double top = t.y[peak];
    // A receiver's rise takes a few samples: where the level leaves the backscatter by more
    // than its noise, or a tenth of the way in power, whichever comes first, and stays above
    // up to the top (the trace's own curve far before it is no rise).
    const auto risen = [&](size_t i) {
        const double b = base.at(double(i));
        const double rise = 5 * std::log10(0.9 * std::pow(10, b / 5) + 0.1 * std::pow(10, top / 5));
        const double clear = b + std::max(RiseNoise * t.noiseAt(i), RiseLeastDb);
        return t.y[i] >= std::min(rise, clear);
    };
    size_t begins = peak;
    while (begins > from && risen(begins - 1))
        --begins;
    return begins;
}

// The events in order, none inside another's pulse length: a reflection's dead zone hides
// what lies in it, so the two are one event.
std::vector<Measured> ordered(const TraceData &t, const std::vector<Candidate> &candidates)
{
    std::vector<Measured> events;
    for (const Candidate &c : candidates) {
        Measured e;
        e.at = locate(t, c);
        e.peaked = c.reflective;
        e.seenAsPeak = c.reflective;
        e.loses = c.loses;
        events.push_back(e);
    }
    std::sort(events.begin(), events.end(), [](const Measured &a, const Measured &b) {
        return a.at < b.at;
    });
    std::vector<Measured> merged;
    for (const Measured &e : events) {
        // A rise seen just before a reflection is the reflection's own front, seen from before
        // it; a loss there is an event of its own unless it lies within the pulse.
        const size_t reach
            = e.peaked && !merged.empty() && !merged.back().peaked && !merged.back().loses
                  ? 2 * t.pulse
                  : t.pulse;
        if (!merged.empty() && e.at < merged.back().at + reach) {
            // A reflection names the event and places it where it rises.
            if (e.peaked && !merged.back().peaked)
                merged.back().at = e.at;
            merged.back().peaked = merged.back().peaked || e.peaked;
            merged.back().seenAsPeak = merged.back().seenAsPeak || e.seenAsPeak;
        } else {
            merged.push_back(e);
        }
    }
    return merged;
}

// Where a step begins, from all the points of its transition: in power, the trace goes from
// the line before to the line after over one pulse length, so the points' share of the way
// still to go adds up to the points before the step plus half the pulse.
void placeStep(const TraceData &t, Measured &e, size_t from, size_t to)
{
    if (e.peaked || to <= from + 2 * t.pulse)
        return;
    double share = 0;
    std::vector<double> shares;
    const auto power = [](double db) { return std::exp(db * PowerPerDb); };
    for (size_t i = from; i < to; ++i) {
        const double high = power(e.before.at(double(i)));
        const double low = power(e.after.at(double(i)));
        if (!(std::abs(high - low) > 0))
            return;
        shares.push_back(std::clamp((power(t.y[i]) - low) / (high - low), -0.5, 1.5));
        share += shares.back();
    }
    // A receiver slower than the pulse draws the step out: where the step stands well clear
    // of the noise, the transition's own width (from nine tenths of the way still to go to
    // one tenth) takes the pulse's place.
    double width = double(t.pulse);
    const double x = double(e.at);
    if (std::abs(e.before.at(x) - e.after.at(x)) >= ClearStepNoise * t.noiseAt(e.at)) {
        const size_t centre = size_t(std::clamp(share, 0.0, double(shares.size() - 1)));
        size_t high = centre;
        while (high > 0 && shares[high - 1] < 0.9)
            --high;
        size_t low = centre;
        while (low + 1 < shares.size() && shares[low + 1] > 0.1)
            ++low;
        width = std::max(width, double(low - high) / 0.8);
    }
    const double at = double(from) + share - (width - 1) / 2;
    // Rounded, the place must still lie among the points the sum ran over.
    const size_t placed = at >= double(from) ? size_t(std::lround(at)) : to;
    if (placed < to && placed < t.y.size())
        e.at = placed;
}

void settle(const TraceData &t, std::vector<Measured> &events)
{
    std::stable_sort(events.begin(), events.end(), [](const Measured &a, const Measured &b) {
        return a.at < b.at;
    });
    std::vector<Measured> kept;
    for (const Measured &e : events) {
        if (!kept.empty() && e.at < kept.back().at + t.pulse)
            kept.back().peaked = kept.back().peaked || e.peaked;
        else
            kept.push_back(e);
    }
    events = kept;
}

} // namespace

namespace {

// Where an event's lines are fitted: the backscatter from past the event before it (or the
// front's dead zone) up to it, and from past its own dead zone to the next event (or `end`); a
// stretch too short for a line takes a window beside the event instead.
void placeLines(
    const TraceData &t, const std::vector<Measured> &events, size_t k, size_t end, Measured &e)
{
    const size_t w = std::max<size_t>(4, t.pulse);
    size_t beforeFrom = k == 0 ? backscatterFrom(t) : pastEvent(t, events[k - 1]);
    if (e.at < beforeFrom + 2)
        beforeFrom = e.at > w ? e.at - w : 0;
    size_t afterFrom = pastEvent(t, e);
    size_t afterTo = k + 1 < events.size() ? events[k + 1].at : end;
    if (afterTo < afterFrom + 2) {
        afterFrom = std::min(afterFrom, t.y.size() - 1);
        afterTo = std::min(t.y.size(), afterFrom + w);
    }
    e.before = t.fits.line(beforeFrom, e.at);
    e.after = t.fits.line(afterFrom, afterTo);
    e.beforeFrom = beforeFrom;
    e.afterFrom = afterFrom;
    e.afterTo = afterTo;
}

// The lines' difference at the event, and its error from each line's scatter read that far from
// its points; false where either line has too few points to tell.
bool measureLoss(const TraceData &t, Measured &e)
{
    const double x = double(e.at);
    e.lossDb = e.before.at(x) - e.after.at(x);
    const double spreadBefore
        = t.fits.residual(e.beforeFrom, e.at, e.before)
          * extrapolationSpread(e.at - e.beforeFrom, x - double(e.beforeFrom + e.at - 1) / 2);
    const double spreadAfter = t.fits.residual(e.afterFrom, e.afterTo, e.after)
                               * extrapolationSpread(e.afterTo - e.afterFrom,
                                                     double(e.afterFrom + e.afterTo - 1) / 2 - x);
    const bool measurable
        = e.at - e.beforeFrom >= FewestPoints && e.afterTo - e.afterFrom >= FewestPoints;
    e.lossError = measurable ? std::hypot(spreadBefore, spreadAfter) : HUGE_VAL;
    return measurable;
}

// Lines clear of the transition, wherever in it the step was first seen: a line that runs into
// it bends towards it and holds the place where it is.
void placeClearOfTransition(const TraceData &t, Measured &e)
{
    const size_t span = 2 * t.pulse + 2;
    const size_t guard = t.pulse;
    Measured clear = e;
    if (e.at >= e.beforeFrom + guard + FewestPoints)
        clear.before = t.fits.line(e.beforeFrom, e.at - guard);
    if (e.afterFrom + guard + FewestPoints <= e.afterTo)
        clear.after = t.fits.line(e.afterFrom + guard, e.afterTo);
    // A fibre end falls into the floor, which is no line through noise and "no data".
    if (e.end && t.floorDb)
        clear.after = {0, *t.floorDb};
    placeStep(t,
              clear,
              std::max(e.beforeFrom, e.at > span ? e.at - span : 0),
              std::min(e.afterTo, e.at + span + t.pulse));
    e.at = clear.at;
}

// How far the event stands above the backscatter: its top within the pulse, and the mean lift
// of the pulse's points. A reflection stands above the backscatter on both sides; a gain only
// above the side before it. Past a fibre's end there is no backscatter but a receiver
// recovering, or the floor, whose line says nothing of the level at the event; nor is a line
// that would have the fibre gain more than any event can. The backscatter is read at x, where
// the loss was measured.
void measureHeight(const TraceData &t, Measured &e, double x)
{
    const size_t w = std::max<size_t>(4, t.pulse);
    double top = t.y[e.at];
    for (size_t i = e.at; i < std::min(t.y.size(), e.at + t.pulse + 2); ++i)
        top = std::max(top, t.y[i]);
    e.topDb = top;
    const bool backscatterAfter
        = e.afterTo >= e.afterFrom + FewestPoints
          && keepsFibreSlope(t, e.afterFrom, e.afterTo - e.afterFrom)
          && !(t.floorDb && t.fits.mean(e.afterFrom, e.afterTo) < *t.floorDb + t.floorRiseDb)
          && e.after.at(x) <= e.before.at(x) + HighestEventGainDb;
    const auto base = [&](double at) {
        return backscatterAfter ? std::max(e.before.at(at), e.after.at(at)) : e.before.at(at);
    };
    e.heightDb = top - base(x);
    // Where the noise is a good part of the height, the highest point mostly tells of the
    // noise: the mean lift of the pulse's points does not.
    const size_t stop = std::min(t.y.size(), e.at + t.pulse);
    e.liftDb = t.fits.mean(e.at, stop) - base(x + double(stop - e.at - 1) / 2);
    e.liftError = t.noiseAt(e.at) * std::sqrt(1.0 / double(stop - e.at) + 1.0 / double(w));
    if (e.heightDb < KeepSignificance * t.noiseAt(e.at) && e.liftDb > 0)
        e.heightDb = e.liftDb;
    // Into the floor, the pulse's points past the reflection say nothing of it.
    if (!backscatterAfter) {
        e.liftDb = e.heightDb;
        e.liftError = t.noiseAt(e.at);
    }
}

} // namespace

// The four-point least-squares loss: a line through the backscatter between the event before
// and this one, another between this one and the next, their difference at the event.
void measure(const TraceData &t, std::vector<Measured> &events, size_t end, bool refine)
{
    for (size_t k = 0; k < events.size(); ++k) {
        Measured &e = events[k];
        placeLines(t, events, k, end, e);
        const double x = double(e.at);
        if (measureLoss(t, e) && refine)
            placeClearOfTransition(t, e);
        measureHeight(t, e, x);
    }
}

double reflectance(const TraceData &t, double heightDb)
{
    return t.backscatterDb + 10 * std::log10(double(t.pulseNs))
           + 10 * std::log10(std::pow(10, heightDb / 5) - 1);
}

namespace {

// Keeps what is an event by the thresholds, marks the fibre's end and drops all past it;
// true when nothing was dropped.
bool judge(const TraceData &t, std::vector<Measured> &events, const Thresholds &thresholds)
{
    std::vector<Measured> kept;
    bool stable = true;
    for (size_t k = 0; k < events.size(); ++k) {
        Measured &e = events[k];
        const size_t next = k + 1 < events.size() ? events[k + 1].at : t.usable;
        const double sigma = t.noiseAt(e.at);
        // A reflection lifts its whole pulse: a top alone, a point or two of the noise's
        // bursts beside a step, is none however high (where the pulse spans enough points to
        // tell; a peak the detector saw was judged so there).
        const bool wholePulse
            = t.pulse < LiftedPulse || e.seenAsPeak || e.liftDb >= e.heightDb * LeastLiftShare;
        const bool peaked = e.heightDb > 0
                            && ((e.heightDb > KeepSignificance * sigma && wholePulse)
                                || e.liftDb > KeepSignificance * e.liftError);
        const bool peak = peaked && reflectance(t, e.heightDb) >= thresholds.reflectanceDb;
        const bool step = std::abs(e.lossDb) >= thresholds.lossDb
                          && std::abs(e.lossDb) >= KeepSignificance * e.lossError;
        // The fibre ends where the trace drops into the floor and stays there (a step with
        // backscatter past it, however deep, is an event), or where only the receiver's
        // recovery follows; a fall without a reflection must be as deep as the end threshold.
        const size_t past = std::min(t.y.size(), e.at + deadZone(t, e.peaked));
        const size_t reach = std::min(t.y.size(), past + t.floorWindow);
        const bool intoFloor
            = t.floorDb && reach > past && t.fits.mean(past, reach) < *t.floorDb + t.floorRiseDb;
        const bool recovering = &e == &events.back()
                                && (peaked ? fallsToFloor(t, e, thresholds.endDb)
                                           : -e.after.slope / t.spacing * 1000 > SteepestFibreDbKm);
        const bool deep = t.floorDb && e.before.at(double(e.at)) - *t.floorDb >= thresholds.endDb;
        stable = stable && e.peaked == peaked;
        e.peaked = peaked;
        e.reflective = peak;
        e.end = (t.floorDb && (intoFloor || recovering) && (peaked || deep))
                || (!peaked && endsInTail(t, e, next, thresholds.endDb));
        if (peak || step || e.end)
            kept.push_back(e);
        else
            stable = false;
        if (e.end)
            break;
    }
    stable = stable && kept.size() == events.size();
    events = kept;
    return stable;
}

} // namespace

void measureEvents(const TraceData &t,
                   std::vector<Candidate> candidates,
                   const Thresholds &thresholds,
                   Result &result)
{
    const size_t end = std::max(t.usable, t.pulse + 4);
    if (end > t.y.size())
        return;
    std::vector<Measured> events = ordered(t, candidates);
    for (int pass = 0; pass < Passes; ++pass) {
        measure(t, events, end, true);
        // A step placed from its transition may have moved past a neighbour: order again,
        // and what now shares a pulse length is one event.
        const size_t before = events.size();
        settle(t, events);
        if (judge(t, events, thresholds) && events.size() == before)
            break;
    }
    // The steps placed, their losses measured again from there.
    measure(t, events, end);
    judge(t, events, thresholds);
    endAtLastReflection(t, events, end, thresholds.endDb);
    endWhereTheFloorBegins(t, events, end, thresholds.endDb, result);
    // With a user offset the span starts there: what lies in the launch cable is not the span's.
    if (t.spanStart > 0) {
        const size_t from = t.spanStart > t.pulse ? t.spanStart - t.pulse : 0;
        events.erase(std::remove_if(events.begin(),
                                    events.end(),
                                    [from](const Measured &e) { return e.at < from && !e.end; }),
                     events.end());
    }
    PastEnd past;
    takeOutGhosts(t, events, past);
    checkEnd(t, events, result);
    report(t, events, past, end, result);
}

} // namespace Analysis
