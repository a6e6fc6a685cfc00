#pragma once

#include "acceptance/direction.h"
#include "acceptance/twoway.h"

#include <QJsonObject>

// The two comparisons as JSON, for scripts: distances in metres, losses in dB, absent values null.
namespace Acceptance {

QJsonObject toJson(const TwoWay &twoWay, const QString &fileA, const QString &fileB);
QJsonObject
toJson(const Wavelengths &wavelengths, const QString &shorterFile, const QString &longerFile);
// What decided that two files are a fibre's two ends: "ends" (two, same, unknown),
// "decided_by", "direct_fit_m", "mirrored_fit_m", "matched", "length_scale", "warning".
QJsonObject toJson(const EndsEvidence &evidence);

} // namespace Acceptance
