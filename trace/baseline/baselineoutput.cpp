#include "baseline/baselineoutput.h"

#include "sor/sorjson.h"

#include "sor/sortext.h"

#include <QJsonArray>

namespace Baseline {

namespace {

QString pair(const std::optional<double> &before,
             const std::optional<double> &after,
             int decimals,
             const QString &unit)
{
    const auto one = [&](const std::optional<double> &v) {
        return v ? Sor::decimal(*v, decimals) + unit : QStringLiteral("—");
    };
    return QStringLiteral("%1 → %2").arg(one(before), one(after));
}

} // namespace

QString table(const QString &baseName, const QString &nowName, const Comparison &c)
{
    QString text = QStringLiteral("Linha de base: %1\nAgora:         %2\n").arg(baseName, nowName);
    if (!c.problem.isEmpty())
        return text + QStringLiteral("Não comparados: %1\n").arg(c.problem);
    for (const QString &note : c.notes)
        text += QStringLiteral("Medidos de outro modo: %1\n").arg(note);
    if (c.samePoints)
        return text
               + QStringLiteral("Veredito: sem mudança (os pontos são iguais: uma só medida)\n");
    text += QStringLiteral("Comprimento: %1   Perda total: %2   ORL: %3\n")
                .arg(pair(c.lengthBeforeM ? std::optional<double>(*c.lengthBeforeM / 1000)
                                          : std::nullopt,
                          c.lengthAfterM ? std::optional<double>(*c.lengthAfterM / 1000)
                                         : std::nullopt,
                          4,
                          QStringLiteral(" km")),
                     pair(c.lossBeforeDb, c.lossAfterDb, 3, QStringLiteral(" dB")),
                     pair(c.orlBeforeDb, c.orlAfterDb, 2, QStringLiteral(" dB")));
    text += QStringLiteral("Tolerância: %1 m; eixos deslocados de %2 m; níveis de %3 dB\n")
                .arg(Sor::decimal(c.toleranceM, 1),
                     Sor::decimal(c.shiftM, 1),
                     Sor::decimal(c.difference.levelShiftDb, 2));
    if (c.changes.isEmpty())
        return text + QStringLiteral("Veredito: sem mudança\n");
    text += QStringLiteral("Veredito: mudou\n");
    for (const Change &change : c.changes)
        text += QStringLiteral("  %1\n").arg(change.text);
    return text;
}

QJsonObject toJson(const QString &baseName, const QString &nowName, const Comparison &c)
{
    QJsonArray changes;
    for (const Change &change : c.changes)
        changes.append(QJsonObject{{"distance_m", change.distanceM},
                                   {"kind", kindKey(change.kind)},
                                   {"before", Sor::jsonNumber(change.before)},
                                   {"after", Sor::jsonNumber(change.after)},
                                   {"delta", Sor::jsonNumber(change.delta)},
                                   {"text", change.text}});
    return QJsonObject{
        {"baseline", baseName},
        {"now", nowName},
        {"problem", Sor::jsonText(c.problem)},
        {"notes", QJsonArray::fromStringList(c.notes)},
        {"same_points", c.samePoints},
        {"verdict", c.problem.isEmpty() ? c.verdict() : QStringLiteral("não comparados")},
        {"tolerance_m", c.toleranceM},
        {"shift_m", c.shiftM},
        {"level_shift_db", c.difference.levelShiftDb},
        {"length_before_m", Sor::jsonNumber(c.lengthBeforeM)},
        {"length_after_m", Sor::jsonNumber(c.lengthAfterM)},
        {"total_loss_before_db", Sor::jsonNumber(c.lossBeforeDb)},
        {"total_loss_after_db", Sor::jsonNumber(c.lossAfterDb)},
        {"orl_before_db", Sor::jsonNumber(c.orlBeforeDb)},
        {"orl_after_db", Sor::jsonNumber(c.orlAfterDb)},
        {"changes", changes}};
}

} // namespace Baseline
