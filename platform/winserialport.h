#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

// A Windows serial port with the part of QSerialPort's interface that the window uses: open
// by name, 8N1 at a given rate, reads that signal readyRead() as bytes arrive, writes, and the
// same error kinds for a failed open and a pulled cable. Overlapped I/O, completed through
// QWinEventNotifier, so the event loop never blocks on the port.
class WinSerialPort : public QIODevice
{
    Q_OBJECT

public:
    enum Direction { Input = 1, Output = 2, AllDirections = Input | Output };
    Q_DECLARE_FLAGS(Directions, Direction)
    enum DataBits { Data5 = 5, Data6 = 6, Data7 = 7, Data8 = 8 };
    enum Parity { NoParity = 0, EvenParity = 2, OddParity = 3 };
    enum StopBits { OneStop = 1, TwoStop = 2 };
    enum FlowControl { NoFlowControl, HardwareControl, SoftwareControl };
    // The values of QSerialPort's, so that code and logs read the same on both systems.
    enum SerialPortError {
        NoError,
        DeviceNotFoundError,
        PermissionError,
        OpenError,
        ParityError,
        FramingError,
        BreakConditionError,
        WriteError,
        ReadError,
        ResourceError,
        UnsupportedOperationError,
        UnknownError,
        TimeoutError,
        NotOpenError
    };
    Q_ENUM(SerialPortError)

    explicit WinSerialPort(QObject *parent = nullptr);
    ~WinSerialPort() override;

    void setPortName(const QString &name) { port = name; }
    QString portName() const { return port; }
    bool setBaudRate(qint32 rate, Directions directions = AllDirections);
    bool setDataBits(DataBits bits);
    bool setParity(Parity parity);
    bool setStopBits(StopBits bits);
    bool setFlowControl(FlowControl flow);

    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;
    // Drops what the driver holds in the given directions.
    bool clear(Directions directions = AllDirections);
    SerialPortError error() const { return lastError; }

signals:
    void errorOccurred(WinSerialPort::SerialPortError error);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    struct Io;

    bool configure();
    void waitForBytes();
    void byteArrived();
    qint64 readAvailable();
    void startWrite();
    void writeCompleted();
    void fail(SerialPortError error, unsigned long systemError);

    QString port;
    qint32 rate = 9600;
    DataBits dataBits = Data8;
    Parity parity = NoParity;
    StopBits stopBits = OneStop;
    FlowControl flow = NoFlowControl;
    SerialPortError lastError = NoError;
    QByteArray readBuffer;
    QByteArray writeQueue;
    std::unique_ptr<Io> io;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(WinSerialPort::Directions)
