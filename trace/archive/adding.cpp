#include "archive/archive.h"
#include "archive/columns.h"
#include "archive/connection.h"
#include "archive/databaseproblem.h"
#include "archive/entry.h"

#include "sor/sorreader.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSysInfo>
#include <QThread>

// Archive::add: the files found, each read once, stored in a transaction of its own.
namespace Archive {

namespace {

// A file as this machine's places knew it: one unchanged is not read again.
struct Known
{
    qint64 size = 0;
    qint64 modified = 0;
    bool gone = false;
    QString hash;
};

// The files to index, and the folders walked: their places not found again are gone.
struct Walk
{
    QStringList files;
    QStringList folders;
};

Walk walk(const QStringList &paths, QStringList &errors)
{
    Walk w;
    for (const QString &given : paths) {
        const QFileInfo info(given);
        if (info.isDir()) {
            const QString folder = QDir::cleanPath(info.absoluteFilePath());
            w.folders << folder;
            w.files << Sor::sorFilesIn(folder);
        } else if (info.exists()) {
            w.files << QDir::cleanPath(info.absoluteFilePath());
        } else {
            errors << QStringLiteral("%1: pasta ou arquivo não encontrado").arg(given);
        }
    }
    w.files.removeDuplicates();
    return w;
}

bool execute(QSqlQuery &q, const QVector<QVariant> &values)
{
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    return q.exec();
}

// A file where it was found this time.
struct Seen
{
    QString path;
    qint64 size = 0;
    qint64 modified = 0;
};

// Indexes the files of one add into the archive's database.
class Indexer
{
public:
    Indexer(const QSqlDatabase &db, bool server, QString &error, AddResult &result);
    // Each statement prepared once: on a server every preparation is a round trip. False with
    // the error, said.
    bool prepare();
    // What this machine's places say already, in one read: an unchanged folder costs nothing
    // more.
    void readKnown();
    void index(const QString &path, const std::optional<Acceptance::Limits> &limits);
    // The places under the folders walked that were not found again.
    void markGone(const Walk &walked);

private:
    bool unchanged(const Seen &seen) const;
    // One file, one transaction: a cut leaves it wholly in or wholly out. Tried again while
    // another writer holds the archive.
    bool store(const Entry &entry, const Seen &seen);
    bool storeOnce(const Entry &entry, const Seen &seen);

    QSqlDatabase db;
    bool server = false;
    QString &error;
    AddResult &result;
    const QString host = QSysInfo::machineHostName();
    const QString now = storedTime(QDateTime::currentDateTimeUtc());
    Transaction transaction;
    QSqlQuery insertTrace;
    QSqlQuery setVerdict;
    QSqlQuery insertPlace;
    QHash<QString, Known> known;
};

Indexer::Indexer(const QSqlDatabase &database, bool onServer, QString &lastError, AddResult &added)
    : db(database)
    , server(onServer)
    , error(lastError)
    , result(added)
    , transaction(database, onServer)
    , insertTrace(database)
    , setVerdict(database)
    , insertPlace(database)
{
}

bool Indexer::prepare()
{
    const bool ok
        = insertTrace.prepare(insertStatement())
          && setVerdict.prepare(QStringLiteral("UPDATE traces SET verdict = ? WHERE hash = ?"))
          && insertPlace.prepare(QStringLiteral(
              "INSERT INTO places (host, path, hash, size, modified, gone, seen_at) VALUES (?, "
              "?, ?, ?, ?, 0, ?) ON CONFLICT (host, path) DO UPDATE SET hash = excluded.hash, "
              "size = excluded.size, modified = excluded.modified, gone = 0, seen_at = "
              "excluded.seen_at"));
    if (!ok) {
        const QSqlQuery &failed = insertTrace.lastError().isValid()  ? insertTrace
                                  : setVerdict.lastError().isValid() ? setVerdict
                                                                     : insertPlace;
        error = databaseProblem(
            failed.lastError(), server, QStringLiteral("o arquivo de traços não aceita gravações"));
    }
    return ok;
}

void Indexer::readKnown()
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(
            QStringLiteral("SELECT path, size, modified, gone, hash FROM places WHERE host = ?")))
        return;
    q.addBindValue(host);
    if (!q.exec())
        return;
    while (q.next())
        known.insert(q.value(0).toString(),
                     {q.value(1).toLongLong(),
                      q.value(2).toLongLong(),
                      q.value(3).toBool(),
                      q.value(4).toString()});
}

