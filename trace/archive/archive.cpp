#include "archive/archive.h"

#include "acceptance/twoway.h"
#include "acceptance/verdict.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QAtomicInt>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>

namespace Archive {

namespace {

QAtomicInt connections;

// What each version of the schema adds. The first made the traces and their places; the second
// gave each trace its band, so that a fibre's as-built is found at its band whatever laser
// measured it, and an index for it.
const QVector<QStringList> &steps()
{
    // Written for both SQLite and PostgreSQL.
    static const QVector<QStringList> sqlite{
        {QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)"),
         QStringLiteral(
             "CREATE TABLE traces (hash TEXT PRIMARY KEY, size BIGINT, maker TEXT, model TEXT, "
             "serial TEXT, measured_at TEXT, cable TEXT, fiber TEXT, location_a TEXT, "
             "location_b TEXT, condition TEXT, wavelength_nm DOUBLE PRECISION, pulse_ns INTEGER, "
             "range_m DOUBLE PRECISION, length_m DOUBLE PRECISION, total_loss_db DOUBLE "
             "PRECISION, orl_db DOUBLE PRECISION, events INTEGER, checksum TEXT, verdict TEXT, "
             "damaged INTEGER, problem TEXT, search TEXT, added_at TEXT)"),
         QStringLiteral("CREATE TABLE places (host TEXT, path TEXT, hash TEXT, size BIGINT, "
                        "modified BIGINT, gone INTEGER DEFAULT 0, seen_at TEXT, "
                        "PRIMARY KEY (host, path))"),
         QStringLiteral("CREATE INDEX traces_fiber ON traces (fiber, cable)"),
         QStringLiteral("CREATE INDEX traces_cable ON traces (cable)"),
         QStringLiteral("CREATE INDEX places_hash ON places (hash)")},
        {QStringLiteral("ALTER TABLE traces ADD COLUMN band INTEGER"),
         QStringLiteral("UPDATE traces SET band = CASE "
                        "WHEN wavelength_nm BETWEEN 1280 AND 1340 THEN 1310 "
                        "WHEN wavelength_nm BETWEEN 1353 AND 1413 THEN 1383 "
                        "WHEN wavelength_nm BETWEEN 1460 AND 1520 THEN 1490 "
                        "WHEN wavelength_nm BETWEEN 1520 AND 1580 THEN 1550 "
                        "WHEN wavelength_nm BETWEEN 1595 AND 1655 THEN 1625 "
                        "ELSE CAST(ROUND(wavelength_nm) AS INTEGER) END"),
         QStringLiteral("CREATE INDEX traces_band ON traces (fiber, band)")}};
    return sqlite;
}

QString isoUtc(const QDateTime &t)
{
    return t.toUTC().toString(Qt::ISODate);
}

QVariant optionalValue(const std::optional<double> &v)
{
    return v ? QVariant(*v) : QVariant();
}

std::optional<double> optionalDouble(const QVariant &v)
{
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}

// A query with its values bound in order.
bool run(QSqlQuery &q, const QString &sql, const QVariantList &values = {})
{
    if (!q.prepare(sql))
        return false;
    for (const QVariant &v : values)
        q.addBindValue(v);
    return q.exec();
}

// Why a database cannot be opened, in the user's words.
QString openProblem(const QSqlDatabase &db, bool server)
{
    const QString text = db.lastError().text().trimmed();
    if (server)
        return QStringLiteral("o servidor não responde ou recusou a conexão (%1)").arg(text);
    return QStringLiteral("não foi possível abrir o arquivo (%1)").arg(text);
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
    const bool server = address.startsWith(QLatin1String("postgresql://"))
                        || address.startsWith(QLatin1String("postgres://"));
    a->server = server;
    if (server) {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
            *why = QStringLiteral("esta instalação não tem o driver do PostgreSQL (QPSQL)");
            return nullptr;
        }
        const QUrl url(address);
        if (!url.isValid() || url.host().isEmpty() || url.path().size() < 2) {
            *why = QStringLiteral("endereço inválido: %1 (postgresql://usuário@servidor[:porta]/"
                                  "banco)")
                       .arg(address);
            return nullptr;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), a->connection);
        db.setHostName(url.host());
        db.setPort(url.port(5432));
        db.setDatabaseName(url.path().mid(1));
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
        if (!db.open()) {
            *why = openProblem(db, true);
            return nullptr;
        }
    } else {
        QString path = address;
        if (path.startsWith(QLatin1String("sqlite:")))
            path = path.mid(7);
        if (path.isEmpty()) {
            path = defaultPath();
            if (mayCreate)
                QDir().mkpath(QFileInfo(path).absolutePath());
        }
        const QFileInfo info(path);
        if (info.isDir()) {
            *why = QStringLiteral("%1 é uma pasta; dê o nome de um arquivo").arg(path);
            return nullptr;
        }
        // Only what may create an archive creates the default one's folder.
        if (!info.absoluteDir().exists() && (mayCreate || !address.isEmpty())) {
            *why = QStringLiteral("a pasta de %1 não existe").arg(path);
            return nullptr;
        }
        if (!mayCreate && (!info.exists() || info.size() == 0)) {
            *why = info.exists()
                       ? QStringLiteral("%1 está vazio: não é um arquivo de traços").arg(path)
                       : QStringLiteral("%1 não existe (archive add cria o arquivo de "
                                        "traços)")
                             .arg(path);
            return nullptr;
        }
        if (info.exists() && !info.isWritable()) {
            *why = QStringLiteral("%1: sem permissão de escrita").arg(path);
            return nullptr;
        }
        if (!info.exists() && !QFileInfo(info.absolutePath()).isWritable()) {
            *why = QStringLiteral("%1: sem permissão de escrita na pasta").arg(path);
            return nullptr;
        }
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
            *why = QStringLiteral("esta instalação não tem o driver do SQLite (QSQLITE)");
            return nullptr;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), a->connection);
        db.setDatabaseName(path);
        // Another technician's add holds the file for a moment: wait rather than fail.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
        if (!db.open()) {
            *why = openProblem(db, false);
            return nullptr;
        }
    }
    if (!a->prepare(why))
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

