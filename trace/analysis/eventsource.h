#pragma once

#include "analysis/analysis.h"
#include "sor/sortrace.h"

#include <optional>

// Where a tool takes a trace's events from, one rule for all: the file's own event table where
// it stores events, else the analysis of its points (a version 1 file often has no table at
// all, and some instruments store none).
namespace Analysis {

// Whether a file stores events of its own: a table holding at least one event that is neither
// the fibre's end nor a marker past the measured range.
bool storesEvents(const Sor::Trace &trace);

// A trace that stores no events gets the analysis' in its event table (with the file's own
// thresholds, as its instrument used them), so that every tool reads them where it reads a
// file's; the analysis is returned. Nothing changes, and none is returned, where the file
// stores events or the trace has no points.
std::optional<Result> supplyEvents(Sor::Trace &trace);

} // namespace Analysis
