#include "sor/sorjson.h"

namespace Sor {

QJsonValue jsonNumber(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue jsonText(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace Sor
