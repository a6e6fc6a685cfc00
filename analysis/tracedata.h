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
    // The front connector's reflection the trace starts on, its height; and where the launch's
    // dead zone ends (0: none).
    std::optional<double> launchHeightDb;
    size_t launchTop = 0;
    size_t launchEnd = 0;
    std::optional<double> floorDb;
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
};

// detect.cpp
void estimateNoise(TraceData &t);
void findFloor(TraceData &t, double endDb);
void scaleNoise(TraceData &t);
void findLaunch(TraceData &t);
std::vector<Candidate> findCandidates(const TraceData &t, const Thresholds &thresholds);
// measure.cpp
void measureEvents(const TraceData &t,
                   std::vector<Candidate> candidates,
                   const Thresholds &thresholds,
                   Result &result);

} // namespace Analysis
