#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// The limits a client sets for a link. A limit that is absent is not checked.
namespace Acceptance {

struct Limits
{
    QString name;
    std::optional<double> spliceLossMaxDb;    // non-reflective events
    std::optional<double> connectorLossMaxDb; // reflective events
    std::optional<double> reflectanceMaxDb;
    QMap<int, double> attenuationMaxDbKm; // by wavelength (nm)
    // A splitter's most loss, by its ways (8 for 1:8): a splitter is never judged as a splice.
    QMap<int, double> splitterLossMaxDb;
    std::optional<double> totalLossMaxDb;
    std::optional<double> orlMinDb;
    std::optional<double> lengthMinM;
    std::optional<double> lengthMaxM;

    // The attenuation limit of the key nearest to a wavelength, within 30 nm.
    std::optional<double> attenuationFor(double wavelengthNm) const;
    bool checksAnything() const;
};

// One limit a client can set, as every part of the program names it: its key in the limits'
// JSON, its words in a report ("perda de emenda máx. 0,300 dB"), what it checks in a reason
// ("perda") and how a reason says it was not measured ("perda não medida", "comprimento não
// medido"), its unit, the decimals of the limit and of a measured value, and whether a value
// must stay at most or at least at it. The attenuation is set per wavelength: its entry has no
// member (attenuationMaxDbKm holds it), nor has the splitter's (splitterLossMaxDb, by ratio).
struct LimitKey
{
    QString json;
    QString label;
    QString quantity;
    QString unmeasured;
    QString unit;
    int limitDecimals = 3;
    int valueDecimals = 3;
    bool atLeast = false;
    std::optional<double> Limits::*member = nullptr;
};

// Every limit, in the order reports list them, the attenuation last.
const QVector<LimitKey> &limitKeys();
// The entry of a JSON key; a key that is no limit's is a programming error.
const LimitKey &limitKey(const QString &json);

// Limits from JSON with exactly the keys above ("name", "splice_loss_max_db", …,
// "attenuation_max_db_km" as an object from wavelength to limit). An unknown key, a value of the
// wrong type or JSON that does not parse is an error that names it, never a default.
std::optional<Limits> parseLimits(const QByteArray &json, QString *error);
std::optional<Limits> readLimits(const QString &path, QString *error);

// The built-in sets, by name, each from a published standard (the sources are beside the
// figures): monomodo-generico, tia-568.3-d-upc, tia-568.3-d-apc, gpon-classe-b+, gpon-classe-c+,
// and "sem limites".
QStringList presetNames();
// A preset's name for people: "Monomodo genérico (TIA-568.3-D, ITU-T G.652.D)".
QString presetTitle(const QString &name);
std::optional<Limits> preset(const QString &name);

} // namespace Acceptance