bool Archive::prepare(QString *why)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery q(db);
    if (server) {
        // A commit need not wait for the server's disk: a server that crashes loses at most
        // the last moment's files whole (each is one transaction), and the next add reads them
        // again; the archive stays consistent.
        q.exec(QStringLiteral("SET synchronous_commit = off"));
    } else {
        // A file that is not a database says so at its first read.
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
            *why = QStringLiteral("%1 não é um arquivo de traços (SQLite): %2")
                       .arg(db.databaseName(), q.lastError().text());
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
    int from = 0;
    if (hasMeta) {
        if (!run(q, QStringLiteral("SELECT value FROM meta WHERE key = 'schema_version'"))
            || !q.next()) {
            *why = QStringLiteral("o arquivo de traços não diz sua versão");
            return false;
        }
        from = q.value(0).toInt();
    }
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
    return true;
}

bool Archive::migrate(int from, QString *why)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    const QVector<QStringList> &all = steps();
    // One transaction for the whole migration: two programs opening an old archive at once
    // migrate it once; the second waits and finds it done.
    for (int attempt = 0; attempt < 3; ++attempt) {
        QSqlQuery q(db);
        if (server ? !db.transaction() : !q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            *why = db.lastError().text();
            continue;
        }
        int now = 0;
        if (db.tables().contains(QStringLiteral("meta"))
            && run(q, QStringLiteral("SELECT value FROM meta WHERE key = 'schema_version'"))
            && q.next())
            now = q.value(0).toInt();
        if (now < from)
            now = from;
        bool ok = true;
        for (int step = now; ok && step < SchemaVersion; ++step) {
            for (const QString &sql : all.at(step)) {
                if (!q.exec(sql)) {
                    *why = QStringLiteral("a migração do arquivo de traços para a versão %1 "
                                          "falhou: %2")
                               .arg(step + 1)
                               .arg(q.lastError().text());
                    ok = false;
                    break;
                }
            }
        }
        if (ok && now < SchemaVersion) {
            ok = run(q,
                     now == 0 ? QStringLiteral("INSERT INTO meta (key, value) VALUES "
                                               "('schema_version', ?)")
                              : QStringLiteral("UPDATE meta SET value = ? WHERE key = "
                                               "'schema_version'"),
                     {QString::number(SchemaVersion)});
            if (!ok)
                *why = q.lastError().text();
        }
        if (ok && (server ? db.commit() : q.exec(QStringLiteral("COMMIT"))))
            return true;
        if (server)
            db.rollback();
        else
            q.exec(QStringLiteral("ROLLBACK"));
    }
    return false;
}

