#pragma once

#include "analysis/analysis.h"
#include "analysis/linefit.h"

#include <algorithm>
#include <optional>
#include <vector>

// The analysis' private parts: what its steps share, and the steps.
namespace Analysis {

struct TraceData
{
    std::vector<double> y;
    std::vector<bool> noData; // the instrument stored no level: below its floor
    Fits fits;
    double spacing = 1;
    double origin = 0;    // the first point's distance
    size_t spanStart = 0; // the point where the span starts: past a launch cable, if any
    size_t pulse = 1;     // the pulse's length, in points (at least 1)
    size_t usable = 0;    // the points before the noise floor, and enough past it to see the drop
    size_t floorAt = SIZE_MAX; // where the backscatter has sunk into the floor
    // The first point that carries light: the front panel, past the points at the floor that
    // some instruments store before it.
    size_t panel = 0;
    // The front connector's reflection the trace starts on, its height; and where the launch's
    // dead zone ends (0: none).
    std::optional<double> launchHeightDb;
    size_t launchTop = 0;
    size_t launchEnd = 0;
    // A reflection that rises inside the launch's dead zone (a long pulse's, a connector a few
    // hundred metres on): where it begins (0: none). The launch ends before it.
    size_t launchReflection = 0;
    std::optional<double> floorDb;
    double floorRiseDb = 0;  // how far above the floor's level a level still lies in it
    size_t floorWindow = 16; // over this many points
    size_t block = 64;
    std::vector<double> noise; // the level's noise (dB), per block of points
    std::vector<double> slope; // the backscatter's change from point to point, per block
    std::vector<double> slopeError;
    int pulseNs = 1;
    double groupIndex = Sor::DefaultGroupIndex;
    double backscatterDb = -81;

