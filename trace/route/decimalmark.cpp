#include "route/decimalmark.h"

#include <QRegularExpression>

#include <cmath>

namespace Route {

QString markText(Mark mark)
{
    return mark == Mark::Comma ? QStringLiteral("vírgula decimal")
                               : QStringLiteral("ponto decimal");
}

Written writtenAs(const QString &text)
{
    static const QRegularExpression grouped(QStringLiteral("^[+-]?\\d{1,3}([.,]\\d{3})+$"));
    const QString t = text.trimmed();
    const int comma = int(t.lastIndexOf(QLatin1Char(',')));
    const int point = int(t.lastIndexOf(QLatin1Char('.')));
    if (comma < 0 && point < 0)
        return {};
    if (comma >= 0 && point >= 0)
        return {comma > point ? Mark::Comma : Mark::Point, false};
    const Mark mark = comma >= 0 ? Mark::Comma : Mark::Point;
    const Mark other = comma >= 0 ? Mark::Point : Mark::Comma;
    if (grouped.match(t).hasMatch()) {
        // Several groups of three ("1.234.567"): thousands, the decimal mark the other one. One
        // group after a single mark: either way.
        const bool several = t.count(comma >= 0 ? QLatin1Char(',') : QLatin1Char('.')) > 1;
        return several ? Written{other, false} : Written{mark, true};
    }
    return {mark, false};
}

std::optional<double> number(const QString &text, Mark mark, bool &ok)
{
    ok = true;
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    static const QRegularExpression shape(
        QStringLiteral("^[+-]?(\\d{1,3}([.,]\\d{3})*|\\d*)([.,]\\d+)?$"));
    if (!shape.match(t).hasMatch() || t == QLatin1String("+") || t == QLatin1String("-")) {
        ok = false;
        return std::nullopt;
    }
    const QChar decimal = mark == Mark::Point ? QLatin1Char('.') : QLatin1Char(',');
    const QChar group = mark == Mark::Point ? QLatin1Char(',') : QLatin1Char('.');
    // The grouping mark only before the decimal one.
    const int decimalAt = int(t.lastIndexOf(decimal));
    if (t.lastIndexOf(group) > decimalAt && decimalAt >= 0) {
        ok = false;
        return std::nullopt;
    }
    t.remove(group);
    t.replace(decimal, QLatin1Char('.'));
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
        ok = false;
        return std::nullopt;
    }
    return v;
}

} // namespace Route
