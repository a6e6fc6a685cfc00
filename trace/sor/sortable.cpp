#include "sor/sortable.h"

#include "sor/sorjson.h"
#include "sor/sortext.h"

namespace Sor {

TableCell TableCell::ofText(const QString &text)
{
    TableCell c;
    c.text = text;
    return c;
}

TableCell TableCell::ofOptionalText(const QString &text)
{
    TableCell c = ofText(text);
    c.nullWhenEmpty = true;
    return c;
}

TableCell TableCell::ofNumber(const std::optional<double> &number, int decimals)
{
    TableCell c;
    c.kind = Kind::Number;
    c.number = number;
    c.decimals = decimals;
    return c;
}

TableCell TableCell::ofWhole(const std::optional<int> &number)
{
    return ofNumber(number ? std::optional<double>(*number) : std::nullopt, 0);
}

QString TableCell::csv(const CsvStyle &style) const
{
    switch (kind) {
    case Kind::Text:
        return text;
    case Kind::Number:
        return csvNumber(number, decimals, style);
    }
    return QString();
}

QJsonValue TableCell::json() const
{
    switch (kind) {
    case Kind::Text:
        return nullWhenEmpty ? jsonText(text) : QJsonValue(text);
    case Kind::Number:
        return jsonNumber(number);
    }
    return QJsonValue();
}

QString TableCell::shown(const QString &tableNone) const
{
    switch (kind) {
    case Kind::Text:
        return text;
    case Kind::Number:
        return optionalDecimal(number, decimals, none.value_or(tableNone));
    }
    return QString();
}

QString textField(const QString &text, int width)
{
    return QStringLiteral("%1").arg(text, width);
}

} // namespace Sor
