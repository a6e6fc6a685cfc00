#include "archive/columns.h"

#include "sor/sorjson.h"
#include "sor/sortext.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace Archive {

namespace {

QString orNone(const QString &text, const TableStyle &style)
{
    return text.isEmpty() ? style.none : text;
}

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// A label of the trace's header, stored as read; null in JSON when empty.
Column
label(const QString &sql, QString Record::*field, const QString &heading = QString(), int width = 0)
{
    Column c;
    c.sql = c.key = sql;
    c.type = QStringLiteral("TEXT");
    c.store = [field](const Entry &e) { return QVariant(e.record.*field); };
    c.load = [field](Record &r, const QVariant &v) { r.*field = v.toString(); };
    c.json = [field](const Record &r) { return Sor::jsonText(r.*field); };
    c.csv = [field](const Record &r, const Sor::CsvStyle &) { return r.*field; };
    c.heading = heading;
    c.width = width;
    if (!heading.isEmpty())
        c.cell = [field](const Record &r, const TableStyle &s) { return orNone(r.*field, s); };
    return c;
}

// A measure that may be missing: null where it is; in the CSV with these decimals (none: not in
// the CSV).
Column measure(const QString &sql, std::optional<double> Record::*field, int csvDecimals = -1)
{
    Column c;
    c.sql = c.key = sql;
    c.type = QStringLiteral("DOUBLE PRECISION");
    c.store = [field](const Entry &e) {
        const std::optional<double> &v = e.record.*field;
        return v ? QVariant(*v) : QVariant();
    };
    c.load = [field](Record &r, const QVariant &v) {
        r.*field = v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
    };
    c.json = [field](const Record &r) { return Sor::jsonNumber(r.*field); };
    if (csvDecimals >= 0)
        c.csv = [field, csvDecimals](const Record &r, const Sor::CsvStyle &style) {
            return Sor::csvNumber(r.*field, csvDecimals, style);
        };
    return c;
}

// A whole number the trace always has (0 where it gives none).
Column count(const QString &sql, int Record::*field)
{
    Column c;
    c.sql = c.key = sql;
    c.type = QStringLiteral("INTEGER");
    c.store = [field](const Entry &e) { return QVariant(e.record.*field); };
    c.load = [field](Record &r, const QVariant &v) { r.*field = v.toInt(); };
    c.json = [field](const Record &r) { return QJsonValue(r.*field); };
    return c;
}

Column withoutCsv(Column c)
{
    c.csv = nullptr;
    return c;
}

// Stored as null when empty: what only some traces have (a verdict, why one is damaged).
Column nullWhenEmpty(Column c)
{
    const auto store = c.store;
    c.store = [store](const Entry &e) {
        const QVariant v = store(e);
        return v.toString().isEmpty() ? QVariant() : v;
    };
    return c;
}

// Said even when empty: what every trace has.
Column alwaysInJson(Column c, QString Record::*field)
{
    c.json = [field](const Record &r) { return QJsonValue(r.*field); };
    return c;
}

// The SHA-256 of the file's bytes: a trace is its content, whatever its name or place.
Column hash()
{
    Column c = alwaysInJson(label(QStringLiteral("hash"), &Record::hash), &Record::hash);
    c.type = QStringLiteral("TEXT PRIMARY KEY");
    return c;
}

Column date()
{
    Column c;
    c.sql = QStringLiteral("measured_at");
    c.type = QStringLiteral("TEXT");
    c.key = QStringLiteral("date");
    c.heading = QStringLiteral("Data");
    c.width = -16;
    c.store = [](const Entry &e) {
        return e.record.date ? QVariant(storedTime(*e.record.date)) : QVariant();
    };
    c.load = [](Record &r, const QVariant &v) {
        if (!v.isNull())
            r.date = QDateTime::fromString(v.toString(), Qt::ISODate).toUTC();
    };
    c.json = [](const Record &r) {
        return r.date ? QJsonValue(r.date->toString(Qt::ISODate)) : QJsonValue();
    };
    c.csv = [](const Record &r, const Sor::CsvStyle &) {
        return r.date ? r.date->toString(Qt::ISODate) : QString();
    };
    c.cell = [](const Record &r, const TableStyle &s) {
        if (!r.date)
            return s.none;
        return (s.localTime ? r.date->toLocalTime() : *r.date)
            .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    };
    return c;
}

// The band, so that a fibre's as-built is found at its band whatever laser measured it.
Column band()
{
    Column c = count(QStringLiteral("band"), &Record::bandNm);
    c.since = 2;
    c.key = QStringLiteral("band_nm");
    c.heading = QStringLiteral("λ (nm)");
    c.width = 6;
    c.store = [](const Entry &e) {
        return e.record.wavelengthNm ? QVariant(e.record.bandNm) : QVariant();
    };
    c.json = [](const Record &r) { return r.bandNm > 0 ? QJsonValue(r.bandNm) : QJsonValue(); };
    c.cell = [](const Record &r, const TableStyle &s) {
        return r.bandNm > 0 ? QString::number(r.bandNm) : s.none;
    };
    return c;
}

Column condition()
{
    Column c
        = label(QStringLiteral("condition"), &Record::condition, QStringLiteral("Condição"), -5);
    c.shortHeading = QStringLiteral("Cond.");
    return c;
}

// A measure the tables show too, in their way.
Column shownMeasure(const QString &sql,
                    std::optional<double> Record::*field,
                    int csvDecimals,
                    const QString &heading,
                    int width,
                    const std::function<QString(const Record &, const TableStyle &)> &cell)
{
    Column c = measure(sql, field, csvDecimals);
    c.heading = heading;
    c.width = width;
    c.cell = cell;
    return c;
}

QString kilometresCell(const Record &r, const TableStyle &s)
{
    return r.lengthM ? Sor::decimal(*r.lengthM / 1000, 3) : s.none;
}

QString lossCell(const Record &r, const TableStyle &s)
{
    return Sor::optionalDecimal(r.totalLossDb, 3, s.none);
}

Column size()
{
    Column c;
    c.sql = QStringLiteral("size");
    c.type = QStringLiteral("BIGINT");
    c.store = [](const Entry &e) { return QVariant(e.record.size); };
    c.load = [](Record &r, const QVariant &v) { r.size = v.toLongLong(); };
    return c;
}

Column verdict()
{
    Column c = nullWhenEmpty(label(QStringLiteral("verdict"), &Record::verdict));
    c.heading = QStringLiteral("Veredito");
    c.width = -11;
    c.cell = [](const Record &r, const TableStyle &s) {
        return orNone(r.damaged ? QStringLiteral("danificado") : r.verdict, s);
    };
    return c;
}

Column damaged()
{
    Column c;
    c.sql = c.key = QStringLiteral("damaged");
    c.type = QStringLiteral("INTEGER");
    c.store = [](const Entry &e) { return QVariant(e.record.damaged ? 1 : 0); };
    c.load = [](Record &r, const QVariant &v) { r.damaged = v.toInt() != 0; };
    c.json = [](const Record &r) { return QJsonValue(r.damaged); };
    c.csv = [](const Record &r, const Sor::CsvStyle &) { return flag(r.damaged); };
    return c;
}

// Every place it was seen is gone: said from its places, not stored.
Column gone()
{
    Column c;
    c.key = QStringLiteral("gone");
    c.json = [](const Record &r) { return QJsonValue(r.gone()); };
    c.csv = [](const Record &r, const Sor::CsvStyle &) { return flag(r.gone()); };
    return c;
}

// Where to open it; the terminal counts its other copies too.
Column path()
{
    Column c;
    c.key = QStringLiteral("path");
    c.heading = QStringLiteral("Arquivo");
    c.csv = [](const Record &r, const Sor::CsvStyle &) { return r.path(); };
    c.cell = [](const Record &r, const TableStyle &s) {
        QString where = r.path();
        if (r.gone())
            where += QStringLiteral(" (sumiu)");
        // Only the copies still there: a place add found gone is no copy to open.
        const int copies = int(std::count_if(
            r.places.cbegin(), r.places.cend(), [](const Place &p) { return !p.gone; }));
        if (s.countCopies && copies > 1)
            where += QStringLiteral(" (+%1 cópia%2)").arg(copies - 1).arg(copies > 2 ? "s" : "");
        return where;
    };
    return c;
}

Column paths()
{
    Column c;
    c.key = QStringLiteral("paths");
    c.json = [](const Record &r) {
        QJsonArray all;
        for (const Place &p : r.places)
            all.append(QJsonObject{{"host", p.host}, {"path", p.path}, {"gone", p.gone}});
        return QJsonValue(all);
    };
    return c;
}

// Kept for the finds alone, never read back.
Column kept(const QString &sql, QString Entry::*field)
{
    Column c;
    c.sql = sql;
    c.type = QStringLiteral("TEXT");
    c.store = [field](const Entry &e) { return QVariant(e.*field); };
    return c;
}

QVector<const Column *> storedColumns(bool readBack)
{
    QVector<const Column *> all;
    for (const Column &c : columns()) {
        if (!c.sql.isEmpty() && (!readBack || c.load))
            all << &c;
    }
    return all;
}

// Those an entry stores, and those a record is read from: found once, as a find reads many.
const QVector<const Column *> &stored()
{
    static const QVector<const Column *> all = storedColumns(false);
    return all;
}

const QVector<const Column *> &readBack()
{
    static const QVector<const Column *> all = storedColumns(true);
    return all;
}

} // namespace

