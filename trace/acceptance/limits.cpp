#include "acceptance/limits.h"

#include "sor/sortext.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QVector>

#include <cmath>
#include <limits>

namespace Acceptance {

namespace {

// Every limit, in the order reports list them, the attenuation last: its key, label, quantity
// and its words where no value was measured (the adjective agrees with the quantity's gender),
// unit, the decimals of the limit and of a value, whether a value must stay at least at it, and
// the member that holds it.
struct LimitEntry
{
    const char *json;
    const char *label;
    const char *quantity;
    const char *unmeasured;
    const char *unit;
    int limitDecimals;
    int valueDecimals;
    bool atLeast;
    std::optional<double> Limits::*member;
};

// clang-format off
constexpr LimitEntry LimitTable[] = {
    {"splice_loss_max_db",    "perda de emenda máx.",   "perda",            "perda não medida",            "dB",    3, 3, false, &Limits::spliceLossMaxDb},
    {"connector_loss_max_db", "perda de conector máx.", "perda",            "perda não medida",            "dB",    3, 3, false, &Limits::connectorLossMaxDb},
    {"reflectance_max_db",    "refletância máx.",       "refletância",      "refletância não medida",      "dB",    1, 2, false, &Limits::reflectanceMaxDb},
    {"total_loss_max_db",     "perda total máx.",       "perda total",      "perda total não medida",      "dB",    3, 3, false, &Limits::totalLossMaxDb},
    {"orl_min_db",            "ORL mín.",               "ORL",              "ORL não medida",              "dB",    2, 2, true,  &Limits::orlMinDb},
    {"length_min_m",          "comprimento mín.",       "comprimento",      "comprimento não medido",      "m",     1, 1, true,  &Limits::lengthMinM},
    {"length_max_m",          "comprimento máx.",       "comprimento",      "comprimento não medido",      "m",     1, 1, false, &Limits::lengthMaxM},
    {"splitter_loss_max_db",  "perda de divisor máx.",  "perda do divisor", "perda do divisor não medida", "dB",    3, 3, false, nullptr},
    {"attenuation_max_db_km", "atenuação máx.",         "atenuação",        "atenuação não medida",        "dB/km", 3, 3, false, nullptr},
};
// clang-format on

} // namespace

const QVector<LimitKey> &limitKeys()
{
    static const QVector<LimitKey> keys = [] {
        QVector<LimitKey> all;
        for (const LimitEntry &e : LimitTable) {
            all.append({QString::fromUtf8(e.json),
                        QString::fromUtf8(e.label),
                        QString::fromUtf8(e.quantity),
                        QString::fromUtf8(e.unmeasured),
                        QString::fromUtf8(e.unit),
                        e.limitDecimals,
                        e.valueDecimals,
                        e.atLeast,
                        e.member});
        }
        return all;
    }();
    return keys;
}

const LimitKey &limitKey(const QString &json)
{
    for (const LimitKey &key : limitKeys()) {
        if (key.json == json)
            return key;
    }
    Q_ASSERT_X(false, "limitKey", "no such limit");
    return limitKeys().first();
}

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
           || !attenuationMaxDbKm.isEmpty() || !splitterLossMaxDb.isEmpty() || totalLossMaxDb
           || orlMinDb || lengthMinM || lengthMaxM;
}

