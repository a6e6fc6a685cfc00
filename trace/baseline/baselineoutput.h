#pragma once

#include "baseline/baseline.h"

#include <QJsonObject>

// A comparison as a table in Portuguese and as JSON.
namespace Baseline {

QString table(const QString &baseName, const QString &nowName, const Comparison &c);
QJsonObject toJson(const QString &baseName, const QString &nowName, const Comparison &c);

} // namespace Baseline
