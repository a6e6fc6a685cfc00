#include "singleinstance/singleinstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// What a message starts with, so that nothing else on the socket is taken for files.
constexpr quint32 Magic = 0x4f544456;
// The paths travel as one UTF-8 block, separated by NULs (which no path holds): a list's own
// count would let a stray message ask for any amount of memory.
constexpr char Separator = '\0';
constexpr qint64 MaxMessageBytes = 4 * 1024 * 1024;
constexpr char Accepted = 'A';
constexpr int ConnectMs = 1000;
// The running copy answers from its event loop, which may be opening the files of the copies
// before this one.
constexpr int AnswerMs = 15000;
// Copies started together wait their turn: one at a time asks or starts listening.
constexpr int TurnMs = 60000;

} // namespace

SingleInstance::SingleInstance(const QString &program, QObject *parent)
    : QObject(parent)
    , name(serverName(program))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString &program)
{
    const QByteArray home = QDir::homePath().toUtf8();
    return program + QLatin1Char('-')
           + QString::fromLatin1(
               QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(16));
}

SingleInstance::Role SingleInstance::start(const QStringList &files)
{
    if (server)
        return Listening;
    QLockFile turn(QDir::temp().filePath(name + QStringLiteral(".lock")));
    if (!turn.tryLock(TurnMs))
        return Alone;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (socket.waitForConnected(ConnectMs))
        return !files.isEmpty() && handOver(socket, files) ? HandedOver : Alone;
    // Only a name nobody answers on is taken: on Unix a copy that crashed leaves its socket
    // file behind, and removing a live one would orphan the copy listening on it.
    if (socket.error() != QLocalSocket::ServerNotFoundError
        && socket.error() != QLocalSocket::ConnectionRefusedError)
        return Alone;
    QLocalServer::removeServer(name);
    auto *listening = new QLocalServer(this);
    listening->setSocketOptions(QLocalServer::UserAccessOption);
    if (!listening->listen(name)) {
        delete listening;
        return Alone;
    }
    server = listening;
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] { receive(peer); });
            receive(peer);
        }
    });
    return Listening;
}

bool SingleInstance::handOver(QLocalSocket &socket, const QStringList &files)
{
    // The running copy's working folder is not this one's.
    QStringList absolute;
    absolute.reserve(files.size());
    for (const QString &file : files)
        absolute << QFileInfo(file).absoluteFilePath();
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_12);
    out << Magic << absolute.join(QLatin1Char(Separator)).toUtf8();
    if (message.size() > MaxMessageBytes)
        return false;
#ifdef Q_OS_WIN
    // Started by the user, this copy may let the running one come to the front.
    AllowSetForegroundWindow(ASFW_ANY);
#endif
    socket.write(message);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(AnswerMs))
            return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(AnswerMs))
            return false;
    char answer = 0;
    return socket.getChar(&answer) && answer == Accepted;
}

void SingleInstance::receive(QLocalSocket *socket)
{
    if (socket->bytesAvailable() > MaxMessageBytes + 16) {
        socket->abort();
        return;
    }
    QDataStream in(socket);
    in.setVersion(QDataStream::Qt_5_12);
    in.startTransaction();
    quint32 magic = 0;
    QByteArray paths;
    in >> magic;
    if (in.status() == QDataStream::Ok && magic != Magic) {
        socket->abort();
        return;
    }
    in >> paths;
    if (!in.commitTransaction()) {
        if (in.status() == QDataStream::ReadCorruptData)
            socket->abort();
        return; // the rest is on its way
    }
    // Answered before the files are opened, which may take a while or ask the user something.
    socket->putChar(Accepted);
    socket->flush();
    socket->disconnectFromServer();
    QStringList files;
    const QList<QByteArray> parts = paths.split(Separator);
    for (const QByteArray &part : parts)
        if (!part.isEmpty())
            files << QString::fromUtf8(part);
    if (!files.isEmpty())
        emit filesReceived(files);
}
