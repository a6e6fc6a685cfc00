#include "platform/hardwareid.h"

#include <algorithm>
#include <cctype>

namespace {

// The four hexadecimal digits after a "VID_" or "PID_" field that starts the id's second
// part or follows a separator, so that "XVID_1234" or a serial number never counts.
bool field(const QString &id, const QString &name, quint16 &value)
{
    const int slash = id.indexOf(QLatin1Char('\\'));
    if (slash < 0)
        return false;
    const QString rest = id.mid(slash + 1);
    for (int at = rest.indexOf(name, 0, Qt::CaseInsensitive); at >= 0;
         at = rest.indexOf(name, at + 1, Qt::CaseInsensitive)) {
        const bool starts
            = at == 0 || rest.at(at - 1) == QLatin1Char('&') || rest.at(at - 1) == QLatin1Char('+');
        const QString digits = rest.mid(at + name.size(), 4);
        const int end = at + name.size() + 4;
        const bool ends = end == rest.size() || rest.at(end) == QLatin1Char('&')
                          || rest.at(end) == QLatin1Char('+') || rest.at(end) == QLatin1Char('\\');
        const bool hex
            = digits.size() == 4 && std::all_of(digits.cbegin(), digits.cend(), [](QChar c) {
                  return std::isxdigit(static_cast<unsigned char>(c.toLatin1()))
                         && c.unicode() < 128;
              });
        if (starts && ends && hex) {
            value = quint16(digits.toUInt(nullptr, 16));
            return true;
        }
    }
    return false;
}

} // namespace

HardwareId parseHardwareId(const QString &id)
{
    HardwareId result;
    result.hasVendor = field(id, QStringLiteral("VID_"), result.vendor);
    result.hasProduct = field(id, QStringLiteral("PID_"), result.product);
    return result;
}
