#include "acceptance/twowayjson.h"

#include "sor/sorjson.h"

#include <QJsonArray>

namespace Acceptance {

namespace {
QString seenName(SeenFrom seen)
{
    return seen == SeenFrom::Both ? QStringLiteral("both")
           : seen == SeenFrom::A  ? QStringLiteral("a")
                                  : QStringLiteral("b");
}
} // namespace

namespace {
// "stored" in the end's file, "measured" on its points, null where that end has none.
QJsonValue how(const std::optional<double> &loss, bool measured)
{
    if (!loss)
        return QJsonValue(QJsonValue::Null);
    return measured ? QStringLiteral("measured") : QStringLiteral("stored");
}
} // namespace

QJsonObject toJson(const TwoWay &t, const QString &fileA, const QString &fileB)
{
    QJsonArray events;
    for (const TwoWayEvent &e : t.events) {
        events.append(
            QJsonObject{{QStringLiteral("distance_m"), e.distanceM},
                        {QStringLiteral("loss_ab_db"), Sor::jsonNumber(e.lossAbDb)},
                        {QStringLiteral("loss_ba_db"), Sor::jsonNumber(e.lossBaDb)},
                        {QStringLiteral("loss_db"), Sor::jsonNumber(e.lossDb)},
                        {QStringLiteral("reflectance_db"), Sor::jsonNumber(e.reflectanceDb)},
                        {QStringLiteral("reflective"), e.reflective},
                        {QStringLiteral("seen_from"), seenName(e.seenFrom)},
                        {QStringLiteral("how_ab"), how(e.lossAbDb, e.measuredA)},
                        {QStringLiteral("how_ba"), how(e.lossBaDb, e.measuredB)}});
    }
    return QJsonObject{{QStringLiteral("file_a"), fileA},
                       {QStringLiteral("file_b"), fileB},
                       {QStringLiteral("fiber_length_m"), Sor::jsonNumber(t.fiberLengthM)},
                       {QStringLiteral("total_loss_db"), Sor::jsonNumber(t.totalLossDb)},
                       {QStringLiteral("shift_m"), t.shiftM},
                       {QStringLiteral("tolerance_m"), t.toleranceM},
                       {QStringLiteral("events"), events}};
}

QJsonObject toJson(const EndsEvidence &e)
{
    const QString ends = e.ends == Ends::Two    ? QStringLiteral("two")
                         : e.ends == Ends::Same ? QStringLiteral("same")
                                                : QStringLiteral("unknown");
    QJsonObject json{{QStringLiteral("ends"), ends},
                     {QStringLiteral("decided_by"), Sor::jsonText(e.decidedBy)},
                     {QStringLiteral("direct_fit_m"), Sor::jsonNumber(e.directFitM)},
                     {QStringLiteral("mirrored_fit_m"), Sor::jsonNumber(e.mirroredFitM)},
                     {QStringLiteral("direct_matched"), e.directMatched},
                     {QStringLiteral("mirrored_matched"), e.mirroredMatched},
                     {QStringLiteral("matched"), e.matched()},
                     {QStringLiteral("length_scale"), e.lengthScale}};
    if (!e.warning.isEmpty())
        json[QStringLiteral("warning")] = e.warning;
    return json;
}

QJsonObject toJson(const Wavelengths &w, const QString &shorterFile, const QString &longerFile)
{
    QJsonArray events;
    for (const WavelengthEvent &e : w.events) {
        events.append(QJsonObject{
            {QStringLiteral("distance_m"), e.distanceM},
            {QStringLiteral("loss_short_db"), Sor::jsonNumber(e.lossShortDb)},
            {QStringLiteral("loss_long_db"), Sor::jsonNumber(e.lossLongDb)},
            {QStringLiteral("attenuation_short_db_km"), Sor::jsonNumber(e.attenuationShortDbKm)},
            {QStringLiteral("attenuation_long_db_km"), Sor::jsonNumber(e.attenuationLongDbKm)},
            {QStringLiteral("bend"), e.bend},
            {QStringLiteral("section_bend"), e.sectionBend}});
    }
    return QJsonObject{{QStringLiteral("file_short"), shorterFile},
                       {QStringLiteral("file_long"), longerFile},
                       {QStringLiteral("threshold_db"), w.thresholdDb},
                       {QStringLiteral("tolerance_m"), w.toleranceM},
                       {QStringLiteral("bends"), w.bends()},
                       {QStringLiteral("events"), events}};
}

} // namespace Acceptance
