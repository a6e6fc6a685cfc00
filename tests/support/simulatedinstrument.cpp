#include "simulatedinstrument.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

// The instrument's commands, as it reads them.
namespace {
constexpr unsigned char ListCommand = 0x03;
constexpr unsigned char DeleteCommand = 0x41;
constexpr unsigned char DownloadCommand = 0xAA;

} // namespace

const QByteArray SimulatedInstrument::EndMarker = QByteArrayLiteral("imageLogo.bin");

SimulatedInstrument::SimulatedInstrument(int masterFd, QObject *parent)
    : QObject(parent)
{
    pumpTimer.setSingleShot(true);
    connect(&pumpTimer, &QTimer::timeout, this, &SimulatedInstrument::pump);
    clock.start();
    attach(masterFd);
}

SimulatedInstrument::~SimulatedInstrument()
{
    if (slave >= 0)
        close(slave);
}

void SimulatedInstrument::attach(int masterFd)
{
    detach();
    delete notifier;
    delete writable;
    master = masterFd;
    detached = master < 0;
    input.clear();
    offset = 0;
    mustDrain = false;
    notifier = writable = nullptr;
    if (master < 0) // not plugged in yet
        return;
    char name[128];
    if (ptsname_r(master, name, sizeof name) == 0)
        slave = open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    notifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SimulatedInstrument::readRequests);
    // A full terminal resumes the writes as soon as the program has read some of it.
    writable = new QSocketNotifier(master, QSocketNotifier::Write, this);
    writable->setEnabled(false);
    connect(writable, &QSocketNotifier::activated, this, [this] {
        writable->setEnabled(false);
        pump();
    });
}

QByteArray SimulatedInstrument::listRequest()
{
    return QByteArray(1, char(ListCommand));
}

namespace {
QByteArray itemRequest(unsigned char command, int item)
{
    const char bytes[3] = {char(command), char(item & 0xFF), char((item >> 8) & 0xFF)};
    return QByteArray(bytes, 3);
}
} // namespace

QByteArray SimulatedInstrument::deleteRequest(int item)
{
    return itemRequest(DeleteCommand, item);
}

QByteArray SimulatedInstrument::downloadRequest(int item)
{
    return itemRequest(DownloadCommand, item);
}

bool SimulatedInstrument::serveFolder(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        return false;
    stored.clear();
    const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &info : entries) {
        QFile file(info.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly))
            return false;
        stored.append({info.fileName().toUtf8(), file.readAll(), info.absoluteFilePath()});
    }
    return true;
}

QList<StoredFile> SimulatedInstrument::files() const
{
    QList<StoredFile> present;
    for (const StoredFile &file : stored) {
        if (!file.deleted)
            present.append(file);
    }
    return present;
}

QByteArray SimulatedInstrument::listRecord(quint16 size, const QByteArray &name)
{
    QByteArray record;
    record.append(char(size & 0xFF));
    record.append(char(size >> 8));
    record.append(name);
    record.append('\0');
    return record;
}

void SimulatedInstrument::sendRaw(const QByteArray &bytes)
{
    enqueue(bytes, true);
}

void SimulatedInstrument::detach()
{
    detached = true;
    queue.clear();
    pumpTimer.stop();
    if (notifier)
        notifier->setEnabled(false);
    if (writable)
        writable->setEnabled(false);
    if (slave >= 0) {
        close(slave);
        slave = -1;
    }
}

bool SimulatedInstrument::settled() const
{
    return queue.isEmpty() && slaveQueued() == 0;
}

// Bytes written to the program that it has not read yet. The raw system call keeps
// umockdev's preload, which answers ioctls on device nodes itself, out of the way.
int SimulatedInstrument::slaveQueued() const
{
    if (slave < 0)
        return 0;
    int queued = 0;
    if (syscall(SYS_ioctl, slave, FIONREAD, &queued) != 0)
        return 0;
    return queued;
}

// The program has read everything written. Written bytes reach the terminal's queue a moment
// after the write, so an empty queue counts only when seen twice, some time after the write.
bool SimulatedInstrument::lineIdle(qint64 now)
{
    const qint64 gapNs = qint64(opts.isolationGapUs) * 1000;
    if (slaveQueued() > 0 || now - lastWriteNs < gapNs) {
        idleSinceNs = -1;
        return false;
    }
    if (idleSinceNs < 0)
        idleSinceNs = now;
    return now - idleSinceNs >= gapNs / 2;
}

void SimulatedInstrument::readRequests()
{
    char buffer[256];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        input.append(buffer, int(n));
    }
    while (!input.isEmpty()) {
        const auto command = static_cast<unsigned char>(input.at(0));
        int length = 0;
        if (command == ListCommand)
            length = 1;
        else if (command == DeleteCommand || command == DownloadCommand)
            length = 3;
        if (length == 0) { // not a request: the instrument ignores the byte
            input.remove(0, 1);
            continue;
        }
        if (input.size() < length)
            break;
        const QByteArray request = input.left(length);
        input.remove(0, length);
        handleRequest(request);
    }
}

void SimulatedInstrument::handleRequest(const QByteArray &request)
{
    const int index = received.size();
    received.append(request);
    lastRequestNs = clock.nsecsElapsed();
    emit requestReceived(request);
    if (detached || silenced || (opts.stopAfterRequests >= 0 && index >= opts.stopAfterRequests))
        return;

    const auto command = static_cast<unsigned char>(request.at(0));
    const int item = request.size() == 3 ? static_cast<unsigned char>(request.at(1))
                                               + 256 * static_cast<unsigned char>(request.at(2))
                                         : 0;
    if (command == ListCommand)
        queueListing();
    else if (command == DownloadCommand)
        queueDownload(item);
    else if (command == DeleteCommand)
        queueDelete(item);
}

