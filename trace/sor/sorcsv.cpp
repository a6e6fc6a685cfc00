#include "sor/sorcsv.h"

#include <QRegularExpression>

#include <cmath>

namespace Sor {

CsvStyle CsvStyle::of(const QLocale &locale)
{
    CsvStyle style;
    if (locale.decimalPoint() == QLatin1Char(',')) {
        style.separator = QLatin1Char(';');
        style.decimalPoint = QLatin1Char(',');
    }
    return style;
}

CsvStyle CsvStyle::ofUser()
{
    return of(QLocale::system());
}

QString csvRow(const QStringList &fields, const CsvStyle &style)
{
    // A semicolon too in a comma's CSV: a spreadsheet of a decimal-comma locale splits there.
    const auto special = [&style](const QString &field) {
        return field.contains(style.separator) || field.contains(QLatin1Char(';'))
               || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\r'))
               || field.contains(QLatin1Char('\n'));
    };
    QStringList written;
    written.reserve(fields.size());
    for (const QString &field : fields) {
        written << (special(field)
                        ? QLatin1Char('"')
                              + QString(field).replace(QLatin1Char('"'), QStringLiteral("\"\""))
                              + QLatin1Char('"')
                        : field);
    }
    return written.join(style.separator);
}

QString csvNumber(const std::optional<double> &value, int decimals, const CsvStyle &style)
{
    if (!value || std::isnan(*value))
        return QString();
    QString text = QString::number(*value, 'f', decimals);
    if (style.decimalPoint != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), style.decimalPoint);
    return text;
}

QString csvDecimalText(QString text, const CsvStyle &style)
{
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+,[0-9]+$"));
    if (style.decimalPoint != QLatin1Char(',') && number.match(text).hasMatch())
        text.replace(QLatin1Char(','), style.decimalPoint);
    return text;
}

} // namespace Sor
