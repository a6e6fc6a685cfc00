#include "archive/archive.h"

#include "archive/columns.h"
#include "archive/connection.h"
#include "archive/databaseproblem.h"
#include "archive/schema.h"

#include "acceptance/twoway.h"
#include "sor/sortext.h"

#include <QAtomicInt>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>

namespace Archive {

namespace {

QAtomicInt connections;

// A query with its values bound in order.
bool run(QSqlQuery &q, const QString &sql, const QVariantList &values = {})
{
    if (!q.prepare(sql))
        return false;
    for (const QVariant &v : values)
        q.addBindValue(v);
    return q.exec();
}

} // namespace

bool Record::gone() const
{
    return std::all_of(places.cbegin(), places.cend(), [](const Place &p) { return p.gone; });
}

QString Record::path() const
{
    const QString host = QSysInfo::machineHostName();
    for (const Place &p : places) {
        if (!p.gone && p.host == host)
            return p.path;
    }
    for (const Place &p : places) {
        if (!p.gone)
            return p.path;
    }
    return places.isEmpty() ? QString() : places.first().path;
}

QString Archive::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/otdr/arquivo-de-tracos.sqlite");
}

std::unique_ptr<Archive> Archive::open(const QString &address, QString *why, bool mayCreate)
{
    std::unique_ptr<Archive> a(new Archive);
    a->connection = QStringLiteral("otdr-archive-%1").arg(connections.fetchAndAddRelaxed(1));
    a->server = isServerAddress(address);
    if (!connectDatabase(a->connection, address, mayCreate, why) || !a->prepare(why))
        return nullptr;
    return a;
}