void SimulatedInstrument::queueListing()
{
    stored = files(); // a new listing numbers the files anew
    QList<QByteArray> records;
    for (const StoredFile &file : qAsConst(stored))
        records.append(listRecord(quint16(file.content.size() & 0xFFFF), file.name)); // 16 bits
    if (!opts.trailerName.isEmpty())
        records.append(listRecord(512, opts.trailerName));
    records.append(listRecord(2048, EndMarker));

    if (opts.mergeFirstRecords && records.size() >= 2) {
        records[0] += records.at(1);
        records.removeAt(1);
    }
    for (const QByteArray &record : qAsConst(records))
        enqueue(record, true);
}

void SimulatedInstrument::queueDownload(int item)
{
    QByteArray content
        = item >= 1 && item <= stored.size() ? stored.at(item - 1).content : QByteArray();
    if (item == opts.damagedItem) {
        if (opts.flipOffset >= 0 && opts.flipOffset < content.size())
            content[opts.flipOffset] = char(~content.at(opts.flipOffset));
        content.chop(opts.cutBytes);
    }
    const int chunk = qMax(1, opts.chunkSize);
    for (int pos = 0; pos < content.size(); pos += chunk) {
        QByteArray piece = content.mid(pos, chunk);
        if (opts.glueFinal && pos + chunk >= content.size())
            piece += "FINAL";
        enqueue(piece, false, true);
    }
    if (!opts.glueFinal || content.isEmpty())
        enqueue("FINAL", true);
}

void SimulatedInstrument::queueDelete(int item)
{
    // A file that does not exist gets no answer.
    if (item < 1 || item > stored.size() || stored.at(item - 1).deleted)
        return;
    StoredFile &file = stored[item - 1];
    file.deleted = true;
    if (!file.path.isEmpty())
        QFile::remove(file.path);
    enqueue(opts.ackReply, true);
}

void SimulatedInstrument::enqueue(const QByteArray &bytes, bool isolated, bool fileData)
{
    if (silenced)
        return;
    queue.append({bytes, isolated, fileData});
    pump();
}

// Ten bits a byte (8N1); no time at all when no rate is imitated.
qint64 SimulatedInstrument::lineTimeNs(int bytes) const
{
    return opts.bitRate > 0 ? qint64(bytes) * 10 * 1000000000LL / opts.bitRate : 0;
}

// Waits of less than a millisecond are polled from the event loop.
void SimulatedInstrument::scheduleNs(qint64 ns)
{
    if (!pumpTimer.isActive())
        pumpTimer.start(int(qBound(qint64(0), ns / 1000000, qint64(1000))));
}

void SimulatedInstrument::pump()
{
    while (!queue.isEmpty() && !detached) {
        Reply &reply = queue.front();
        const qint64 now = clock.nsecsElapsed();
        if (offset == 0) {
            // A status reply or list record must not share a read with anything else.
            if (mustDrain || reply.isolated) {
                if (!lineIdle(now)) {
                    scheduleNs(qint64(opts.isolationGapUs) * 500);
                    return;
                }
                mustDrain = false;
            }
            // The pause runs from the request or the previous reply, whichever came last.
            // At a slow line rate the reply also takes its time on the line, then arrives
            // whole: a USB port hands over a reply in one piece however slow the transfer.
            qint64 pauseNs = qint64(opts.replyPauseMs) * 1000000;
            if (opts.bitRate > 0 && !opts.splitReplies)
                pauseNs += lineTimeNs(reply.bytes.size());
            const qint64 since = now - qMax(lastWriteNs, lastRequestNs);
            if (pauseNs > 0 && since < pauseNs) {
                scheduleNs(pauseNs - since + 1000000);
                return;
            }
        }
        if (now < nextWriteNs) {
            scheduleNs(nextWriteNs - now + 1000000);
            return;
        }

        int length = reply.bytes.size() - offset;
        if (reply.fileData && opts.dropLinkAfterBytes >= 0)
            length = int(qMin<qint64>(length, opts.dropLinkAfterBytes - fileDataSent));
        if (opts.splitReplies) // a few bytes at a time, as a plain serial line would
            length = qMin(length, qMax(1, opts.bitRate / 100));
        if (length <= 0 && reply.fileData) {
            // The cable goes once the program has what was sent before it.
            if (!lineIdle(now)) {
                scheduleNs(qint64(opts.isolationGapUs) * 500);
                return;
            }
            detach();
            emit linkDropRequested();
            return;
        }
        const ssize_t n = write(master, reply.bytes.constData() + offset, size_t(length));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                writable->setEnabled(true);
            return;
        }
        lastWriteNs = clock.nsecsElapsed();
        idleSinceNs = -1;
        if (opts.splitReplies)
            nextWriteNs = lastWriteNs + lineTimeNs(int(n));
        if (reply.fileData)
            fileDataSent += n;
        offset += int(n);
        if (offset < reply.bytes.size())
            continue;
        offset = 0;
        mustDrain = reply.isolated;
        const Reply written = queue.takeFirst();
        if (written.isolated)
            emit statusReplyWritten(written.bytes);
        if (++repliesWritten == opts.silenceAfterReplies) {
            silenced = true;
            queue.clear();
        }
    }
}
