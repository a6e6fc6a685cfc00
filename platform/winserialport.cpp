#include "platform/winserialport.h"

#include <QWinEventNotifier>

#include <windows.h>

namespace {
// A wait for a byte that ends with none, again and again, is a line that has gone away (a
// hung-up terminal reads as an end of file).
constexpr int EmptyWakesGone = 3;
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
    OVERLAPPED waitOverlapped{};
    OVERLAPPED readOverlapped{};
    OVERLAPPED writeOverlapped{};
    QWinEventNotifier *waitNotifier = nullptr;
    QWinEventNotifier *writeNotifier = nullptr;
    // These belong to the system while an operation is pending.
    char firstByte = 0;
    QByteArray writeChunk;
    bool waiting = false;
    bool writing = false;
    bool failed = false;
    int emptyWakes = 0;
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
    for (OVERLAPPED *o : {&io->waitOverlapped, &io->readOverlapped, &io->writeOverlapped})
        o->hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    io->waitNotifier = new QWinEventNotifier(io->waitOverlapped.hEvent, this);
    io->writeNotifier = new QWinEventNotifier(io->writeOverlapped.hEvent, this);
    connect(io->waitNotifier, &QWinEventNotifier::activated, this, &WinSerialPort::byteArrived);
    connect(io->writeNotifier, &QWinEventNotifier::activated, this, &WinSerialPort::writeCompleted);
    lastError = NoError;
    QIODevice::open(mode | QIODevice::Unbuffered);
    if (mode & QIODevice::ReadOnly)
        waitForBytes();
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
    // No time limits: a read of one byte waits for it, a read of what is queued returns at once.
    COMMTIMEOUTS timeouts{};
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
    if (io->waiting)
        GetOverlappedResult(io->handle, &io->waitOverlapped, &done, TRUE);
    if (io->writing)
        GetOverlappedResult(io->handle, &io->writeOverlapped, &done, TRUE);
    delete io->waitNotifier;
    delete io->writeNotifier;
    for (OVERLAPPED *o : {&io->waitOverlapped, &io->readOverlapped, &io->writeOverlapped})
        CloseHandle(o->hEvent);
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

// One byte is awaited at a time, then what followed it is taken from the driver's queue: the
// other end sees its bytes taken as soon as this side has them, never before.
void WinSerialPort::waitForBytes()
{
    if (!io || io->waiting || io->failed)
        return;
    if (ReadFile(io->handle, &io->firstByte, 1, nullptr, &io->waitOverlapped)
        || GetLastError() == ERROR_IO_PENDING) {
        io->waiting = true;
        return;
    }
    const DWORD code = GetLastError();
    fail(deviceLost(code) ? ResourceError : ReadError, code);
}

void WinSerialPort::byteArrived()
{
    if (!io || !io->waiting)
        return;
    io->waiting = false;
    DWORD got = 0;
    if (!GetOverlappedResult(io->handle, &io->waitOverlapped, &got, FALSE)) {
        const DWORD code = GetLastError();
        if (code == ERROR_IO_INCOMPLETE) {
            io->waiting = true;
            return;
        }
        fail(deviceLost(code) ? ResourceError : ReadError, code);
        return;
    }
    ResetEvent(io->waitOverlapped.hEvent);
    if (got == 1)
        readBuffer.append(io->firstByte);
    const qint64 more = readAvailable();
    if (more < 0)
        return;
    const qint64 taken = got + more;
    io->emptyWakes = taken > 0 ? 0 : io->emptyWakes + 1;
    if (io->emptyWakes >= EmptyWakesGone) {
        fail(ResourceError, ERROR_DEVICE_NOT_CONNECTED);
        return;
    }
    waitForBytes();
    if (taken > 0)
        emit readyRead();
}

// Everything the driver holds now; -1 once the link has failed.
qint64 WinSerialPort::readAvailable()
{
    qint64 total = 0;
    for (;;) {
        COMSTAT status{};
        DWORD errors = 0;
        if (!ClearCommError(io->handle, &errors, &status)) {
            fail(ResourceError, GetLastError());
            return -1;
        }
        if (status.cbInQue == 0)
            return total;
        QByteArray chunk(int(status.cbInQue), Qt::Uninitialized);
        DWORD got = 0;
        const bool done
            = ReadFile(io->handle, chunk.data(), status.cbInQue, nullptr, &io->readOverlapped)
              || GetLastError() == ERROR_IO_PENDING;
        if (!done || !GetOverlappedResult(io->handle, &io->readOverlapped, &got, TRUE)) {
            const DWORD code = GetLastError();
            fail(deviceLost(code) ? ResourceError : ReadError, code);
            return -1;
        }
        if (got == 0)
            return total;
        readBuffer.append(chunk.constData(), int(got));
        total += got;
    }
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
