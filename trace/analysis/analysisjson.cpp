#include "analysis/analysisjson.h"

#include "sor/sorjson.h"

#include <QJsonArray>

namespace Analysis {

namespace {
QJsonObject confidenceJson(const Confidence &c)
{
    return QJsonObject{{QStringLiteral("sigmas"), c.sigmas},
                       {QStringLiteral("residual_db"), c.residualDb},
                       {QStringLiteral("sure"), c.sure()}};
}

QJsonArray sectionsJson(const std::vector<Section> &sections)
{
    QJsonArray all;
    for (const Section &s : sections) {
        all.append(QJsonObject{{QStringLiteral("kind"), sectionName(s.kind)},
                               {QStringLiteral("start_m"), s.startM},
                               {QStringLiteral("end_m"), s.endM},
                               {QStringLiteral("slope_db_km"), Sor::jsonNumber(s.attenuationDbKm)},
                               {QStringLiteral("start_level_db"), Sor::jsonNumber(s.startLevelDb)},
                               {QStringLiteral("end_level_db"), Sor::jsonNumber(s.endLevelDb)},
                               {QStringLiteral("noise_db"), Sor::jsonNumber(s.noiseDb)}});
    }
    return all;
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
                        {QStringLiteral("reflectance_db"), Sor::jsonNumber(e.reflectanceDb)},
                        {QStringLiteral("attenuation_db_km"), Sor::jsonNumber(e.attenuationDbKm)},
                        {QStringLiteral("confidence"), confidenceJson(e.confidence)}});
    }
    const QJsonObject thresholds{
        {QStringLiteral("loss_db"), result.thresholds.lossDb},
        {QStringLiteral("reflectance_db"), result.thresholds.reflectanceDb},
        {QStringLiteral("end_db"), result.thresholds.endDb}};
    return QJsonObject{{QStringLiteral("file"), file},
                       {QStringLiteral("fiber_end_m"), Sor::jsonNumber(result.fiberEndM)},
                       {QStringLiteral("total_loss_db"), Sor::jsonNumber(result.totalLossDb)},
                       {QStringLiteral("orl_db"), Sor::jsonNumber(result.orlDb)},
                       {QStringLiteral("thresholds"), thresholds},
                       {QStringLiteral("events"), events},
                       {QStringLiteral("fiber_end_confidence"),
                        result.endConfidence ? QJsonValue(confidenceJson(*result.endConfidence))
                                             : QJsonValue(QJsonValue::Null)},
                       {QStringLiteral("fiber_end_doubt"), Sor::jsonText(result.endDoubt)},
                       {QStringLiteral("sections"), sectionsJson(result.sections)},
                       {QStringLiteral("warnings"), QJsonArray::fromStringList(result.warnings)}};
}

} // namespace Analysis
