#include "archive/connection.h"

#include "archive/archive.h"
#include "archive/databaseproblem.h"
#include "archive/entry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>

namespace Archive {

namespace {

// Why a database cannot be opened, in the user's words.
QString openProblem(const QSqlDatabase &db, bool server)
{
    return databaseProblem(db.lastError(),
                           server,
                           server ? QStringLiteral("o servidor recusou a conexão")
                                  : QStringLiteral("não foi possível abrir o arquivo"));
}

bool connectServer(const QString &connection, const QString &address, QString *why)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *why = QStringLiteral("esta instalação não tem o driver do PostgreSQL (QPSQL)");
        return false;
    }
    const QUrl url(address);
    if (!url.isValid() || url.host().isEmpty() || url.path().size() < 2) {
        *why = QStringLiteral("endereço inválido: %1 (postgresql://usuário@servidor[:porta]/"
                              "banco)")
                   .arg(address);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    db.setHostName(url.host());
    db.setPort(url.port(5432));
    db.setDatabaseName(url.path().mid(1));
    db.setUserName(url.userName());
    db.setPassword(url.password());
    db.setConnectOptions(QStringLiteral("connect_timeout=5"));
    if (!db.open()) {
        *why = openProblem(db, true);
        return false;
    }
    return true;
}

// The SQLite file the address names: the user's own where it names none.
QString filePath(const QString &address, bool mayCreate)
{
    QString path = address;
    if (path.startsWith(QLatin1String("sqlite:")))
        path = path.mid(7);
    if (path.isEmpty()) {
        path = Archive::defaultPath();
        if (mayCreate)
            QDir().mkpath(QFileInfo(path).absolutePath());
    }
    return path;
}

// What a file that is no SQLite database is, said; empty for a database, an empty file or one
// that cannot be read (those are said elsewhere).
QString whatItIs(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray start = file.read(16);
    if (start.isEmpty() || start == QByteArray("SQLite format 3\0", 16))
        return QString();
    if (beginsLikeSor(start))
        return QStringLiteral("%1 é um traço SOR, não um arquivo de traços (o arquivo de traços "
                              "é um banco de dados SQLite: dê outro nome em --db)")
            .arg(path);
    return QStringLiteral("%1 não é um arquivo de traços (não é um banco de dados SQLite)")
        .arg(path);
}

// Why this file cannot be the archive (a folder, no folder, no archive, not writable); empty
// when it can.
QString fileProblem(const QString &address, const QString &path, bool mayCreate)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("%1 é uma pasta; dê o nome de um arquivo").arg(path);
    // Only what may create an archive creates the default one's folder.
    if (!info.absoluteDir().exists() && (mayCreate || !address.isEmpty()))
        return QStringLiteral("a pasta de %1 não existe").arg(path);
    if (!mayCreate && (!info.exists() || info.size() == 0)) {
        return info.exists()
                   ? QStringLiteral("%1 está vazio: não é um arquivo de traços").arg(path)
                   : QStringLiteral("%1 não existe (archive add cria o arquivo de traços)")
                         .arg(path);
    }
    // What a file is comes before whether it may be written: a trace given by mistake is
    // said to be a trace, whatever its permissions.
    const QString kind = whatItIs(path);
    if (!kind.isEmpty())
        return kind;
    if (info.exists() && !info.isWritable())
        return QStringLiteral("%1: sem permissão de escrita").arg(path);
    if (!info.exists() && !QFileInfo(info.absolutePath()).isWritable())
        return QStringLiteral("%1: sem permissão de escrita na pasta").arg(path);
    return QString();
}

bool connectFile(const QString &connection, const QString &address, bool mayCreate, QString *why)
{
    const QString path = filePath(address, mayCreate);
    *why = fileProblem(address, path, mayCreate);
    if (!why->isEmpty())
        return false;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        *why = QStringLiteral("esta instalação não tem o driver do SQLite (QSQLITE)");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    // Another technician's add holds the file for a moment: wait rather than fail.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    if (!db.open()) {
        *why = openProblem(db, false);
        return false;
    }
    return true;
}

} // namespace

bool isServerAddress(const QString &address)
{
    return address.startsWith(QLatin1String("postgresql://"))
           || address.startsWith(QLatin1String("postgres://"));
}

bool connectDatabase(const QString &connection,
                     const QString &address,
                     bool mayCreate,
                     QString *why)
{
    return isServerAddress(address) ? connectServer(connection, address, why)
                                    : connectFile(connection, address, mayCreate, why);
}

Transaction::Transaction(const QSqlDatabase &database, bool onServer)
    : db(database)
    , server(onServer)
    , control(database)
{
}

bool Transaction::begin()
{
    return server ? db.transaction() : control.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

bool Transaction::commit()
{
    return server ? db.commit() : control.exec(QStringLiteral("COMMIT"));
}

void Transaction::rollback()
{
    if (server)
        db.rollback();
    else
        control.exec(QStringLiteral("ROLLBACK"));
}

QSqlError Transaction::lastError() const
{
    return server ? db.lastError() : control.lastError();
}

} // namespace Archive