AddResult Archive::add(const QStringList &paths,
                       const std::optional<Acceptance::Limits> &limits,
                       const Progress &progress)
{
    AddResult result;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    const QString host = QSysInfo::machineHostName();
    // The files, and the folders walked: their places not found again are gone.
    QStringList files;
    QStringList folders;
    for (const QString &given : paths) {
        const QFileInfo info(given);
        if (info.isDir()) {
            const QString folder = QDir::cleanPath(info.absoluteFilePath());
            folders << folder;
            QDirIterator it(folder,
                            {QStringLiteral("*.sor"), QStringLiteral("*.SOR")},
                            QDir::Files | QDir::Readable | QDir::Hidden,
                            QDirIterator::Subdirectories);
            QStringList found;
            while (it.hasNext())
                found << QDir::cleanPath(it.next());
            std::sort(found.begin(), found.end());
            files << found;
        } else if (info.exists()) {
            files << QDir::cleanPath(info.absoluteFilePath());
        } else {
            result.errors << QStringLiteral("%1: pasta ou arquivo não encontrado").arg(given);
        }
    }
    files.removeDuplicates();
    result.files = files.size();
    // What this machine's places say already, in one read: an unchanged folder costs nothing
    // more.
    struct Known
    {
        qint64 size = 0;
        qint64 modified = 0;
        bool gone = false;
        QString hash;
    };
    QHash<QString, Known> known;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (run(q,
                QStringLiteral(
                    "SELECT path, size, modified, gone, hash FROM places WHERE host = ?"),
                {host})) {
            while (q.next())
                known.insert(q.value(0).toString(),
                             {q.value(1).toLongLong(),
                              q.value(2).toLongLong(),
                              q.value(3).toBool(),
                              q.value(4).toString()});
        }
    }
    // Each statement prepared once: on a server every preparation is a round trip.
    QSqlQuery insertTrace(db);
    QSqlQuery setVerdict(db);
    QSqlQuery insertPlace(db);
    QSqlQuery control(db);
    const bool prepared
        = insertTrace.prepare(QStringLiteral(
              "INSERT INTO traces (hash, size, maker, model, serial, measured_at, cable, fiber, "
              "location_a, location_b, condition, wavelength_nm, band, pulse_ns, range_m, "
              "length_m, total_loss_db, orl_db, events, checksum, verdict, damaged, problem, "
              "search, added_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
              "?, ?, ?, ?, ?, ?, ?) ON CONFLICT (hash) DO NOTHING"))
          && setVerdict.prepare(QStringLiteral("UPDATE traces SET verdict = ? WHERE hash = ?"))
          && insertPlace.prepare(QStringLiteral(
              "INSERT INTO places (host, path, hash, size, modified, gone, seen_at) VALUES (?, "
              "?, ?, ?, ?, 0, ?) ON CONFLICT (host, path) DO UPDATE SET hash = excluded.hash, "
              "size = excluded.size, modified = excluded.modified, gone = 0, seen_at = "
              "excluded.seen_at"));
    if (!prepared) {
        result.errors << QStringLiteral("o arquivo de traços não aceita gravações (%1)")
                             .arg(db.lastError().text());
        return result;
    }
    const auto execute = [](QSqlQuery &q, const QVariantList &values) {
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values.at(i));
        return q.exec();
    };
    const QString now = isoUtc(QDateTime::currentDateTimeUtc());
    int done = 0;
    for (const QString &path : files) {
        if (progress)
            progress(done, files.size(), path);
        ++done;
        const QFileInfo info(path);
        const qint64 size = info.size();
        const qint64 modified = info.lastModified().toMSecsSinceEpoch();
        const auto seen = known.constFind(path);
        if (seen != known.cend() && !seen->gone && seen->size == size
            && seen->modified == modified) {
            ++result.unchanged;
            continue;
        }
        QString problem;
        const QByteArray bytes = Sor::readBytes(path, problem);
        if (!problem.isEmpty()) {
            result.errors << QStringLiteral("%1: %2").arg(path, problem);
            continue;
        }
        ++result.read;
        const QString hash = QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        // The points too: the verdict measures a marker that stores no loss on them, and takes
        // the analysis' events where the file stores none, as check does.
        Sor::Trace t = Sor::read(bytes);
        const int storedEvents = t.keyEvents ? int(t.keyEvents->events.size()) : 0;
        const bool damaged = t.damaged() || t.version == 0;
        QString why;
        if (t.version == 0)
            why = t.errors.isEmpty() ? QStringLiteral("não é um traço SOR") : t.errors.first();
        else if (!t.errors.isEmpty())
            why = t.errors.first();
        else if (t.checksum.state == Sor::ChecksumState::Mismatch)
            why = QStringLiteral("a soma de verificação não confere");
        const Acceptance::Link link
            = damaged && t.version == 0 ? Acceptance::Link() : Acceptance::eventsLink(t);
        QString verdict;
        if (limits && t.version != 0)
            verdict = Acceptance::verdictWord(Acceptance::judge(link, *limits).verdict);
        const auto text = [](const QString &s) { return s.trimmed(); };
        const QString cable = t.general ? text(t.general->cableId) : QString();
        const QString fiber = t.general ? text(t.general->fiberId) : QString();
        const QString locationA = t.general ? text(t.general->locationA) : QString();
        const QString locationB = t.general ? text(t.general->locationB) : QString();
        const QString condition = t.general ? text(t.general->buildCondition) : QString();
        const QString maker = t.supplier ? text(t.supplier->supplier) : QString();
        const QString model = t.supplier ? text(t.supplier->mainframe) : QString();
        const QString serial = t.supplier ? text(t.supplier->mainframeSerial) : QString();
        const QString search = QStringList{cable,
                                           fiber,
                                           locationA,
                                           locationB,
                                           maker,
                                           model,
                                           serial,
                                           t.general ? t.general->operatorName : QString(),
                                           t.general ? t.general->comment : QString()}
                                   .join(QLatin1Char(' '))
                                   .toLower();
        const QVariantList row{
            hash,
            bytes.size(),
            maker,
            model,
            serial,
            t.date ? QVariant(isoUtc(*t.date)) : QVariant(),
            cable,
            fiber,
            locationA,
            locationB,
            condition,
            optionalValue(t.wavelengthNm),
            t.wavelengthNm ? QVariant(Sor::bandOf(*t.wavelengthNm)) : QVariant(),
            t.fixed && !t.fixed->pulseWidthsNs.isEmpty() ? t.fixed->pulseWidthsNs.first() : 0,
            optionalValue(t.rangeM),
            optionalValue(link.lengthM),
            optionalValue(link.totalLossDb),
            optionalValue(link.orlDb),
            storedEvents,
            Sor::stateName(t.checksum.state),
            verdict.isEmpty() ? QVariant() : QVariant(verdict),
            damaged ? 1 : 0,
            why.isEmpty() ? QVariant() : QVariant(why),
            search,
            now};
        // One file, one transaction: a cut leaves it wholly in or wholly out.
        const auto before = known.constFind(path);
        const bool newPlace = before == known.cend() || before->gone || before->hash != hash;
        bool stored = false;
        for (int attempt = 0; attempt < 5 && !stored; ++attempt) {
            if (server ? !db.transaction() : !control.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
                error = db.lastError().text();
                QThread::msleep(50);
                continue;
            }
            const bool ok = execute(insertTrace, row);
            const int inserted = ok ? insertTrace.numRowsAffected() : 0;
            // A verdict asked for now is kept on a trace indexed before without one.
            const bool verdictOk = !ok || verdict.isEmpty() || execute(setVerdict, {verdict, hash});
            const bool placeOk
                = ok && verdictOk && execute(insertPlace, {host, path, hash, size, modified, now});
            if (placeOk && (server ? db.commit() : control.exec(QStringLiteral("COMMIT")))) {
                stored = true;
                if (inserted > 0)
                    ++result.newTraces;
                else if (newPlace)
                    ++result.newPlaces;
                if (damaged && inserted > 0)
                    ++result.damaged;
                known.insert(path, {size, modified, false, hash});
            } else {
                const QSqlQuery &failed = !ok ? insertTrace : !verdictOk ? setVerdict : insertPlace;
                error = failed.lastError().text().trimmed();
                if (error.isEmpty())
                    error = db.lastError().text();
                if (server)
                    db.rollback();
                else
                    control.exec(QStringLiteral("ROLLBACK"));
                QThread::msleep(50);
            }
        }
        if (!stored)
            result.errors
                << QStringLiteral("%1: não foi gravado no arquivo de traços (%2)").arg(path, error);
    }
    // The places under the folders walked that were not found again.
    QSet<QString> present(files.cbegin(), files.cend());
    for (auto it = known.cbegin(); it != known.cend(); ++it) {
        if (it->gone || present.contains(it.key()))
            continue;
        const bool under = std::any_of(folders.cbegin(), folders.cend(), [&](const QString &f) {
            return it.key().startsWith(f + QLatin1Char('/'));
        });
        if (!under || QFileInfo::exists(it.key()))
            continue;
        QSqlQuery q(db);
        if (run(q,
                QStringLiteral("UPDATE places SET gone = 1 WHERE host = ? AND path = ?"),
                {host, it.key()}))
            ++result.gone;
    }
    if (progress)
        progress(files.size(), files.size(), QString());
    return result;
}

