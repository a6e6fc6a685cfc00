#pragma once

#include "sor/sortrace.h"

namespace Sor {

// Whether two traces hold the same points, each within withinDb of the other's ("no data" only
// against "no data"): one measurement saved twice, not two that merely look alike.
bool samePoints(const Trace &a, const Trace &b, double withinDb);

} // namespace Sor
