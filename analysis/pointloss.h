#pragma once

#include "sor/sortrace.h"

#include <optional>

// A loss measured where a trace stores no event: the four-point least-squares loss at a given
// place, from the backscatter on either side of it, as an instrument's software measures an
// event another measurement found.
namespace Analysis {

// The loss (dB) at a distance on the trace's axis: a line through the backscatter before it and
// one through the backscatter a pulse's smear after it, their difference there. Empty where the
// points cannot give it: too near the trace's ends, "no data" around it, another event or a dead
// zone in either stretch, or an error of more than 0.05 dB.
std::optional<double> lossAt(const Sor::Trace &trace, double distanceM);

// An event's loss as the tools show it: the stored one, or for a marker that stores none its
// loss measured here on the points (empty where they cannot give it).
struct EventLoss
{
    std::optional<double> db;
    bool measuredHere = false;
};
EventLoss eventLoss(const Sor::Trace &trace, const Sor::Event &event);

} // namespace Analysis
