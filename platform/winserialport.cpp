#include "platform/winserialport.h"

#include <QElapsedTimer>
#include <QWinEventNotifier>

#include <windows.h>

namespace {
// A read asks for up to this much and completes as soon as any byte has arrived.
constexpr DWORD ReadChunk = 4096;
// An idle read completes empty after this long and is issued again.
constexpr DWORD IdleReadMs = 1000;
// An empty read that completes much sooner than that is a line that has gone away (a hung-up
// terminal reads as an end of file rather than waiting).
constexpr qint64 EmptyReadGoneMs = IdleReadMs / 4;
constexpr int EmptyReadsGone = 3;
constexpr qint64 WriteChunk = 4096;

QString systemMessage(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr,
                                        code,
                                        0,
                                        reinterpret_cast<wchar_t *>(&text),
                                        0,
                                        nullptr);
    QString message = length ? QString::fromWCharArray(text, int(length)).trimmed()
                             : QStringLiteral("Windows error %1").arg(code);
    LocalFree(text);
    return message;
}

// What a failed read or write means for the link: these are how Windows reports a device
// that went away under an open handle.
bool deviceLost(DWORD code)
{
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_NO_SUCH_DEVICE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_HANDLE_EOF:
    case ERROR_BROKEN_PIPE:
        return true;
    default:
        return false;
    }
}
} // namespace

struct WinSerialPort::Io
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED readOverlapped{};
    OVERLAPPED writeOverlapped{};
    QWinEventNotifier *readNotifier = nullptr;
    QWinEventNotifier *writeNotifier = nullptr;
    // The buffers belong to the system while an operation is pending.
    QByteArray readChunk;
    QByteArray writeChunk;
    bool reading = false;
    bool writing = false;
    bool failed = false;
    QElapsedTimer readStarted;
    int quickEmptyReads = 0;
};

WinSerialPort::WinSerialPort(QObject *parent)
    : QIODevice(parent)
{
}

WinSerialPort::~WinSerialPort()
{
    close();
}

bool WinSerialPort::setBaudRate(qint32 newRate, Directions)
{
    rate = newRate;
    return !io || configure();
}

bool WinSerialPort::setDataBits(DataBits bits)
{
    dataBits = bits;
    return !io || configure();
}

bool WinSerialPort::setParity(Parity newParity)
{
    parity = newParity;
    return !io || configure();
}

bool WinSerialPort::setStopBits(StopBits bits)
{
    stopBits = bits;
    return !io || configure();
}

bool WinSerialPort::setFlowControl(FlowControl newFlow)
{
    flow = newFlow;
    return !io || configure();
}

bool WinSerialPort::open(OpenMode mode)
{
    if (io) {
        fail(OpenError, ERROR_BUSY);
        return false;
    }
    const QString path = QStringLiteral("\\\\.\\") + port;
    HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
                                GENERIC_READ | GENERIC_WRITE,
                                0,
                                nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        SerialPortError kind = OpenError;
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            kind = DeviceNotFoundError;
        else if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
            kind = PermissionError;
        fail(kind, code);
        return false;
    }
    io = std::make_unique<Io>();
    io->handle = handle;
    if (!configure()) {
        CloseHandle(handle);
        io.reset();
        return false;
    }
    io->readOverlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    io->writeOverlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    io->readNotifier = new QWinEventNotifier(io->readOverlapped.hEvent, this);
    io->writeNotifier = new QWinEventNotifier(io->writeOverlapped.hEvent, this);
    connect(io->readNotifier, &QWinEventNotifier::activated, this, &WinSerialPort::readCompleted);
    connect(io->writeNotifier, &QWinEventNotifier::activated, this, &WinSerialPort::writeCompleted);
    lastError = NoError;
    QIODevice::open(mode | QIODevice::Unbuffered);
    if (mode & QIODevice::ReadOnly)
        startRead();
    return true;
}

bool WinSerialPort::configure()
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(io->handle, &dcb)) {
        fail(UnsupportedOperationError, GetLastError());
        return false;
    }
    dcb.BaudRate = DWORD(rate);
    dcb.ByteSize = BYTE(dataBits);
    dcb.Parity = parity == NoParity ? NOPARITY : parity == EvenParity ? EVENPARITY : ODDPARITY;
    dcb.fParity = parity != NoParity;
    dcb.StopBits = stopBits == OneStop ? ONESTOPBIT : TWOSTOPBITS;
    dcb.fBinary = TRUE;
    dcb.fAbortOnError = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    // DTR and RTS raised, as a Linux terminal raises them on open: many USB serial devices send
    // nothing until DTR is up.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = flow == HardwareControl;
    dcb.fRtsControl = flow == HardwareControl ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutX = dcb.fInX = flow == SoftwareControl;
    if (!SetCommState(io->handle, &dcb)) {
        fail(UnsupportedOperationError, GetLastError());
        return false;
    }
    // A read returns at once with what has arrived, or waits for the first byte up to
    // IdleReadMs; writes have no time limit of their own.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = IdleReadMs;
    if (!SetCommTimeouts(io->handle, &timeouts)) {
        fail(UnsupportedOperationError, GetLastError());
        return false;
    }
    return true;
}

