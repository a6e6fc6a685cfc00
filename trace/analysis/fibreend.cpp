#include "analysis/tracedata.h"

#include "sor/sortext.h"

#include <cmath>

// Where the fibre ends: at the last reflection a receiver's tail follows, or where the trace
// falls into the floor.
namespace Analysis {

namespace {

// Whether backscatter follows a reflection is judged on stretches of this many points (or half
// a pulse length), level with it within this much or the noise.
constexpr size_t RecoveryPoints = 8;
constexpr double RejoinDb = 0.5;

} // namespace

// Whether the trace past a reflection only falls into the floor: no stretch on the way back at
// the backscatter's level before it (less its loss, at most the end threshold) that is a
// fibre's, as after the last reflection a receiver recovers, however slowly and unevenly.
bool fallsToFloor(const TraceData &t, const Measured &e, double endDb)
{
    if (!t.floorDb || t.floorAt >= t.y.size())
        return false;
    // Stretches long enough that their slope tells a fibre's from a recovery's: three times its
    // error from the noise half the steepest fibre's; all there is where that is less.
    const size_t from = e.at + deadZone(t, true);
    if (from + RecoveryPoints > t.floorAt)
        return true;
    const double sigma = t.noiseAt(from);
    const double steepest = HighestAttenuationDbKm / 1000 * t.spacing / 2;
    size_t stretch = std::max<size_t>(RecoveryPoints, t.pulse / 2);
    while (stretch < t.floorAt - from
           && 3 * sigma * std::sqrt(12 / std::pow(double(stretch), 3)) > steepest)
        stretch += stretch / 2;
    stretch = std::min(stretch, t.floorAt - from);
    for (size_t at = from; at + stretch <= t.floorAt; at += std::max<size_t>(1, stretch / 2)) {
        const double level = t.fits.mean(at, at + stretch);
        const double backscatter = e.before.at(double(at) + double(stretch) / 2);
        const double margin = std::max(KeepSignificance * t.noiseAt(at), RejoinDb);
        if (level > backscatter - endDb - margin && level < backscatter + margin
            && keepsFibreSlope(t, at, stretch) && fibreFollows(t, at, at + stretch))
            return false;
    }
    return true;
}

// A saturated end's receiver recovers for long: past the last reflection, a stretch that is
// no fibre's (falling faster than any, or flattening as no fibre does) down to the floor, or to
// the last point where the trace never reaches it, is that recovery, and the reflection is the
// end. Whatever was seen in the recovery goes with it.
void endAtLastReflection(const TraceData &t,
                         std::vector<Measured> &events,
                         size_t end,
                         double endDb)
{
    if (events.empty())
        return;
    const bool floor = t.floorDb && t.floorAt < t.y.size();
    // The earliest of the reflections from which the trace only falls into the floor; a
    // strong reflection's ghost tells nothing of that.
    const std::vector<bool> ghosts = ghostsAmong(t, events);
    const auto height = [](const Measured &e) { return e.topDb - e.before.at(double(e.at)); };
    // Whether event g lies where event k's light, gone back and forth, returns: its ghost.
    const size_t reach = t.pulse + 2;
    const auto echoOf = [&](const Measured &g, const Measured &k) {
        if (k.at <= t.panel || g.at <= t.panel)
            return false;
        const size_t d = k.at - t.panel;
        const size_t at = g.at - t.panel;
        return (at + reach >= 2 * d && at <= 2 * d + reach)
               || (at + reach >= 3 * d && at <= 3 * d + reach);
    };
    size_t chosen = events.size();
    for (size_t k = events.size(); k-- > 0;) {
        if (!events[k].peaked || ghosts[k] || inTail(t, events, k))
            continue;
        // A tail only falls: a reflection past this one that stands higher above its own
        // backscatter, and is not its ghost, was lit by fibre past this one, which is then no
        // end (a step deeper than the end threshold with a fibre after it, as past a splitter).
        if (chosen < events.size() && height(events[chosen]) >= height(events[k])
            && !echoOf(events[chosen], events[k]))
            break;
        const size_t past = events[k].at + deadZone(t, true);
        if (floor ? !fallsToFloor(t, events[k], endDb) : !tailFollows(t, past, t.usable))
            break;
        chosen = k;
    }
    if (chosen == events.size())
        return;
    events.resize(chosen + 1);
    measure(t, events, end);
    events.back().end = true;
}

void endWhereTheFloorBegins(
    const TraceData &t, std::vector<Measured> &events, size_t end, double endDb, Result &result)
{
    // Without a drop into the floor among the events, the fibre ends where the floor begins.
    const size_t floorAt = t.floorAt < t.usable
                               ? (t.floorAt > t.pulse ? t.floorAt - t.pulse : 0)
                               : (t.usable > t.pulse ? t.usable - t.pulse : t.usable);
    if (t.floorDb && (events.empty() || !events.back().end) && t.usable < t.y.size()
        && (events.empty() || floorAt > events.back().at + t.pulse)) {
        Measured last;
        last.at = floorAt;
        last.end = true;
        events.push_back(last);
        measure(t, events, end);
        events.back().end = true;
        // A fall shallower than the end threshold is the trace fading into the noise, which
        // says nothing of where the fibre ends.
        const double fall = events.back().before.at(double(floorAt)) - *t.floorDb;
        if (fall < endDb) {
            events.pop_back();
            result.endDoubt = QStringLiteral("o traço desce ao ruído com queda de %1 dB, menor "
                                             "que o limiar de fim (%2 dB)")
                                  .arg(Sor::decimal(fall, 1), Sor::decimal(endDb, 1));
            result.warnings << QStringLiteral("fim da fibra não encontrado: ") + result.endDoubt;
        }
    }
}

} // namespace Analysis
