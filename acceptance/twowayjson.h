#pragma once

#include "acceptance/twoway.h"

#include <QJsonObject>

// The two comparisons as JSON, for scripts: distances in metres, losses in dB, absent values null.
namespace Acceptance {

QJsonObject toJson(const TwoWay &twoWay, const QString &fileA, const QString &fileB);
QJsonObject
toJson(const Wavelengths &wavelengths, const QString &shorterFile, const QString &longerFile);

} // namespace Acceptance
