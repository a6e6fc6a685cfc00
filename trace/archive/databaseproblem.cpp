#include "archive/databaseproblem.h"

#include <QVector>

namespace Archive {

namespace {

enum class Kind {
    Other,
    CannotOpen,
    Busy,
    ReadOnly,
    DiskFull,
    NotADatabase,
    Damaged,
    Unreachable,
    Refused,
    NoDatabase
};

struct Sign
{
    Kind kind;
    QString code;  // SQLite's result code, or the start of the server's SQLSTATE
    QString words; // in the driver's text, when it gives no code (a connection that failed)
};

// SQLite's result codes (its extended codes share the low byte) and the server's SQLSTATEs, with
// the words each driver writes where a failed connection leaves no code.
const QVector<Sign> &fileSigns()
{
    static const QVector<Sign> signs{
        {Kind::Busy, QStringLiteral("5"), QStringLiteral("database is locked")},
        {Kind::Busy, QStringLiteral("6"), QStringLiteral("table is locked")},
        {Kind::ReadOnly, QStringLiteral("8"), QStringLiteral("readonly database")},
        {Kind::ReadOnly, QStringLiteral("3"), QStringLiteral("access permission denied")},
        {Kind::DiskFull, QStringLiteral("13"), QStringLiteral("disk is full")},
        {Kind::CannotOpen, QStringLiteral("14"), QStringLiteral("unable to open database")},
        {Kind::NotADatabase, QStringLiteral("26"), QStringLiteral("not a database")},
        {Kind::Damaged, QStringLiteral("11"), QStringLiteral("malformed")},
        {Kind::CannotOpen, QStringLiteral("10"), QStringLiteral("disk I/O error")},
    };
    return signs;
}

const QVector<Sign> &serverSigns()
{
    static const QVector<Sign> signs{
        {Kind::Refused, QStringLiteral("28"), QStringLiteral("password authentication failed")},
        {Kind::Refused, QString(), QStringLiteral("no password supplied")},
        {Kind::Refused, QString(), QStringLiteral("authentication failed")},
        {Kind::Refused, QString(), QStringLiteral("role \"")},
        {Kind::NoDatabase, QStringLiteral("3D000"), QStringLiteral("database \"")},
        {Kind::Busy, QStringLiteral("55P03"), QString()},
        {Kind::Busy, QStringLiteral("40"), QString()},
        {Kind::ReadOnly, QStringLiteral("25006"), QString()},
        {Kind::ReadOnly, QStringLiteral("42501"), QString()},
        {Kind::DiskFull, QStringLiteral("53100"), QString()},
        {Kind::Unreachable, QStringLiteral("08"), QStringLiteral("could not connect")},
        {Kind::Unreachable, QStringLiteral("57P"), QStringLiteral("connection refused")},
        {Kind::Unreachable, QString(), QStringLiteral("timeout expired")},
        {Kind::Unreachable, QString(), QStringLiteral("could not translate host name")},
        {Kind::Unreachable, QString(), QStringLiteral("no route to host")},
        {Kind::Unreachable, QString(), QStringLiteral("network is unreachable")},
        {Kind::Unreachable, QString(), QStringLiteral("server closed the connection")},
        {Kind::Unreachable, QString(), QStringLiteral("no connection to the server")},
    };
    return signs;
}

Kind kindOf(const QSqlError &error, bool server)
{
    QString code = error.nativeErrorCode().trimmed();
    if (!server) {
        // An extended code keeps its primary code in its low byte.
        bool isNumber = false;
        const int number = code.toInt(&isNumber);
        code = isNumber ? QString::number(number & 0xff) : QString();
    }
    const QVector<Sign> &signs = server ? serverSigns() : fileSigns();
    // The code first: words of one case can appear in another's text.
    for (const Sign &s : signs) {
        if (!code.isEmpty() && !s.code.isEmpty()
            && (server ? code.startsWith(s.code) : code == s.code))
            return s.kind;
    }
    const QString text = error.text().toLower();
    for (const Sign &s : signs) {
        if (!s.words.isEmpty() && text.contains(s.words.toLower()))
            return s.kind;
    }
    return Kind::Other;
}

QString saying(Kind kind, bool server, const QString &otherwise)
{
    switch (kind) {
    case Kind::CannotOpen:
        return QStringLiteral("não foi possível abrir o arquivo");
    case Kind::Busy:
        return QStringLiteral("o arquivo de traços está ocupado por outro programa; tente de novo "
                              "daqui a pouco");
    case Kind::ReadOnly:
        return server ? QStringLiteral("este usuário não tem permissão de escrita no banco")
                      : QStringLiteral("o arquivo de traços só pode ser lido, não gravado");
    case Kind::DiskFull:
        return server ? QStringLiteral("o disco do servidor está cheio")
                      : QStringLiteral("o disco está cheio");
    case Kind::NotADatabase:
        return QStringLiteral("não é um arquivo de traços: não é um banco de dados SQLite");
    case Kind::Damaged:
        return QStringLiteral("o arquivo de traços está danificado");
    case Kind::Unreachable:
        return QStringLiteral("o servidor não responde");
    case Kind::Refused:
        return QStringLiteral("o servidor recusou o usuário ou a senha");
    case Kind::NoDatabase:
        return QStringLiteral("o banco não existe no servidor");
    case Kind::Other:
        break;
    }
    return otherwise;
}

} // namespace

QString databaseProblem(const QSqlError &error, bool server, const QString &otherwise)
{
    const QString said = saying(kindOf(error, server), server, otherwise);
    const QString text = error.text().simplified();
    return text.isEmpty() ? said : QStringLiteral("%1 (%2)").arg(said, text);
}

} // namespace Archive
