#pragma once

#include "baseline/baseline.h"

// Each kind of change with its line in Portuguese.
namespace Baseline {

Change lossChanged(const Acceptance::JudgedEvent &base, const Acceptance::JudgedEvent &now);
Change reflectanceChanged(const Acceptance::JudgedEvent &base, const Acceptance::JudgedEvent &now);
// The section before the event: its attenuation, and the loss that adds over it.
Change attenuationChanged(const Acceptance::JudgedEvent &base, const Acceptance::JudgedEvent &now);
Change eventNew(const Acceptance::JudgedEvent &now, double atM);
Change eventGone(const Acceptance::JudgedEvent &base);
Change endMoved(double beforeM, double afterM);
// A step the points show and no event says: the loss it adds (a gain where negative).
Change pointsStep(double atM, double addedDb);

} // namespace Baseline