QVector<Record> Archive::select(const QString &where,
                                const QVariantList &values,
                                const QString &order,
                                int limit) const
{
    QVector<Record> records;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString sql
        = QStringLiteral("SELECT hash, size, maker, model, serial, measured_at, cable, fiber, "
                         "location_a, location_b, condition, wavelength_nm, band, pulse_ns, "
                         "range_m, length_m, total_loss_db, orl_db, events, checksum, verdict, "
                         "damaged, problem FROM traces%1%2")
              .arg(where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where,
                   order.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + order);
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    if (!run(q, sql, values)) {
        error = q.lastError().text();
        return records;
    }
    QHash<QString, int> byHash;
    while (q.next()) {
        Record r;
        r.hash = q.value(0).toString();
        r.size = q.value(1).toLongLong();
        r.maker = q.value(2).toString();
        r.model = q.value(3).toString();
        r.serial = q.value(4).toString();
        if (!q.value(5).isNull())
            r.date = QDateTime::fromString(q.value(5).toString(), Qt::ISODate).toUTC();
        r.cable = q.value(6).toString();
        r.fiber = q.value(7).toString();
        r.locationA = q.value(8).toString();
        r.locationB = q.value(9).toString();
        r.condition = q.value(10).toString();
        r.wavelengthNm = optionalDouble(q.value(11));
        r.bandNm = q.value(12).toInt();
        r.pulseNs = q.value(13).toInt();
        r.rangeM = optionalDouble(q.value(14));
        r.lengthM = optionalDouble(q.value(15));
        r.totalLossDb = optionalDouble(q.value(16));
        r.orlDb = optionalDouble(q.value(17));
        r.events = q.value(18).toInt();
        r.checksum = q.value(19).toString();
        r.verdict = q.value(20).toString();
        r.damaged = q.value(21).toInt() != 0;
        r.problem = q.value(22).toString();
        byHash.insert(r.hash, records.size());
        records.append(r);
    }
    if (records.isEmpty())
        return records;
    // Their places, in one read for a short list, else all of them at once.
    QSqlQuery p(db);
    p.setForwardOnly(true);
    QString placesSql = QStringLiteral("SELECT hash, host, path, gone FROM places");
    QVariantList hashes;
    if (records.size() <= 500) {
        QStringList marks;
        for (const Record &r : records) {
            marks << QStringLiteral("?");
            hashes << r.hash;
        }
        placesSql += QStringLiteral(" WHERE hash IN (%1)").arg(marks.join(QLatin1Char(',')));
    }
    placesSql += QStringLiteral(" ORDER BY host, path");
    if (run(p, placesSql, hashes)) {
        while (p.next()) {
            const auto at = byHash.constFind(p.value(0).toString());
            if (at != byHash.cend())
                records[*at].places.append(
                    {p.value(1).toString(), p.value(2).toString(), p.value(3).toInt() != 0});
        }
    }
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
    equal(QStringLiteral("cable"), query.cable);
    equal(QStringLiteral("fiber"), query.fiber);
    equal(QStringLiteral("condition"), query.condition.toUpper());
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
        values << isoUtc(query.from->startOfDay(Qt::UTC));
    }
    if (query.to) {
        where << QStringLiteral("measured_at < ?");
        values << isoUtc(query.to->addDays(1).startOfDay(Qt::UTC));
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
    // Its other end too, where the ids name the fibre from each end, as the cable job pairs them.
    const auto either = [](const QString &column, const QString &id, QVariantList &values) {
        const QString other = Acceptance::nameFromTheOtherEnd(id.trimmed());
        values << id.trimmed();
        if (other.isEmpty())
            return QStringLiteral("%1 = ?").arg(column);
        values << other;
        return QStringLiteral("%1 IN (?, ?)").arg(column);
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
    const QString self = t.date ? isoUtc(*t.date) : QString();
    const QVector<Record> all
        = select(where,
                 values,
                 QStringLiteral("CASE WHEN condition = 'BC' THEN 0 ELSE 1 END, measured_at, hash"),
                 0);
    bool onlyLater = false;
    for (const Record &r : all) {
        // Not the trace itself, nor a copy of it, nor one whose every copy is gone; and measured
        // before it: a comparison runs forward in time.
        if (r.gone() || (r.date && isoUtc(*r.date) == self))
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