void WinSerialPort::close()
{
    if (!io) {
        if (isOpen())
            QIODevice::close();
        return;
    }
    // The pending operations are cancelled and waited for: their buffers go with io.
    CancelIo(io->handle);
    DWORD done = 0;
    if (io->reading)
        GetOverlappedResult(io->handle, &io->readOverlapped, &done, TRUE);
    if (io->writing)
        GetOverlappedResult(io->handle, &io->writeOverlapped, &done, TRUE);
    delete io->readNotifier;
    delete io->writeNotifier;
    CloseHandle(io->readOverlapped.hEvent);
    CloseHandle(io->writeOverlapped.hEvent);
    CloseHandle(io->handle);
    io.reset();
    readBuffer.clear();
    writeQueue.clear();
    QIODevice::close();
}

qint64 WinSerialPort::bytesAvailable() const
{
    return readBuffer.size() + QIODevice::bytesAvailable();
}

qint64 WinSerialPort::bytesToWrite() const
{
    return writeQueue.size() + (io && io->writing ? io->writeChunk.size() : 0);
}

bool WinSerialPort::clear(Directions directions)
{
    if (!io)
        return false;
    DWORD flags = 0;
    if (directions & Input) {
        flags |= PURGE_RXCLEAR;
        readBuffer.clear();
    }
    if (directions & Output) {
        flags |= PURGE_TXCLEAR;
        writeQueue.clear();
    }
    return PurgeComm(io->handle, flags);
}

qint64 WinSerialPort::readData(char *data, qint64 maxSize)
{
    const qint64 count = qMin(maxSize, qint64(readBuffer.size()));
    memcpy(data, readBuffer.constData(), size_t(count));
    readBuffer.remove(0, int(count));
    return count;
}

qint64 WinSerialPort::writeData(const char *data, qint64 maxSize)
{
    if (!io || io->failed)
        return -1;
    writeQueue.append(data, int(maxSize));
    if (!io->writing)
        startWrite();
    return maxSize;
}

void WinSerialPort::startRead()
{
    if (!io || io->reading || io->failed)
        return;
    io->readChunk.resize(int(ReadChunk));
    io->readStarted.start();
    // Completed at once or later, the event is signalled and readCompleted() takes the bytes.
    if (ReadFile(io->handle, io->readChunk.data(), ReadChunk, nullptr, &io->readOverlapped)
        || GetLastError() == ERROR_IO_PENDING) {
        io->reading = true;
        return;
    }
    fail(ResourceError, GetLastError());
}

void WinSerialPort::readCompleted()
{
    if (!io || !io->reading)
        return;
    io->reading = false;
    DWORD got = 0;
    if (!GetOverlappedResult(io->handle, &io->readOverlapped, &got, FALSE)) {
        const DWORD code = GetLastError();
        if (code == ERROR_IO_INCOMPLETE) {
            io->reading = true;
            return;
        }
        fail(deviceLost(code) ? ResourceError : ReadError, code);
        return;
    }
    ResetEvent(io->readOverlapped.hEvent);
    if (got == 0) {
        io->quickEmptyReads
            = io->readStarted.elapsed() < EmptyReadGoneMs ? io->quickEmptyReads + 1 : 0;
        if (io->quickEmptyReads >= EmptyReadsGone) {
            fail(ResourceError, ERROR_DEVICE_NOT_CONNECTED);
            return;
        }
        startRead();
        return;
    }
    io->quickEmptyReads = 0;
    readBuffer.append(io->readChunk.constData(), int(got));
    emit readyRead();
    // A reader may have closed the port from readyRead().
    startRead();
}

void WinSerialPort::startWrite()
{
    if (!io || io->writing || io->failed || writeQueue.isEmpty())
        return;
    io->writeChunk = writeQueue.left(int(WriteChunk));
    writeQueue.remove(0, io->writeChunk.size());
    if (WriteFile(io->handle,
                  io->writeChunk.constData(),
                  DWORD(io->writeChunk.size()),
                  nullptr,
                  &io->writeOverlapped)
        || GetLastError() == ERROR_IO_PENDING) {
        io->writing = true;
        return;
    }
    const DWORD code = GetLastError();
    fail(deviceLost(code) ? ResourceError : WriteError, code);
}

void WinSerialPort::writeCompleted()
{
    if (!io || !io->writing)
        return;
    io->writing = false;
    DWORD written = 0;
    if (!GetOverlappedResult(io->handle, &io->writeOverlapped, &written, FALSE)) {
        const DWORD code = GetLastError();
        if (code == ERROR_IO_INCOMPLETE) {
            io->writing = true;
            return;
        }
        fail(deviceLost(code) ? ResourceError : WriteError, code);
        return;
    }
    ResetEvent(io->writeOverlapped.hEvent);
    io->writeChunk.clear();
    emit bytesWritten(written);
    startWrite();
}

// The port stays open, as Qt's does, until its owner closes it; nothing more is read or
// written on a failed link.
void WinSerialPort::fail(SerialPortError error, unsigned long systemError)
{
    lastError = error;
    if (io && error != OpenError)
        io->failed = error == ResourceError || error == ReadError || error == WriteError;
    setErrorString(systemMessage(DWORD(systemError)));
    emit errorOccurred(error);
}
