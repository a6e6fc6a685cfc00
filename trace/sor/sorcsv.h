#pragma once

#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

// The CSV every command writes, one way: how its fields are apart, how its numbers are written,
// which fields are quoted.
namespace Sor {

// A comma between fields and a decimal point; or, for a user whose locale writes decimals with a
// comma, a semicolon and a decimal comma, as a spreadsheet in Brazil reads a CSV.
struct CsvStyle
{
    QChar separator = QLatin1Char(',');
    QChar decimalPoint = QLatin1Char('.');

    static CsvStyle of(const QLocale &locale);
    // The style of the user's own locale (LC_ALL, LC_NUMERIC, LANG), not the program's.
    static CsvStyle ofUser();
};

// A line of fields, each quoted where it holds the separator, a semicolon, a quote or a line
// break (its quotes doubled), without the line's end.
QString csvRow(const QStringList &fields, const CsvStyle &style);
// A number with these decimals in the style's way; empty for none (or not a number).
QString csvNumber(const std::optional<double> &value, int decimals, const CsvStyle &style);
// A number written elsewhere with a decimal comma ("0,350"), in the style's way.
QString csvDecimalText(QString text, const CsvStyle &style);

} // namespace Sor
