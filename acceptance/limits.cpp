#include "acceptance/limits.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace Acceptance {

namespace {

const QString NoLimits = QStringLiteral("sem limites");
const QString GenericSingleMode = QStringLiteral("monomodo-generico");

// A generic single-mode link: 0.3 dB a fusion splice and 0.75 dB a mated connector pair are the
// maxima of ANSI/TIA-568.3-D; -35 dB is its single-mode connector reflectance; 0.4 dB/km at
// 1310 nm and 0.3 dB/km at 1550 nm are the cabled single-mode fibre maxima of ITU-T G.652 (and
// TIA-568.3-D's inside/outside plant figures round to them).
Limits genericSingleMode()
{
    Limits l;
    l.name = GenericSingleMode;
    l.spliceLossMaxDb = 0.3;
    l.connectorLossMaxDb = 0.75;
    l.reflectanceMaxDb = -35;
    l.attenuationMaxDbKm = {{1310, 0.4}, {1550, 0.3}};
    return l;
}

bool number(const QJsonObject &o, const QString &key, std::optional<double> &out, QString *error)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return true;
    if (!v.isDouble() || !std::isfinite(v.toDouble())) {
        *error = QStringLiteral("a chave \"%1\" precisa de um número").arg(key);
        return false;
    }
    out = v.toDouble();
    return true;
}

bool attenuations(const QJsonObject &o, Limits &l, QString *error)
{
    const QString key = QStringLiteral("attenuation_max_db_km");
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return true;
    if (!v.isObject()) {
        *error = QStringLiteral("a chave \"%1\" precisa de um objeto de comprimentos de onda "
                                "(nm) a limites")
                     .arg(key);
        return false;
    }
    const QJsonObject byWavelength = v.toObject();
    for (auto it = byWavelength.begin(); it != byWavelength.end(); ++it) {
        bool ok = false;
        const int nm = it.key().toInt(&ok);
        if (!ok || nm <= 0 || !it.value().isDouble()) {
            *error = QStringLiteral("em \"%1\", \"%2\" precisa ser um comprimento de onda em nm "
                                    "com um número")
                         .arg(key, it.key());
            return false;
        }
        l.attenuationMaxDbKm.insert(nm, it.value().toDouble());
    }
    return true;
}

} // namespace

std::optional<double> Limits::attenuationFor(double wavelengthNm) const
{
    std::optional<double> found;
    double nearest = 30.0 + 1e-9;
    for (auto it = attenuationMaxDbKm.cbegin(); it != attenuationMaxDbKm.cend(); ++it) {
        const double distance = std::abs(it.key() - wavelengthNm);
        if (distance <= nearest) {
            nearest = distance;
            found = it.value();
        }
    }
    return found;
}

bool Limits::checksAnything() const
{
    return spliceLossMaxDb || connectorLossMaxDb || reflectanceMaxDb
           || !attenuationMaxDbKm.isEmpty() || totalLossMaxDb || orlMinDb || lengthMinM
           || lengthMaxM;
}

std::optional<Limits> parseLimits(const QByteArray &json, QString *error)
{
    QString ignored;
    error = error ? error : &ignored;
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = QStringLiteral("JSON inválido no byte %1: %2")
                     .arg(parse.offset)
                     .arg(parse.errorString());
        return std::nullopt;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("os limites precisam ser um objeto JSON");
        return std::nullopt;
    }
    const QJsonObject o = document.object();
    const QStringList known{"name",
                            "splice_loss_max_db",
                            "connector_loss_max_db",
                            "reflectance_max_db",
                            "attenuation_max_db_km",
                            "total_loss_max_db",
                            "orl_min_db",
                            "length_min_m",
                            "length_max_m"};
    for (const QString &key : o.keys()) {
        if (!known.contains(key)) {
            *error = QStringLiteral("chave desconhecida: \"%1\"").arg(key);
            return std::nullopt;
        }
    }
    Limits l;
    if (o.contains(QStringLiteral("name"))) {
        if (!o.value(QStringLiteral("name")).isString()) {
            *error = QStringLiteral("a chave \"name\" precisa de um texto");
            return std::nullopt;
        }
        l.name = o.value(QStringLiteral("name")).toString();
    }
    const bool ok
        = number(o, QStringLiteral("splice_loss_max_db"), l.spliceLossMaxDb, error)
          && number(o, QStringLiteral("connector_loss_max_db"), l.connectorLossMaxDb, error)
          && number(o, QStringLiteral("reflectance_max_db"), l.reflectanceMaxDb, error)
          && number(o, QStringLiteral("total_loss_max_db"), l.totalLossMaxDb, error)
          && number(o, QStringLiteral("orl_min_db"), l.orlMinDb, error)
          && number(o, QStringLiteral("length_min_m"), l.lengthMinM, error)
          && number(o, QStringLiteral("length_max_m"), l.lengthMaxM, error)
          && attenuations(o, l, error);
    if (!ok)
        return std::nullopt;
    return l;
}

std::optional<Limits> readLimits(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QString why;
    std::optional<Limits> limits = parseLimits(file.readAll(), &why);
    if (!limits && error)
        *error = QStringLiteral("%1: %2").arg(path, why);
    if (limits && limits->name.isEmpty())
        limits->name = path;
    return limits;
}

QStringList presetNames()
{
    return {GenericSingleMode, NoLimits};
}

std::optional<Limits> preset(const QString &name)
{
    if (name == GenericSingleMode)
        return genericSingleMode();
    if (name == NoLimits) {
        Limits none;
        none.name = NoLimits;
        return none;
    }
    return std::nullopt;
}

} // namespace Acceptance
