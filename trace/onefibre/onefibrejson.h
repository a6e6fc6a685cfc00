#pragma once

#include "onefibre/onefibre.h"

#include <QJsonObject>

namespace OneFibre {

// The agreement as otdr-sor analyze --json prints it beside the shots: one_story, tolerance_m,
// ends (file, fiber_end_m), ends_agree, end_spread_m, events (distance_m, reflective,
// largest_loss_db, agrees, shots: file, seen as found/missed/unresolved, loss_db, why) and
// disagreements.
QJsonObject toJson(const Agreement &agreement, const std::vector<Shot> &shots);

} // namespace OneFibre
