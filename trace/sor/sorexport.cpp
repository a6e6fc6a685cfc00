#include "sor/sorexport.h"

#include "sor/sorjson.h"

#include <QIODevice>
#include <QJsonArray>

#include <cmath>

namespace Sor {

namespace {

QJsonValue textOrNull(bool present, const QString &text)
{
    return present ? QJsonValue(text) : QJsonValue(QJsonValue::Null);
}

void offsetsJson(const Trace &trace, QJsonObject &json);
QJsonArray eventsJson(const Trace &trace);
QJsonArray blocksJson(const Trace &trace);
QJsonObject pointsJson(const Trace &trace);

} // namespace

QJsonObject toJson(const Trace &trace, bool withPoints)
{
    QJsonObject json;
    json[QStringLiteral("version")] = trace.version;
    const bool sup = trace.supplier.has_value();
    json[QStringLiteral("supplier")] = textOrNull(sup, sup ? trace.supplier->supplier : QString());
    json[QStringLiteral("model")] = textOrNull(sup, sup ? trace.supplier->mainframe : QString());
    json[QStringLiteral("serial")]
        = textOrNull(sup, sup ? trace.supplier->mainframeSerial : QString());
    const bool gen = trace.general.has_value();
    json[QStringLiteral("cable_id")] = textOrNull(gen, gen ? trace.general->cableId : QString());
    json[QStringLiteral("fiber_id")] = textOrNull(gen, gen ? trace.general->fiberId : QString());
    json[QStringLiteral("wavelength_nm")] = jsonNumber(trace.wavelengthNm);
    QJsonArray pulses;
    if (trace.fixed) {
        for (int ns : trace.fixed->pulseWidthsNs)
            pulses.append(ns);
    }
    json[QStringLiteral("pulse_widths_ns")] = pulses;
    json[QStringLiteral("points")] = trace.points();
    json[QStringLiteral("spacing_m")] = jsonNumber(trace.spacingM);
    json[QStringLiteral("range_m")] = jsonNumber(trace.rangeM);
    json[QStringLiteral("group_index")] = jsonNumber(trace.groupIndex);
    offsetsJson(trace, json);
    json[QStringLiteral("date")]
        = trace.date ? QJsonValue(trace.date->toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);

    QJsonObject checksum;
    checksum[QStringLiteral("state")] = stateName(trace.checksum.state);
    checksum[QStringLiteral("method")] = jsonText(methodName(trace.checksum.method));
    checksum[QStringLiteral("stored")] = trace.checksum.stored
                                             ? QJsonValue(int(*trace.checksum.stored))
                                             : QJsonValue(QJsonValue::Null);
    json[QStringLiteral("checksum")] = checksum;

    json[QStringLiteral("events")] = eventsJson(trace);
    // The link's figures as the file stores them; a 0 there is none given.
    const auto given = [&trace](std::optional<double> KeyEvents::*field) {
        const std::optional<double> v = trace.keyEvents ? (*trace.keyEvents).*field : std::nullopt;
        return v && *v != 0 ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
    };
    json[QStringLiteral("total_loss_db")] = given(&KeyEvents::endToEndLossDb);
    json[QStringLiteral("orl_db")] = given(&KeyEvents::opticalReturnLossDb);
    json[QStringLiteral("blocks")] = blocksJson(trace);
    json[QStringLiteral("warnings")] = QJsonArray::fromStringList(trace.warnings);
    json[QStringLiteral("errors")] = QJsonArray::fromStringList(trace.errors);
    if (withPoints)
        json[QStringLiteral("trace")] = pointsJson(trace);
    return json;
}

namespace {

// Every distance in the export is measured from the span's start; these say how far that lies
// from the first point and why.
void offsetsJson(const Trace &trace, QJsonObject &json)
{
    const std::optional<Offsets> &o = trace.offsets;
    auto metres = [&o](double Offsets::*field) {
        return o ? QJsonValue((*o).*field) : QJsonValue(QJsonValue::Null);
    };
    json[QStringLiteral("front_panel_offset_m")] = metres(&Offsets::frontPanelM);
    json[QStringLiteral("acquisition_offset_m")] = metres(&Offsets::acquisitionM);
    json[QStringLiteral("user_offset_m")] = metres(&Offsets::userM);
    json[QStringLiteral("span_start_m")] = metres(&Offsets::spanStartM);
    json[QStringLiteral("offsets_applied")]
        = o ? QJsonValue(o->applied) : QJsonValue(QJsonValue::Null);
    if (!o) {
        json[QStringLiteral("offsets_stored")] = QJsonValue(QJsonValue::Null);
        return;
    }
    QJsonObject stored{{QStringLiteral("front_panel"), o->frontPanel},
                       {QStringLiteral("acquisition"), o->acquisition},
                       {QStringLiteral("user"), o->user}};
    if (trace.fixed && trace.fixed->acquisitionOffsetDistance)
        stored[QStringLiteral("acquisition_distance")] = *trace.fixed->acquisitionOffsetDistance;
    if (trace.general && trace.general->userOffsetDistance)
        stored[QStringLiteral("user_distance")] = *trace.general->userOffsetDistance;
    json[QStringLiteral("offsets_stored")] = stored;
}

QJsonArray eventsJson(const Trace &trace)
{
    QJsonArray events;
    if (trace.keyEvents) {
        for (const Event &e : trace.keyEvents->events) {
            events.append(
                QJsonObject{{QStringLiteral("number"), e.number},
                            {QStringLiteral("distance_m"), e.distanceM},
                            {QStringLiteral("loss_db"), e.lossDb},
                            {QStringLiteral("reflectance_db"), jsonNumber(e.reflectanceDb)},
                            {QStringLiteral("attenuation_db_km"), e.attenuationDbPerKm},
                            {QStringLiteral("code"), e.code}});
        }
    }
    return events;
}

QJsonArray blocksJson(const Trace &trace)
{
    QJsonArray blocks;
    for (const BlockInfo &b : trace.blocks) {
        blocks.append(QJsonObject{{QStringLiteral("name"), b.name},
                                  {QStringLiteral("revision"), b.revision},
                                  {QStringLiteral("size"), double(b.size)}});
    }
    return blocks;
}

QJsonObject pointsJson(const Trace &trace)
{
    QJsonArray distance;
    QJsonArray level;
    for (size_t i = 0; i < trace.levelDb.size(); ++i) {
        distance.append(trace.distanceM[i]);
        level.append(std::isnan(trace.levelDb[i]) ? QJsonValue(QJsonValue::Null)
                                                  : QJsonValue(trace.levelDb[i]));
    }
    return QJsonObject{{QStringLiteral("distance_m"), distance},
                       {QStringLiteral("level_db"), level}};
}

} // namespace

bool writeCsv(const Trace &trace, QIODevice &out, const CsvStyle &style)
{
    const char separator = style.separator.toLatin1();
    const char point = style.decimalPoint.toLatin1();
    QByteArray text = QByteArray("distance_m") + separator + "level_db\n";
    text.reserve(int(trace.levelDb.size()) * 20 + 32);
    const auto number = [&](double v) {
        QByteArray n = QByteArray::number(v, 'f', 3);
        if (point != '.')
            n.replace('.', point);
        text += n;
    };
    for (size_t i = 0; i < trace.levelDb.size(); ++i) {
        number(trace.distanceM[i]);
        text += separator;
        if (!std::isnan(trace.levelDb[i]))
            number(trace.levelDb[i]);
        text += '\n';
    }
    return out.write(text) == text.size();
}

} // namespace Sor
