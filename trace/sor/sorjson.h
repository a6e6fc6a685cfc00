#pragma once

#include <QJsonValue>
#include <QString>

#include <optional>

// What every command's JSON says for a value that may be missing: null, never 0 or "".
namespace Sor {

// The number, else null.
QJsonValue jsonNumber(const std::optional<double> &value);
// The text, else (empty) null.
QJsonValue jsonText(const QString &text);

} // namespace Sor
