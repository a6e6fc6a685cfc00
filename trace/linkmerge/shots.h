#pragma once

#include "linkmerge/linkmerge.h"

namespace LinkMerge {

// Whether a shot's points give events at a place: past its front dead zone, short of where it
// stops reaching (by a resolution, where it fades rather than ends).
bool givesEventsAt(const Shot &shot, double distanceM);

} // namespace LinkMerge