Archive::~Archive()
{
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

int Archive::schemaVersion() const
{
    return version;
}

bool Archive::isServer() const
{
    return server;
}

namespace {

// The records the query finds, without their places.
QVector<Record> readRecords(QSqlQuery &q, QHash<QString, int> &byHash)
{
    QVector<Record> records;
    while (q.next()) {
        Record r = readRecord(q);
        byHash.insert(r.hash, records.size());
        records.append(r);
    }
    return records;
}

// Their places, in one read for a short list, else all of them at once.
void readPlaces(const QSqlDatabase &db, QVector<Record> &records, const QHash<QString, int> &byHash)
{
    QSqlQuery p(db);
    p.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT hash, host, path, gone FROM places");
    QVariantList hashes;
    if (records.size() <= 500) {
        QStringList marks;
        for (const Record &r : records) {
            marks << QStringLiteral("?");
            hashes << r.hash;
        }
        sql += QStringLiteral(" WHERE hash IN (%1)").arg(marks.join(QLatin1Char(',')));
    }
    sql += QStringLiteral(" ORDER BY host, path");
    if (!run(p, sql, hashes))
        return;
    while (p.next()) {
        const auto at = byHash.constFind(p.value(0).toString());
        if (at != byHash.cend())
            records[*at].places.append(
                {p.value(1).toString(), p.value(2).toString(), p.value(3).toInt() != 0});
    }
}

} // namespace

QVector<Record> Archive::select(const QString &where,
                                const QVariantList &values,
                                const QString &order,
                                int limit) const
{
    const QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT %1 FROM traces%2%3")
                      .arg(selectedColumns(),
                           where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where,
                           order.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + order);
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    if (!run(q, sql, values)) {
        error = databaseProblem(
            q.lastError(), server, QStringLiteral("a consulta ao arquivo de traços falhou"));
        return {};
    }
    QHash<QString, int> byHash;
    QVector<Record> records = readRecords(q, byHash);
    if (!records.isEmpty())
        readPlaces(db, records, byHash);
    return records;
}

namespace {

// A LIKE pattern that finds the text anywhere, its own % and _ taken as they are.
QString containing(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    text.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + text + QLatin1Char('%');
}

} // namespace

QVector<Record> Archive::find(const Query &query) const
{
    QStringList where;
    QVariantList values;
    const auto equal = [&](const QString &column, const QString &value) {
        if (value.isEmpty())
            return;
        where << QStringLiteral("%1 = ?").arg(column);
        values << value;
    };
    // A label as typed in the field: "f07" is the fibre F07.
    const auto sameLabel = [&](const QString &column, const QString &value) {
        if (value.isEmpty())
            return;
        where << QStringLiteral("LOWER(%1) = LOWER(?)").arg(column);
        values << value;
    };
    sameLabel(QStringLiteral("cable"), query.cable);
    sameLabel(QStringLiteral("fiber"), query.fiber);
    sameLabel(QStringLiteral("condition"), query.condition);
    equal(QStringLiteral("verdict"), query.verdict.toUpper());
    if (!query.maker.isEmpty()) {
        where << QStringLiteral("(LOWER(maker) LIKE ? ESCAPE '\\' OR LOWER(model) LIKE ? "
                                "ESCAPE '\\')");
        values << containing(query.maker.toLower()) << containing(query.maker.toLower());
    }
    if (query.bandNm > 0) {
        where << QStringLiteral("band = ?");
        values << Sor::bandOf(query.bandNm);
    }
    if (query.from) {
        where << QStringLiteral("measured_at >= ?");
        values << storedTime(query.from->startOfDay(Qt::UTC));
    }
    if (query.to) {
        where << QStringLiteral("measured_at < ?");
        values << storedTime(query.to->addDays(1).startOfDay(Qt::UTC));
    }
    for (const QString &word : query.text.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        where << QStringLiteral("(search LIKE ? ESCAPE '\\' OR EXISTS (SELECT 1 FROM places p "
                                "WHERE p.hash = traces.hash AND LOWER(p.path) LIKE ? ESCAPE "
                                "'\\'))");
        values << containing(word) << containing(word);
    }
    return select(where.join(QStringLiteral(" AND ")),
                  values,
                  QStringLiteral("measured_at, cable, fiber, hash"),
                  query.limit);
}

QVector<Record> Archive::history(const QString &fiber, const QString &cable) const
{
    if (fiber.trimmed().isEmpty())
        return {};
    // Its other end too, where the ids name the fibre from each end, as the cable job pairs them;
    // in either case, as typed in the field.
    const auto either = [](const QString &column, const QString &id, QVariantList &values) {
        const QString other = Acceptance::nameFromTheOtherEnd(id.trimmed());
        values << id.trimmed();
        if (other.isEmpty())
            return QStringLiteral("LOWER(%1) = LOWER(?)").arg(column);
        values << other;
        return QStringLiteral("LOWER(%1) IN (LOWER(?), LOWER(?))").arg(column);
    };
    QVariantList values;
    QString where = either(QStringLiteral("fiber"), fiber, values);
    if (!cable.isEmpty())
        where += QStringLiteral(" AND ") + either(QStringLiteral("cable"), cable, values);
    return select(where,
                  values,
                  QStringLiteral("CASE WHEN condition = 'BC' THEN 0 ELSE 1 END, measured_at, "
                                 "band, location_a, hash"),
                  0);
}

std::optional<Record> Archive::baselineOf(const Sor::Trace &t, QString *why) const
{
    const QString fiber = t.general ? t.general->fiberId.trimmed() : QString();
    if (fiber.isEmpty()) {
        *why = QStringLiteral("o traço não diz de que fibra é");
        return std::nullopt;
    }
    if (!t.wavelengthNm) {
        *why = QStringLiteral("o traço não diz seu comprimento de onda");
        return std::nullopt;
    }
    const QString cable = t.general->cableId.trimmed();
    const QString end = t.general->locationA.trimmed();
    QString where = QStringLiteral("fiber = ? AND band = ? AND location_a = ? AND damaged = 0");
    QVariantList values{fiber, Sor::bandOf(*t.wavelengthNm), end};
    if (!cable.isEmpty()) {
        where += QStringLiteral(" AND cable = ?");
        values << cable;
    }
    const QString self = t.date ? storedTime(*t.date) : QString();
    const QVector<Record> all
        = select(where,
                 values,
                 QStringLiteral("CASE WHEN condition = 'BC' THEN 0 ELSE 1 END, measured_at, hash"),
                 0);
    bool onlyLater = false;
    for (const Record &r : all) {
        // Not the trace itself, nor a copy of it, nor one whose every copy is gone; and measured
        // before it: a comparison runs forward in time.
        if (r.gone() || (r.date && storedTime(*r.date) == self))
            continue;
        if (t.date && (!r.date || *r.date >= *t.date)) {
            onlyLater = true;
            continue;
        }
        return r;
    }
    if (onlyLater) {
        *why = QStringLiteral("nenhum traço da fibra %1%2 de %3 em %4 nm medido antes deste (%5) "
                              "no arquivo: é o mais antigo")
                   .arg(fiber,
                        cable.isEmpty() ? QString() : QStringLiteral(" do cabo %1").arg(cable),
                        end.isEmpty() ? QStringLiteral("(ponta sem nome)") : end)
                   .arg(Sor::bandOf(*t.wavelengthNm))
                   .arg(Sor::dateText(*t.date));
        return std::nullopt;
    }
    *why = QStringLiteral("nenhum outro traço da fibra %1%2 de %3 em %4 nm no arquivo")
               .arg(fiber,
                    cable.isEmpty() ? QString() : QStringLiteral(" do cabo %1").arg(cable),
                    end.isEmpty() ? QStringLiteral("(ponta sem nome)") : end)
               .arg(Sor::bandOf(*t.wavelengthNm));
    return std::nullopt;
}

int Archive::count() const
{
    QSqlQuery q(QSqlDatabase::database(connection, false));
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM traces")) && q.next() ? q.value(0).toInt()
                                                                             : 0;
}

} // namespace Archive
