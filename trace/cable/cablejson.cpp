#include "cable/cablejob.h"

#include "acceptance/twowayjson.h"
#include "cable/cabletable.h"
#include "sor/sorjson.h"

#include <QJsonArray>

// The job as JSON: its fibres, closures, cells, baseline and checks.
namespace Cable {

namespace {

QJsonValue connectorJson(const std::optional<Connector> &c)
{
    if (!c)
        return QJsonValue();
    return QJsonObject{{"distance_m", c->distanceM},
                       {"loss_db", Sor::jsonNumber(c->lossDb)},
                       {"reflectance_db", Sor::jsonNumber(c->reflectanceDb)},
                       {"verdict", connectorVerdictText(*c)}};
}

// What the fibres' table says, and what only a program reads: the files as a list, how its
// ends were paired, its connectors and the reasons of its verdict.
QJsonObject fibreJson(const Sor::TableColumns<Fibre> &columns, const Fibre &f)
{
    return Sor::jsonObject(columns,
                           f,
                           {{"files", QJsonArray::fromStringList(f.files)},
                            {"length_scale", f.lengthScale},
                            {"pairing", Acceptance::toJson(f.pairing)},
                            {"launch_connector", connectorJson(f.launchConnector)},
                            {"receive_connector", connectorJson(f.receiveConnector)},
                            {"front_connector", connectorJson(f.frontA)},
                            {"front_connector_b", connectorJson(f.frontB)},
                            {"reasons", QJsonArray::fromStringList(f.reasons)}});
}

QJsonValue baselineJson(const std::optional<SinceBaseline> &since)
{
    if (!since)
        return QJsonValue();
    const SinceBaseline &b = *since;
    QJsonArray closureOf;
    for (int n : b.closureOf)
        closureOf.append(n > 0 ? QJsonValue(n) : QJsonValue());
    return QJsonObject{{"folders", b.label},
                       {"threshold_db", b.thresholdDb},
                       {"shift_m", b.shiftM},
                       {"closure_then", closureOf},
                       {"new_closures", QJsonArray::fromStringList(b.newClosures)},
                       {"gone_closures", QJsonArray::fromStringList(b.goneClosures)},
                       {"fibres_without", QJsonArray::fromStringList(b.fibresWithout)},
                       {"changes", QJsonArray::fromStringList(b.changes)},
                       {"verdict", b.changed() ? "mudou" : "sem mudança"}};
}

QJsonValue routeJson(const std::optional<Route::Calibration> &calibration)
{
    if (!calibration)
        return QJsonValue();
    QJsonArray anchors;
    for (const Route::Anchor &a : calibration->anchors)
        anchors.append(QJsonObject{{"name", a.name},
                                   {"route_m", a.routeM},
                                   {"otdr_m", a.otdrM},
                                   {"residual_m", a.residualM},
                                   {"flagged", a.flagged}});
    return QJsonObject{{"efl_percent", 100 * calibration->model.efl},
                       {"offset_m", calibration->model.offsetM},
                       {"anchors", anchors},
                       {"warnings", QJsonArray::fromStringList(calibration->warnings)}};
}

QJsonObject checksJson(const Checks &checks)
{
    return QJsonObject{{"settings", QJsonArray::fromStringList(checks.settings)},
                       {"duplicates", QJsonArray::fromStringList(checks.duplicates)},
                       {"repeated", QJsonArray::fromStringList(checks.repeated)},
                       {"missing", QJsonArray::fromStringList(checks.missing)},
                       {"length_outliers", QJsonArray::fromStringList(checks.lengthOutliers)},
                       {"scale_outliers", QJsonArray::fromStringList(checks.scaleOutliers)},
                       {"ends", QJsonArray::fromStringList(checks.ends)},
                       {"cords", QJsonArray::fromStringList(checks.cords)}};
}

} // namespace

QJsonObject toJson(const Job &job)
{
    const Sor::TableColumns<Fibre> fibreTable = fibreColumns(job.baseline.has_value());
    QJsonArray fibres;
    for (const Fibre &f : job.fibres)
        fibres.append(fibreJson(fibreTable, f));
    QJsonArray closures;
    for (const Closure &c : job.closures)
        closures.append(QJsonObject{{"number", c.number},
                                    {"name", c.name.isEmpty() ? QJsonValue() : QJsonValue(c.name)},
                                    {"distance_m", c.distanceM},
                                    {"kind", c.connector ? "connector" : "splice"},
                                    {"fibers_with_event", c.fibres}});
    const Sor::TableColumns<Cell> cellTable = cellColumns(job);
    QJsonArray matrix;
    for (const Cell &c : job.matrix)
        matrix.append(Sor::jsonObject(cellTable, c));
    QJsonArray unusable;
    for (const File &f : job.files) {
        if (!f.problem.isEmpty())
            unusable.append(QJsonObject{{"file", f.name}, {"problem", f.problem}});
    }
    return QJsonObject{{"tolerance_m", job.toleranceM},
                       {"route", routeJson(job.routeCalibration)},
                       {"baseline", baselineJson(job.baseline)},
                       {"fibres", fibres},
                       {"closures", closures},
                       {"matrix", matrix},
                       {"unusable_files", unusable},
                       {"checks", checksJson(job.checks)}};
}

} // namespace Cable
