#pragma once

#include "linkmerge/linkmerge.h"

// The merged link judged: its bends, as `bends` finds them between its bands, and its verdicts,
// band by band against the limits.
namespace LinkMerge {

// Each event where a longer band loses more than the shortest by the link's bend threshold.
void markBends(Link &link);
// The verdicts: each band's events and totals against the limits (an event's the worst of its
// bands'), the launch against the reflectance limit, the link's the worst of all.
void judgeLink(Link &link, const Acceptance::Limits &limits);

} // namespace LinkMerge