    double noiseAt(size_t i) const
    {
        return noise.empty() ? 0 : noise[std::min(i / block, noise.size() - 1)];
    }
    double slopeAt(size_t i) const
    {
        return slope.empty() ? 0 : slope[std::min(i / block, slope.size() - 1)];
    }
    double slopeErrorAt(size_t i) const
    {
        return slopeError.empty() ? 0 : slopeError[std::min(i / block, slopeError.size() - 1)];
    }
};

// A place where the trace steps or reflects, before it is measured.
struct Candidate
{
    size_t at = 0;
    bool reflective = false;
    bool loses = true;   // the step it was seen by loses (else gains, or a reflection's front)
    bool placed = false; // where it begins is already known
};

// An event as it is measured: where it begins, what it is, and the lines of the backscatter on
// either side of it.
struct Measured
{
    size_t at = 0;
    bool peaked = false;     // stands above the backscatter on both sides
    bool seenAsPeak = false; // the detector saw a reflection there
    bool reflective = false; // and reflects at least as much as the threshold asks
    bool end = false;
    bool loses = true; // seen as a loss, not a gain
    double lossDb = 0;
    double lossError = 0;
    double heightDb = 0;
    double topDb = 0; // the highest level within the pulse after the event
    // The mean lift of the pulse's points above the backscatter, and its error.
    double liftDb = 0;
    double liftError = 0;
    Line before;
    Line after;
    // Where the lines were fitted: [beforeFrom, at) and [afterFrom, afterTo).
    size_t beforeFrom = 0;
    size_t afterFrom = 0;
    size_t afterTo = 0;
};

// What follows the fibre's end, and the ghosts taken out of the events: where each lies.
struct PastEnd
{
    size_t tailTo = 0; // the receiver's tail runs from the end's dead zone to here
    std::vector<size_t> ghosts;
};

// No fibre loses this much (dB/km): a section that falls faster is a receiver recovering from a
// reflection, however long a saturated one takes.
constexpr double SteepestFibreDbKm = 5.0;
// A step statistic this large (dB) is an event's, never the backscatter's noise.
constexpr double StrongStepDb = 1.0;
// How many noise deviations a step or a peak must stand above to be taken for a candidate.
constexpr double CandidateSignificance = 5.0;
// How many deviations of its own error a measured loss or peak must exceed to be kept.
constexpr double KeepSignificance = 4.0;
// A reflection has begun where the level stands this many deviations, and at least this much,
// above the backscatter before it.
constexpr double RiseNoise = 4.0;
constexpr double RiseLeastDb = 0.02;

// How fast the points [from, to) fall, per point, by the line through them, and the error of
// its slope from their scatter about it.
struct Slope
{
    double fall = 0;
    double error = 0;
};

// analysis.cpp: what the analysis takes of a read trace (its first pulse width's points from
// the front panel on); false when it has none.
bool inputOf(const Sor::Trace &trace, Input &input);
// The levels to analyse, "no data" marked; false when nothing can be analysed.
bool prepare(const Input &input, TraceData &t);
// backscatter.cpp
// The trace's lowest level stored at many points is where the instrument cut its floor: "no
// data" as much as the levels a file marks so.
void markClipped(TraceData &t);
void findFloor(TraceData &t);
void findLaunch(TraceData &t);
Slope slopeOf(const TraceData &t, size_t from, size_t to);
// Where a receiver has recovered from a reflection: from a point past its top, on while the
// trace falls faster than any fibre.
size_t recovered(const TraceData &t, size_t from);
// Whether the points [from, from + count) fall faster than any fibre, beyond their noise.
bool steeperThanFibre(const TraceData &t, size_t from, size_t count);
// Whether they keep to a fibre's slope (at most the highest attenuation a fibre has, or a
// rise), beyond their noise: backscatter.
bool keepsFibreSlope(const TraceData &t, size_t from, size_t count);
// noise.cpp: the levels' noise and the backscatter's slope, block by block; then the noise at
// the detector's own scale; then made to grow along the fibre.
void estimateNoise(TraceData &t);
void scaleNoise(TraceData &t);
void steadyNoise(TraceData &t);
// detect.cpp: where the trace steps or reflects.
std::vector<Candidate> findCandidates(const TraceData &t, const Thresholds &thresholds);
// measure.cpp
// Past an event, the points that still carry it: the pulse, and after a reflection the
// receiver's recovery too.
size_t deadZone(const TraceData &t, bool reflective);
// Where the backscatter is seen again past an event: its dead zone, and after a reflection the
// receiver's recovery, however long this receiver takes.
size_t pastEvent(const TraceData &t, const Measured &e);
// Where the backscatter is first seen: past the front connector's dead zone.
size_t backscatterFrom(const TraceData &t);
double reflectance(const TraceData &t, double heightDb);
// The four-point least-squares loss of each event, its lines and its reflection's height.
void measure(const TraceData &t, std::vector<Measured> &events, size_t end, bool refine = false);
void measureEvents(const TraceData &t,
                   std::vector<Candidate> candidates,
                   const Thresholds &thresholds,
                   Result &result);
// fibreend.cpp: where the fibre ends. Whether the trace past a reflection only falls into the
// floor, with no stretch on the way back that is a fibre's: a receiver recovering.
bool fallsToFloor(const TraceData &t, const Measured &e, double endDb);
// A saturated end's receiver recovers for long: the last
// reflection from which the trace only falls into the floor is the end, and what was seen in
// the recovery goes with it.
void endAtLastReflection(const TraceData &t,
                         std::vector<Measured> &events,
                         size_t end,
                         double endDb);
// Without a drop into the floor among the events, the fibre ends where the floor begins, unless
// the fall there is shallower than the end threshold: then no end, with the doubt said.
void endWhereTheFloorBegins(
    const TraceData &t, std::vector<Measured> &events, size_t end, double endDb, Result &result);
// story.cpp: the trace as a whole. Whether the points [from, to) are a fibre's backscatter: a
// slope a fibre can have, above the floor, straight within their noise.
bool fibreFollows(const TraceData &t, size_t from, size_t to);
// Whether they are a receiver's tail: no fibre, falling or flattening into the floor.
bool tailFollows(const TraceData &t, size_t from, size_t to);
// Whether the trace falls at an event by at least the end threshold and no fibre follows up to
// `next` (the next event, or the last point analysed): a receiver's tail, the fibre's end.
bool endsInTail(const TraceData &t, const Measured &e, size_t next, double endDb);
// Whether event k lies in the tail of a strong reflection before it: no fibre between them.
bool inTail(const TraceData &t, const std::vector<Measured> &events, size_t k);
// Which of the events are ghosts: reflections at twice or three times a strong one's distance
// (the front connector's too), with no loss across them.
std::vector<bool> ghostsAmong(const TraceData &t, const std::vector<Measured> &events);
// Reflections at a multiple of a strong one's distance, with no loss across them, are its
// ghosts: taken out of the events, where they lie kept.
void takeOutGhosts(const TraceData &t, std::vector<Measured> &events, PastEnd &past);
// The story's checks on the end: none where the trace does not tell, with the reason.
void checkEnd(const TraceData &t, std::vector<Measured> &events, Result &result);
// results.cpp: what the result reports of the events, the sections and the totals.
void report(const TraceData &t,
            const std::vector<Measured> &events,
            const PastEnd &past,
            size_t end,
            Result &result);

} // namespace Analysis
