#include "acceptance/verdict.h"

#include "sor/sortext.h"

// Verdicts and the limits behind them in a report's words: "REPROVADO: perda de emenda máx.
// 0,300 dB", and each limit that is set as a row of a report's table.
namespace Acceptance {

QString verdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return QStringLiteral("APROVADO");
    case Verdict::Fail:
        return QStringLiteral("REPROVADO");
    case Verdict::Unknown:
        return QStringLiteral("INDETERMINADO");
    case Verdict::NoLimits:
        return QStringLiteral("SEM LIMITES");
    }
    return QString();
}

namespace {

const QString SplitterKey = QStringLiteral("splitter_loss_max_db");

// "perda de divisor 1:8 máx.": the label with the ratio before its last word.
QString splitterLabel(const LimitKey &k, int ways)
{
    QString label = k.label;
    const int last = label.lastIndexOf(QLatin1Char(' '));
    return label.insert(last, QStringLiteral(" 1:%1").arg(ways));
}

} // namespace

QString limitText(const QString &key,
                  const Limits &l,
                  const std::optional<double> &wavelengthNm,
                  const std::optional<int> &splitterWays)
{
    const LimitKey &k = limitKey(key);
    if (key == SplitterKey) {
        if (!splitterWays)
            return k.label + QLatin1Char(' ');
        const QString label = splitterLabel(k, *splitterWays) + QLatin1Char(' ');
        return l.splitterLossMaxDb.contains(*splitterWays)
                   ? label + Sor::decimal(l.splitterLossMaxDb.value(*splitterWays), k.limitDecimals)
                         + QLatin1Char(' ') + k.unit
                   : label;
    }
    const std::optional<double> value = k.member       ? l.*k.member
                                        : wavelengthNm ? l.attenuationFor(*wavelengthNm)
                                                       : std::nullopt;
    return k.label + QLatin1Char(' ')
           + (value ? Sor::decimal(*value, k.limitDecimals) + QLatin1Char(' ') + k.unit
                    : QString());
}

QVector<LimitRow> limitRows(const Limits &l)
{
    QVector<LimitRow> rows;
    for (const LimitKey &k : limitKeys()) {
        if (k.member && l.*k.member) {
            rows.append({k.json,
                         k.label,
                         Sor::decimal(*(l.*k.member), k.limitDecimals) + QLatin1Char(' ') + k.unit,
                         std::nullopt});
        }
    }
    const LimitKey &attenuation = limitKey(QStringLiteral("attenuation_max_db_km"));
    for (auto it = l.attenuationMaxDbKm.cbegin(); it != l.attenuationMaxDbKm.cend(); ++it)
        rows.append({attenuation.json,
                     attenuation.label,
                     Sor::decimal(it.value(), attenuation.limitDecimals) + QLatin1Char(' ')
                         + attenuation.unit,
                     it.key()});
    const LimitKey &splitter = limitKey(SplitterKey);
    for (auto it = l.splitterLossMaxDb.cbegin(); it != l.splitterLossMaxDb.cend(); ++it)
        rows.append(
            {splitter.json,
             splitterLabel(splitter, it.key()),
             Sor::decimal(it.value(), splitter.limitDecimals) + QLatin1Char(' ') + splitter.unit,
             std::nullopt});
    return rows;
}

QStringList brokenLimitsText(const QStringList &keys,
                             const Limits &limits,
                             const std::optional<double> &wavelengthNm,
                             const std::optional<int> &splitterWays)
{
    QStringList texts;
    for (const QString &key : keys)
        texts << limitText(key, limits, wavelengthNm, splitterWays);
    return texts;
}

QString eventVerdictText(const JudgedEvent &event,
                         const Limits &limits,
                         const std::optional<double> &wavelengthNm)
{
    if (event.pastEnd)
        return QStringLiteral("após o fim");
    const QStringList broken
        = brokenLimitsText(event.broken, limits, wavelengthNm, event.splitterWays);
    if (!broken.isEmpty())
        return verdictWord(event.verdict) + QStringLiteral(": ")
               + broken.join(QStringLiteral(", "));
    const QStringList unknown
        = brokenLimitsText(event.unknown, limits, wavelengthNm, event.splitterWays);
    if (event.verdict == Verdict::Unknown && !unknown.isEmpty())
        return verdictWord(event.verdict) + QStringLiteral(": sem valor para ")
               + unknown.join(QStringLiteral(", "));
    return verdictWord(event.verdict);
}

} // namespace Acceptance
