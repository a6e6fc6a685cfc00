#include "testkit.h"

#include <QDir>
#include <QFileInfo>

#include <stdlib.h>

InstrumentRig::InstrumentRig(const QList<StoredFile> &files, bool plugged)
{
    if (plugged)
        port = device.addPort();
    instrument = std::make_unique<SimulatedInstrument>(plugged ? device.masterFd(port) : -1);
    instrument->setFiles(files);
    QObject::connect(
        instrument.get(), &SimulatedInstrument::linkDropRequested, [this] { device.unplug(port); });
}

void InstrumentRig::unplug(bool hangUp)
{
    instrument->detach();
    device.unplug(port, hangUp);
}

void InstrumentRig::plug()
{
    port = device.addPort();
    instrument->attach(device.masterFd(port));
}

QList<StoredFile> sampleFiles(int count, int size)
{
    QList<StoredFile> files;
    for (int i = 0; i < count; ++i) {
        QByteArray content(size, '\0');
        for (int b = 0; b < size; ++b)
            content[b] = char((b * 7 + i * 31) & 0xFF);
        files.append({QByteArray("trace") + QByteArray::number(i) + ".sor", content, {}});
    }
    return files;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

int openDescriptors(const QString &path)
{
    int count = 0;
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System);
    for (const QFileInfo &fd : fds) {
        if (fd.symLinkTarget() == path)
            ++count;
    }
    return count;
}

QString terminalPath(int masterFd)
{
    char name[128];
    return ptsname_r(masterFd, name, sizeof name) == 0 ? QString::fromLatin1(name) : QString();
}

int runningQThreads()
{
    int count = 0;
    const QStringList tasks
        = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "QThread")
            ++count;
    }
    return count;
}
