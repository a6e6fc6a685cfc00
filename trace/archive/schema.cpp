#include "archive/schema.h"

#include "archive/archive.h"
#include "archive/columns.h"
#include "archive/connection.h"
#include "archive/databaseproblem.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace Archive {

namespace {

// What each version did besides adding its columns: the first made the table of meta data, the
// places and the indexes of finds; the second filled in the band of each trace it found.
const QVector<QStringList> &besidesColumns()
{
    static const QVector<QStringList> steps{
        {QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)"),
         QStringLiteral("CREATE TABLE places (host TEXT, path TEXT, hash TEXT, size BIGINT, "
                        "modified BIGINT, gone INTEGER DEFAULT 0, seen_at TEXT, "
                        "PRIMARY KEY (host, path))"),
         QStringLiteral("CREATE INDEX traces_fiber ON traces (fiber, cable)"),
         QStringLiteral("CREATE INDEX traces_cable ON traces (cable)"),
         QStringLiteral("CREATE INDEX places_hash ON places (hash)")},
        {QStringLiteral("UPDATE traces SET band = CASE "
                        "WHEN wavelength_nm BETWEEN 1280 AND 1340 THEN 1310 "
                        "WHEN wavelength_nm BETWEEN 1353 AND 1413 THEN 1383 "
                        "WHEN wavelength_nm BETWEEN 1460 AND 1520 THEN 1490 "
                        "WHEN wavelength_nm BETWEEN 1520 AND 1580 THEN 1550 "
                        "WHEN wavelength_nm BETWEEN 1595 AND 1655 THEN 1625 "
                        "ELSE CAST(ROUND(wavelength_nm) AS INTEGER) END"),
         QStringLiteral("CREATE INDEX traces_band ON traces (fiber, band)")}};
    return steps;
}

} // namespace

QStringList schemaStep(int version)
{
    QStringList sql;
    QStringList added;
    for (const Column &c : columns()) {
        if (!c.sql.isEmpty() && c.since == version)
            added << c.sql + QLatin1Char(' ') + c.type;
    }
    if (version == 1) {
        sql << QStringLiteral("CREATE TABLE traces (%1)").arg(added.join(QStringLiteral(", ")));
    } else {
        for (const QString &column : added)
            sql << QStringLiteral("ALTER TABLE traces ADD COLUMN %1").arg(column);
    }
    return sql + besidesColumns().value(version - 1);
}

namespace {

// The schema version the archive says it has; none where it says nothing (a new archive).
std::optional<int> storedVersion(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    if (!db.tables().contains(QStringLiteral("meta"))
        || !q.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'schema_version'"))
        || !q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

} // namespace

bool Archive::prepare(QString *why)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery q(db);
    if (server) {
        // A commit need not wait for the server's disk: a server that crashes loses at most
        // the last moment's files whole (each is one transaction), and the next add reads them
        // again; the archive stays consistent.
        q.exec(QStringLiteral("SET synchronous_commit = off"));
        // The server's notices ("already exists, skipping") are no news to a user, and would
        // land in the middle of a JSON or CSV read from the terminal.
        q.exec(QStringLiteral("SET client_min_messages = warning"));
    } else {
        // A file that is not a database says so at its first read.
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
            *why = QStringLiteral("%1: %2").arg(
                db.databaseName(),
                databaseProblem(
                    q.lastError(), false, QStringLiteral("não é um arquivo de traços (SQLite)")));
            return false;
        }
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    const bool hasMeta = db.tables().contains(QStringLiteral("meta"));
    if (!hasMeta && !db.tables().isEmpty()) {
        *why = QStringLiteral("%1 não é um arquivo de traços: tem outras tabelas")
                   .arg(server ? QStringLiteral("o banco") : db.databaseName());
        return false;
    }
    const std::optional<int> stored = storedVersion(db);
    if (hasMeta && !stored) {
        *why = QStringLiteral("o arquivo de traços não diz sua versão");
        return false;
    }
    const int from = stored.value_or(0);
    if (from > SchemaVersion) {
        *why = QStringLiteral("o arquivo de traços é da versão %1, mais nova que esta (%2): "
                              "atualize o programa")
                   .arg(from)
                   .arg(SchemaVersion);
        return false;
    }
    if (from < SchemaVersion && !migrate(from, why))
        return false;
    version = SchemaVersion;
    // Labels are found in either case: indexes of them in one case keep such a find as quick as
    // an exact one. They change nothing an earlier release reads, so they carry no version; an
    // archive that cannot take them (read only, a user who may not make them) is searched
    // without them.
    q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS traces_fiber_nocase ON traces "
                          "(LOWER(fiber), LOWER(cable))"));
    q.exec(
        QStringLiteral("CREATE INDEX IF NOT EXISTS traces_cable_nocase ON traces (LOWER(cable))"));
    return true;
}

bool Archive::migrate(int from, QString *why)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    Transaction transaction(db, server);
    // One transaction for the whole migration: two programs opening an old archive at once
    // migrate it once; the second waits and finds it done.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!transaction.begin()) {
            *why = databaseProblem(transaction.lastError(),
                                   server,
                                   QStringLiteral("a migração do arquivo de traços não começou"));
            continue;
        }
        const int now = std::max(from, storedVersion(db).value_or(0));
        QSqlQuery q(db);
        bool ok = true;
        for (int step = now + 1; ok && step <= SchemaVersion; ++step) {
            for (const QString &sql : schemaStep(step)) {
                ok = q.exec(sql);
                if (!ok) {
                    *why = databaseProblem(
                        q.lastError(),
                        server,
                        QStringLiteral("a migração do arquivo de traços para a versão %1 falhou")
                            .arg(step));
                    break;
                }
            }
        }
        if (ok && now < SchemaVersion) {
            ok = q.prepare(now == 0 ? QStringLiteral("INSERT INTO meta (key, value) VALUES "
                                                     "('schema_version', ?)")
                                    : QStringLiteral("UPDATE meta SET value = ? WHERE key = "
                                                     "'schema_version'"));
            if (ok) {
                q.addBindValue(QString::number(SchemaVersion));
                ok = q.exec();
            }
            if (!ok)
                *why = databaseProblem(q.lastError(),
                                       server,
                                       QStringLiteral("a versão do arquivo de traços não foi "
                                                      "gravada"));
        }
        if (ok && transaction.commit())
            return true;
        if (ok)
            *why = databaseProblem(transaction.lastError(),
                                   server,
                                   QStringLiteral("a migração do arquivo de traços não foi "
                                                  "gravada"));
        transaction.rollback();
    }
    return false;
}

} // namespace Archive
