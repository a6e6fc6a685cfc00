#include "link/protocol.h"
#include "otdr/otdraction.h"
#include "platform/winserialport.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>

// The Windows port class against the simulated instrument, which plays on a pseudo-terminal
// that Wine shows as the COM port named in OTDR_SIM_PORT. Run by run-port-test.sh.
class TestWinSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void transfer();
    void pulledCable();
    void missingPort();

private:
    // Sends a request and gathers the replies, one read each, until done() says so.
    QList<QByteArray> exchange(const QByteArray &request,
                               const std::function<bool(const QByteArray &)> &done);

    WinSerialPort port;
    QList<QByteArray> reads;
};

void TestWinSerialPort::initTestCase()
{
    qRegisterMetaType<WinSerialPort::SerialPortError>();
    const QString name = qEnvironmentVariable("OTDR_SIM_PORT");
    QVERIFY2(!name.isEmpty(),
             "OTDR_SIM_PORT names no port: run this test through run-port-test.sh");
    port.setPortName(name);
    QVERIFY(port.setBaudRate(1200));
    QVERIFY(port.setDataBits(WinSerialPort::Data8));
    QVERIFY(port.setParity(WinSerialPort::NoParity));
    QVERIFY(port.setStopBits(WinSerialPort::OneStop));
    QVERIFY(port.setFlowControl(WinSerialPort::NoFlowControl));
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    QVERIFY(port.clear(WinSerialPort::Input));
    connect(&port, &WinSerialPort::readyRead, this, [this] { reads.append(port.readAll()); });
}

QList<QByteArray> TestWinSerialPort::exchange(const QByteArray &request,
                                              const std::function<bool(const QByteArray &)> &done)
{
    reads.clear();
    port.write(request);
    QList<QByteArray> replies;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000) {
        if (reads.isEmpty()) {
            QTest::qWait(5);
            continue;
        }
        const QByteArray reply = reads.takeFirst();
        replies.append(reply);
        if (done(reply))
            break;
    }
    return replies;
}

// A listing, then every listed file, byte for byte as the folder holds it.
void TestWinSerialPort::transfer()
{
    const QFileInfoList samples
        = QDir(QStringLiteral(OTDR_SAMPLES_DIR)).entryInfoList({"*.sor"}, QDir::Files, QDir::Name);
    QVERIFY(samples.size() >= 2);
    OtdrAction listing;
    exchange(Protocol::listRequest(),
             [&](const QByteArray &reply) { return !listing.parseListReply(reply); });
    const QList<FileEntry> entries = listing.fileEntries();
    QCOMPARE(entries.size(), samples.size() + 1); // and the instrument's settings file
    for (int i = 0; i < samples.size(); ++i) {
        QCOMPARE(entries.at(i).name, samples.at(i).fileName());
        QFile file(samples.at(i).filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray expected = file.readAll();
        QByteArray received;
        const QList<QByteArray> replies
            = exchange(Protocol::downloadRequest(i + 1), Protocol::isDownloadEnd);
        QVERIFY(!replies.isEmpty() && Protocol::isDownloadEnd(replies.last()));
        for (int r = 0; r + 1 < replies.size(); ++r)
            received += replies.at(r);
        QCOMPARE(received.size(), expected.size());
        QVERIFY(received == expected);
    }
    QCOMPARE(port.error(), WinSerialPort::NoError);
}

// The instrument's end closed in the middle of a file: a resource error, as Qt's port gives.
void TestWinSerialPort::pulledCable()
{
    QSignalSpy errors(&port, &WinSerialPort::errorOccurred);
    port.write(Protocol::downloadRequest(1));
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 10000);
    QCOMPARE(errors.first().first().value<WinSerialPort::SerialPortError>(),
             WinSerialPort::ResourceError);
    QVERIFY(!port.errorString().isEmpty());
    port.close();
    QVERIFY(!port.isOpen());
}

void TestWinSerialPort::missingPort()
{
    WinSerialPort absent;
    absent.setPortName(QStringLiteral("COM97"));
    QSignalSpy errors(&absent, &WinSerialPort::errorOccurred);
    QVERIFY(!absent.open(QIODevice::ReadWrite));
    QCOMPARE(errors.size(), 1);
    QCOMPARE(absent.error(), WinSerialPort::DeviceNotFoundError);
}

QTEST_GUILESS_MAIN(TestWinSerialPort)
#include "tst_winserialport.moc"
