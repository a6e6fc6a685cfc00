#pragma once

#include "sor/sortrace.h"

#include <optional>

// Whether a file's own events and its points lie on one axis: the shift of the whole event
// table that lays its reflective events on the trace's reflections.
namespace Analysis {

// The shift (metres, added to every event's distance) within ±maxShiftM, in steps of one sample,
// that puts the most reflection onto the file's reflective events; the smallest such shift when
// several do as well. Empty when the file stores no reflective event inside the trace or its
// points cannot tell (no levels, no spacing).
std::optional<double> eventAxisShiftM(const Sor::Trace &trace, double maxShiftM);

} // namespace Analysis