// A client's limits from JSON: every value checked, every fault named in the user's words.
namespace {

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

// A limit set per whole number (a wavelength in nm, a splitter's ways), as a JSON object from
// that number to the limit: what the numbers are, in a message's words, and which are valid.
struct LimitsByNumber
{
    QString key;
    QString numbers; // "comprimentos de onda (nm)"
    QString number;  // "um comprimento de onda em nm"
    int lowest = 1;
    int highest = std::numeric_limits<int>::max();
    QMap<int, double> Limits::*member = nullptr;
};

bool limitsByNumber(const QJsonObject &o, const LimitsByNumber &by, Limits &l, QString *error)
{
    const QJsonValue v = o.value(by.key);
    if (v.isUndefined())
        return true;
    if (!v.isObject()) {
        *error = QStringLiteral("a chave \"%1\" precisa de um objeto de %2 a limites")
                     .arg(by.key, by.numbers);
        return false;
    }
    const QJsonObject byNumber = v.toObject();
    for (auto it = byNumber.begin(); it != byNumber.end(); ++it) {
        bool ok = false;
        const int n = it.key().toInt(&ok);
        if (!ok || n < by.lowest || n > by.highest || !it.value().isDouble()) {
            *error = QStringLiteral("em \"%1\", \"%2\" precisa ser %3 com um número")
                         .arg(by.key, it.key(), by.number);
            return false;
        }
        (l.*by.member).insert(n, it.value().toDouble());
    }
    return true;
}

bool attenuations(const QJsonObject &o, Limits &l, QString *error)
{
    return limitsByNumber(o,
                          {QStringLiteral("attenuation_max_db_km"),
                           QStringLiteral("comprimentos de onda (nm)"),
                           QStringLiteral("um comprimento de onda em nm"),
                           1,
                           std::numeric_limits<int>::max(),
                           &Limits::attenuationMaxDbKm},
                          l,
                          error);
}

bool splitters(const QJsonObject &o, Limits &l, QString *error)
{
    return limitsByNumber(o,
                          {QStringLiteral("splitter_loss_max_db"),
                           QStringLiteral("divisores (\"8\" para 1:8)"),
                           QStringLiteral("o número de saídas de um divisor (2 a 64)"),
                           2,
                           64,
                           &Limits::splitterLossMaxDb},
                          l,
                          error);
}

// QJsonDocument's reasons are in English; the user reads Portuguese.
QString parseErrorText(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::UnterminatedObject:
        return QStringLiteral("objeto sem o \"}\" que o fecha");
    case QJsonParseError::MissingNameSeparator:
        return QStringLiteral("falta \":\" depois de uma chave");
    case QJsonParseError::UnterminatedArray:
        return QStringLiteral("lista sem o \"]\" que a fecha");
    case QJsonParseError::MissingValueSeparator:
        return QStringLiteral("falta \",\" entre dois valores");
    case QJsonParseError::IllegalValue:
        return QStringLiteral("valor inválido (chaves e textos vão entre aspas)");
    case QJsonParseError::TerminationByNumber:
        return QStringLiteral("o texto acaba no meio de um número");
    case QJsonParseError::IllegalNumber:
        return QStringLiteral("número inválido");
    case QJsonParseError::IllegalEscapeSequence:
        return QStringLiteral("sequência de escape inválida");
    case QJsonParseError::IllegalUTF8String:
        return QStringLiteral("texto que não é UTF-8");
    case QJsonParseError::UnterminatedString:
        return QStringLiteral("texto sem as aspas que o fecham");
    case QJsonParseError::MissingObject:
        return QStringLiteral("falta o objeto");
    case QJsonParseError::GarbageAtEnd:
        return QStringLiteral("há texto depois do fim do objeto");
    default:
        return QStringLiteral("JSON malformado");
    }
}

// A key given twice in one object: JSON readers keep one of the two in silence, so which limit
// the client meant cannot be known. Empty when every key is given once.
QString repeatedKey(const QByteArray &json)
{
    QVector<QSet<QString>> seen; // the keys of each open object, innermost last
    QVector<bool> isObject;
    bool afterKeyCandidate = false;
    QString candidate;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '"') {
            QByteArray text;
            for (++i; i < json.size() && json.at(i) != '"'; ++i) {
                if (json.at(i) == '\\' && i + 1 < json.size())
                    ++i;
                text += json.at(i);
            }
            candidate = QString::fromUtf8(text);
            afterKeyCandidate = true;
            continue;
        }
        if (c == ':' && afterKeyCandidate && !isObject.isEmpty() && isObject.last()) {
            if (seen.last().contains(candidate))
                return candidate;
            seen.last().insert(candidate);
        }
        if (c == '{' || c == '[') {
            isObject << (c == '{');
            seen << QSet<QString>();
        } else if ((c == '}' || c == ']') && !isObject.isEmpty()) {
            isObject.removeLast();
            seen.removeLast();
        }
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            afterKeyCandidate = false;
    }
    return QString();
}

