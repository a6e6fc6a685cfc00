#pragma once

#include "mockserialdevice.h"
#include "modalwatcher.h"
#include "simulatedinstrument.h"

#include <QList>
#include <QString>

#include <memory>

// A simulated instrument on a fake USB serial port that this process can open.
struct InstrumentRig
{
    // Unplugged, the instrument waits for plug().
    explicit InstrumentRig(const QList<StoredFile> &files = {}, bool plugged = true);

    // The cable pulled: the device leaves the system and the instrument stops talking. Where
    // hangUp is false the line is never hung up, so the program hears of nothing.
    void unplug(bool hangUp = true);
    // The cable plugged in again: a new device, the same instrument and files.
    void plug();

    MockSerialDevice device;
    QString port;
    std::unique_ptr<SimulatedInstrument> instrument;
};

// Files named and filled in a recognisable way: "trace<i>.sor", size bytes of pattern i.
QList<StoredFile> sampleFiles(int count, int size = 300);

// A file's bytes, or "<missing>".
QByteArray readFile(const QString &path);
// The names of the entries in a folder, hidden ones included, in name order.
QStringList entriesOf(const QString &dir);

// Descriptors this process holds open on the given path (e.g. a pseudo-terminal).
int openDescriptors(const QString &path);
// The path of the pseudo-terminal behind a master descriptor.
QString terminalPath(int masterFd);
// Threads of QThread objects that this process is running (other libraries name theirs).
int runningQThreads();
