#pragma once

#include "sor/sortrace.h"

#include <optional>

// What markers A and B read on a trace: each one's distance and level, and between them the
// distance, the level difference, the loss per km and the least-squares fit.
namespace TracePlot {

struct Readout
{
    double aM = 0;
    double bM = 0;
    double aDb = 0; // NaN where the nearest point has no data, or the marker is off the trace
    double bDb = 0;
    bool aOnTrace = true; // between the trace's first and last points
    bool bOnTrace = true;
    double distanceM = 0;             // B - A
    double deltaDb = 0;               // level at B - level at A
    double dbPerKm = 0;               // loss per km from A to B: -deltaDb / km
    std::optional<double> lsaLossDb;  // of the least-squares line from A to B
    std::optional<double> lsaDbPerKm; // its slope, as a loss per km
};

// The level of the point nearest to a distance; NaN for none or "no data".
double levelAt(const Sor::Trace &trace, double metres);
// Whether a distance lies between a trace's first and last points (half a sample either way).
bool onTrace(const Sor::Trace &trace, double metres);
// The distance of the point nearest to a distance (markers snap to points).
double snap(const Sor::Trace &trace, double metres);
// What the markers read; a marker off the trace reads nothing, and nothing between it and the
// other is measured.
Readout readout(const Sor::Trace &trace, double aM, double bM);

} // namespace TracePlot