// Limits no client can mean: a maximum loss below 0, a reflectance maximum above 0 dB, an ORL
// minimum below 0, a length below 0 or a minimum above the maximum. Empty when none.
QString meaninglessLimit(const Limits &l)
{
    const QList<QPair<QString, std::optional<double>>> losses{
        {QStringLiteral("splice_loss_max_db"), l.spliceLossMaxDb},
        {QStringLiteral("connector_loss_max_db"), l.connectorLossMaxDb},
        {QStringLiteral("total_loss_max_db"), l.totalLossMaxDb},
        {QStringLiteral("length_min_m"), l.lengthMinM},
        {QStringLiteral("length_max_m"), l.lengthMaxM}};
    for (const auto &loss : losses) {
        if (loss.second && *loss.second < 0)
            return QStringLiteral("a chave \"%1\" não pode ser negativa").arg(loss.first);
    }
    if (l.reflectanceMaxDb && *l.reflectanceMaxDb > 0)
        return QStringLiteral("a chave \"reflectance_max_db\" não pode passar de 0 dB: nenhuma "
                              "reflexão a alcança");
    if (l.orlMinDb && *l.orlMinDb < 0)
        return QStringLiteral("a chave \"orl_min_db\" não pode ser negativa");
    if (l.lengthMinM && l.lengthMaxM && *l.lengthMinM > *l.lengthMaxM)
        return QStringLiteral("a chave \"length_min_m\" passa de \"length_max_m\"");
    for (auto it = l.attenuationMaxDbKm.cbegin(); it != l.attenuationMaxDbKm.cend(); ++it) {
        if (it.value() < 0)
            return QStringLiteral("em \"attenuation_max_db_km\", o limite de %1 nm não pode ser "
                                  "negativo")
                .arg(it.key());
    }
    for (auto it = l.splitterLossMaxDb.cbegin(); it != l.splitterLossMaxDb.cend(); ++it) {
        if (it.value() < 0)
            return QStringLiteral("em \"splitter_loss_max_db\", o limite de 1:%1 não pode ser "
                                  "negativo")
                .arg(it.key());
    }
    return QString();
}

} // namespace

std::optional<Limits> parseLimits(const QByteArray &json, QString *error)
{
    QString ignored;
    error = error ? error : &ignored;
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = QStringLiteral("JSON inválido no byte %1: %2")
                     .arg(parse.offset)
                     .arg(parseErrorText(parse.error));
        return std::nullopt;
    }
    const QString repeated = repeatedKey(json);
    if (!repeated.isEmpty()) {
        *error = QStringLiteral("a chave \"%1\" aparece duas vezes").arg(repeated);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("os limites precisam ser um objeto JSON");
        return std::nullopt;
    }
    const QJsonObject o = document.object();
    QStringList known{QStringLiteral("name")};
    for (const LimitKey &key : limitKeys())
        known << key.json;
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
    bool ok = true;
    for (const LimitKey &key : limitKeys()) {
        if (ok && key.member)
            ok = number(o, key.json, l.*key.member, error);
    }
    ok = ok && attenuations(o, l, error) && splitters(o, l, error);
    if (!ok)
        return std::nullopt;
    const QString meaningless = meaninglessLimit(l);
    if (!meaningless.isEmpty()) {
        *error = meaningless;
        return std::nullopt;
    }
    return l;
}

std::optional<Limits> readLimits(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error
                = QStringLiteral("%1: %2").arg(path, Sor::fileErrorText(file, Sor::FileUse::Read));
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

} // namespace Acceptance
