#pragma once

#include "baseline/pointdifference.h"

#include "acceptance/verdict.h"

#include <vector>

// Steps measured on the difference of the points: the loss a place adds since the baseline,
// the noise there and what a change must reach to stand out of it.
namespace Baseline {

class StepMeter
{
public:
    StepMeter(const Difference &d, const Scope &s);

    // The difference's mean over points [from, to), "no data" left out; NaN where it holds
    // half a window of points or fewer.
    double mean(size_t from, size_t to) const;
    // The deviation of a step measured over a window either side of x.
    double noiseAt(double x) const;
    // What a change must reach at x to be one: the threshold, and five deviations of the noise.
    double least(double x) const;
    // An event's change stands where the points show at least half of what it must reach.
    bool shown(double x) const;
    // An event only one trace has is a change where the points show its loss, or its
    // reflection as a spike where the difference is quiet enough to show one.
    bool stands(const Acceptance::JudgedEvent &e, double at) const;
    // The step at each point between the settled launches and the reach, NaN elsewhere.
    std::vector<double> stepsAlong() const;

private:
    double stepAt(double x) const;
    bool spikeShown(double x) const;
    long pointAt(double x) const;

    const Difference &d;
    Scope s;
    size_t n = 0;
    size_t block = 0;
    std::vector<double> blockNoise;
    std::vector<double> sum;
    std::vector<int> count;
};

} // namespace Baseline