QString storedTime(const QDateTime &t)
{
    return t.toUTC().toString(Qt::ISODate);
}

const QVector<Column> &columns()
{
    static const QVector<Column> all{
        hash(),
        date(),
        label(QStringLiteral("cable"), &Record::cable, QStringLiteral("Cabo"), -12),
        label(QStringLiteral("fiber"), &Record::fiber, QStringLiteral("Fibra"), -8),
        label(QStringLiteral("location_a"), &Record::locationA, QStringLiteral("Ponta A"), -12),
        label(QStringLiteral("location_b"), &Record::locationB),
        band(),
        measure(QStringLiteral("wavelength_nm"), &Record::wavelengthNm, 1),
        condition(),
        label(QStringLiteral("maker"), &Record::maker),
        label(QStringLiteral("model"), &Record::model),
        withoutCsv(label(QStringLiteral("serial"), &Record::serial)),
        size(),
        count(QStringLiteral("pulse_ns"), &Record::pulseNs),
        measure(QStringLiteral("range_m"), &Record::rangeM),
        shownMeasure(QStringLiteral("length_m"),
                     &Record::lengthM,
                     1,
                     QStringLiteral("Compr. (km)"),
                     11,
                     kilometresCell),
        shownMeasure(QStringLiteral("total_loss_db"),
                     &Record::totalLossDb,
                     3,
                     QStringLiteral("Perda (dB)"),
                     10,
                     lossCell),
        measure(QStringLiteral("orl_db"), &Record::orlDb, 2),
        count(QStringLiteral("events"), &Record::events),
        withoutCsv(
            alwaysInJson(label(QStringLiteral("checksum"), &Record::checksum), &Record::checksum)),
        verdict(),
        damaged(),
        nullWhenEmpty(label(QStringLiteral("problem"), &Record::problem)),
        gone(),
        path(),
        paths(),
        kept(QStringLiteral("search"), &Entry::search),
        kept(QStringLiteral("added_at"), &Entry::addedAt)};
    return all;
}

QString insertStatement()
{
    QStringList names;
    QStringList marks;
    for (const Column *c : stored()) {
        names << c->sql;
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO traces (%1) VALUES (%2) ON CONFLICT (hash) DO NOTHING")
        .arg(names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

QVector<QVariant> insertValues(const Entry &entry)
{
    QVector<QVariant> values;
    for (const Column *c : stored())
        values << c->store(entry);
    return values;
}

QString selectedColumns()
{
    QStringList names;
    for (const Column *c : readBack())
        names << c->sql;
    return names.join(QStringLiteral(", "));
}

Record readRecord(const QSqlQuery &query)
{
    Record r;
    int i = 0;
    for (const Column *c : readBack())
        c->load(r, query.value(i++));
    return r;
}

} // namespace Archive
