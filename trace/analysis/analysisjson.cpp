#include "analysis/analysisjson.h"

#include <QJsonArray>

namespace Analysis {

namespace {
QJsonValue orNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}
} // namespace

QJsonObject toJson(const Result &result, const QString &file)
{
    QJsonArray events;
    int number = 0;
    for (const Event &e : result.events) {
        events.append(
            QJsonObject{{QStringLiteral("number"), ++number},
                        {QStringLiteral("distance_m"), e.distanceM},
                        {QStringLiteral("type"), typeName(e.type)},
                        {QStringLiteral("loss_db"),
                         e.lossMeasured ? QJsonValue(e.lossDb) : QJsonValue(QJsonValue::Null)},
                        {QStringLiteral("reflectance_db"), orNull(e.reflectanceDb)},
                        {QStringLiteral("attenuation_db_km"), orNull(e.attenuationDbKm)}});
    }
    const QJsonObject thresholds{
        {QStringLiteral("loss_db"), result.thresholds.lossDb},
        {QStringLiteral("reflectance_db"), result.thresholds.reflectanceDb},
        {QStringLiteral("end_db"), result.thresholds.endDb}};
    return QJsonObject{{QStringLiteral("file"), file},
                       {QStringLiteral("fiber_end_m"), orNull(result.fiberEndM)},
                       {QStringLiteral("total_loss_db"), orNull(result.totalLossDb)},
                       {QStringLiteral("orl_db"), orNull(result.orlDb)},
                       {QStringLiteral("thresholds"), thresholds},
                       {QStringLiteral("events"), events},
                       {QStringLiteral("warnings"), QJsonArray::fromStringList(result.warnings)}};
}

} // namespace Analysis
