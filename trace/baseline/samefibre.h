#pragma once

#include "acceptance/verdict.h"
#include "sor/sortrace.h"

#include <QString>

// Whether two traces show one fibre from one end: only then can what differs between them be
// what changed on it.
namespace Baseline {

// What the two files say of themselves that no comparison can get over: two fibres, or the
// two ends of one. Empty when they may be one fibre seen from one end.
QString labelProblem(const Sor::Trace &base, const Sor::Trace &now);

// Whether the traces show one fibre from one end: their events laid directly, not mirrored
// (the traces decide before the places do), and lengths one fibre can have had; the reason
// when they do not.
QString fibreProblem(const Sor::Trace &base,
                     const Acceptance::Link &lb,
                     const Sor::Trace &now,
                     const Acceptance::Link &ln,
                     double toleranceM);

} // namespace Baseline
