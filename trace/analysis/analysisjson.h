#pragma once

#include "analysis/analysis.h"

#include <QJsonObject>

namespace Analysis {

// An analysis as otdr-sor analyze --json prints it: file, fiber_end_m, total_loss_db, orl_db,
// thresholds, and events (number, distance_m, type, loss_db, reflectance_db, attenuation_db_km);
// what is not known is null.
QJsonObject toJson(const Result &result, const QString &file);

} // namespace Analysis