bool Indexer::unchanged(const Seen &seen) const
{
    const auto before = known.constFind(seen.path);
    return before != known.cend() && !before->gone && before->size == seen.size
           && before->modified == seen.modified;
}

void Indexer::index(const QString &path, const std::optional<Acceptance::Limits> &limits)
{
    const QFileInfo info(path);
    const Seen seen{path, info.size(), info.lastModified().toMSecsSinceEpoch()};
    if (unchanged(seen)) {
        ++result.unchanged;
        return;
    }
    QString problem;
    const QByteArray bytes = Sor::readBytes(path, problem);
    if (!problem.isEmpty()) {
        result.errors << QStringLiteral("%1: %2").arg(path, problem);
        return;
    }
    ++result.read;
    // A file that does not begin as a trace does (a note, a picture, a page saved under a
    // trace's name) is not a damaged trace: it is left out, and said. An empty or nearly empty
    // file is a cut trace only where its name says it is a trace.
    if (!beginsLikeSor(bytes)
        || (bytes.size() < 4 && !path.endsWith(QLatin1String(".sor"), Qt::CaseInsensitive))) {
        result.notTraces << path;
        return;
    }
    Entry entry = entryOf(bytes, limits);
    entry.addedAt = now;
    if (!store(entry, seen))
        result.errors
            << QStringLiteral("%1: não foi gravado no arquivo de traços: %2").arg(path, error);
}

bool Indexer::store(const Entry &entry, const Seen &seen)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (storeOnce(entry, seen))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool Indexer::storeOnce(const Entry &entry, const Seen &seen)
{
    if (!transaction.begin()) {
        error = databaseProblem(transaction.lastError(),
                                server,
                                QStringLiteral("o arquivo de traços não aceita gravações"));
        return false;
    }
    const Record &r = entry.record;
    const bool ok = execute(insertTrace, insertValues(entry));
    const int inserted = ok ? insertTrace.numRowsAffected() : 0;
    // A verdict asked for now is kept on a trace indexed before without one.
    const bool verdictOk = !ok || r.verdict.isEmpty() || execute(setVerdict, {r.verdict, r.hash});
    const bool placeOk
        = ok && verdictOk
          && execute(insertPlace, {host, seen.path, r.hash, seen.size, seen.modified, now});
    if (!placeOk || !transaction.commit()) {
        const QSqlQuery &failed = !ok ? insertTrace : !verdictOk ? setVerdict : insertPlace;
        const QSqlError why = placeOk ? transaction.lastError() : failed.lastError();
        error = databaseProblem(
            why, server, QStringLiteral("o arquivo de traços recusou a gravação"));
        transaction.rollback();
        return false;
    }
    const auto before = known.constFind(seen.path);
    const bool newPlace = before == known.cend() || before->gone || before->hash != r.hash;
    if (inserted > 0)
        ++result.newTraces;
    else if (newPlace)
        ++result.newPlaces;
    if (r.damaged && inserted > 0)
        ++result.damaged;
    known.insert(seen.path, {seen.size, seen.modified, false, r.hash});
    return true;
}

void Indexer::markGone(const Walk &walked)
{
    const QSet<QString> present(walked.files.cbegin(), walked.files.cend());
    for (auto it = known.cbegin(); it != known.cend(); ++it) {
        if (it->gone || present.contains(it.key()))
            continue;
        const bool under
            = std::any_of(walked.folders.cbegin(), walked.folders.cend(), [&](const QString &f) {
                  return it.key().startsWith(f + QLatin1Char('/'));
              });
        if (!under || QFileInfo::exists(it.key()))
            continue;
        QSqlQuery q(db);
        if (q.prepare(QStringLiteral("UPDATE places SET gone = 1 WHERE host = ? AND path = ?"))
            && execute(q, {host, it.key()}))
            ++result.gone;
    }
}

} // namespace

AddResult Archive::add(const QStringList &paths,
                       const std::optional<Acceptance::Limits> &limits,
                       const Progress &progress)
{
    AddResult result;
    const Walk walked = walk(paths, result.errors);
    result.files = walked.files.size();
    const QSqlDatabase db = QSqlDatabase::database(connection, false);
    Indexer indexer(db, server, error, result);
    indexer.readKnown();
    if (!indexer.prepare()) {
        result.errors << error;
        return result;
    }
    int done = 0;
    for (const QString &path : walked.files) {
        if (progress)
            progress(done, walked.files.size(), path);
        ++done;
        indexer.index(path, limits);
    }
    indexer.markGone(walked);
    if (progress)
        progress(walked.files.size(), walked.files.size(), QString());
    return result;
}

} // namespace Archive
