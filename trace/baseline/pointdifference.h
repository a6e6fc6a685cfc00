#pragma once

#include "baseline/baseline.h"

// The two traces' points compared: the now trace laid on the baseline's axis, past both
// launches and up to where the shorter fibre ends.
namespace Baseline {

// Steps are measured over this many pulse lengths either side, and this many points at least.
constexpr double StepPulses = 4;
constexpr int StepPoints = 20;
// A step in the difference must stand this many of its own noise's deviations above it.
constexpr double StepDeviations = 5;

// Where and how finely the points are compared.
struct Scope
{
    double thresholdDb = 0;
    double toleranceM = 0;
    double spacingM = 0;    // the baseline's, a millimetre at least
    int window = 0;         // points a step is measured over, either side
    double reachM = 0;      // where the shorter fibre ends, on the baseline's axis
    double settledM = 0;    // past both launches
    double firstEventM = 0; // the baseline's first event past the launches
};

// Where a trace's launch has settled onto its backscatter.
double launchEndM(const Sor::Trace &t, double firstEventM, double thresholdDb, double windowM);

// The first event past the launch, or a share of the reach where there is none.
double firstEventM(const QVector<double> &events, double toleranceM, double reach);

// The events' shift where it lays the points closer, else none.
double shiftForPoints(const Sor::Trace &base, const Sor::Trace &now, const Scope &s, double shiftM);

// The now trace's levels, shifted by shiftM, less the baseline's at each of its points, met
// on the backscatter before the first event.
Difference
pointDifference(const Sor::Trace &base, const Sor::Trace &now, const Scope &s, double shiftM);

} // namespace Baseline
