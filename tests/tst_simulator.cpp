#include "testkit.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QtTest>

// The simulated instrument as any serial program sees it.
class Client : public QObject
{
public:
    explicit Client(const QString &port)
    {
        serial.setPortName(port);
        serial.open(QIODevice::ReadWrite);
        connect(&serial, &QSerialPort::readyRead, this, [this] { reads.append(serial.readAll()); });
        connect(&serial, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
            if (e != QSerialPort::NoError)
                errors.append(e);
        });
    }
    void send(const QByteArray &request) { serial.write(request); }
    QByteArray all() const { return reads.join(); }

    QSerialPort serial;
    QList<QByteArray> reads;
    QList<QSerialPort::SerialPortError> errors;
};

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void listing();
    void download_data();
    void download();
    void deleteKeepsNumbersUntilTheNextListing();
    void servesAFolder();
    void faults();
    void mergedRecords();
    void linkDrop();
    void lineRate_data();
    void lineRate();
};

void TestSimulator::listing()
{
    InstrumentRig rig(sampleFiles(3, 5000));
    Client client(rig.port);
    QVERIFY(client.serial.isOpen());
    client.send(SimulatedInstrument::listRequest());
    QTRY_COMPARE(client.reads.size(), 5);
    QCOMPARE(client.reads.at(0), SimulatedInstrument::listRecord(5000, "trace0.sor"));
    QCOMPARE(client.reads.at(2), SimulatedInstrument::listRecord(5000, "trace2.sor"));
    QCOMPARE(client.reads.at(3), SimulatedInstrument::listRecord(512, "config.dat"));
    QCOMPARE(client.reads.at(4), SimulatedInstrument::listRecord(2048, "imageLogo.bin"));
    QTest::qWait(100);
    QCOMPARE(client.reads.size(), 5);
}

void TestSimulator::download_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("chunk");
    QTest::newRow("64-byte replies") << 1000 << 64;
    QTest::newRow("one reply") << 100 << 4096;
    QTest::newRow("empty file") << 0 << 64;
}

void TestSimulator::download()
{
    QFETCH(int, size);
    QFETCH(int, chunk);
    InstrumentRig rig(sampleFiles(2, size));
    SimulatedInstrument::Options options;
    options.chunkSize = chunk;
    rig.instrument->setOptions(options);
    Client client(rig.port);
    client.send(SimulatedInstrument::downloadRequest(2));
    QTRY_VERIFY(client.all().endsWith("FINAL"));
    QCOMPARE(client.reads.last(), QByteArray("FINAL"));
    QCOMPARE(client.all().chopped(5), rig.instrument->files().at(1).content);
}

void TestSimulator::deleteKeepsNumbersUntilTheNextListing()
{
    InstrumentRig rig(sampleFiles(4));
    Client client(rig.port);
    client.send(SimulatedInstrument::deleteRequest(2));
    QTRY_COMPARE(client.reads, QList<QByteArray>{"OK"});
    // Item 4 is still trace3 until the instrument lists its files again.
    client.send(SimulatedInstrument::deleteRequest(4));
    QTRY_COMPARE(client.reads.size(), 2);
    // A deleted item gets no answer.
    client.send(SimulatedInstrument::deleteRequest(2));
    QTest::qWait(200);
    QCOMPARE(client.reads.size(), 2);
    QList<QByteArray> names;
    for (const StoredFile &file : rig.instrument->files())
        names.append(file.name);
    QCOMPARE(names, QList<QByteArray>({"trace0.sor", "trace2.sor"}));
    client.reads.clear();
    client.send(SimulatedInstrument::listRequest());
    QTRY_COMPARE(client.reads.size(), 4);
    client.reads.clear();
    client.send(SimulatedInstrument::downloadRequest(2)); // now trace2
    QTRY_VERIFY(client.all().endsWith("FINAL"));
    QCOMPARE(client.all().chopped(5), sampleFiles(3).at(2).content);
}

void TestSimulator::servesAFolder()
{
    QTemporaryDir dir;
    for (const char *name : {"b.sor", "a.sor"}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(name);
    }
    InstrumentRig rig;
    QVERIFY(rig.instrument->serveFolder(dir.path()));
    Client client(rig.port);
    client.send(SimulatedInstrument::listRequest());
    QTRY_COMPARE(client.reads.size(), 4);
    QCOMPARE(client.reads.first(), SimulatedInstrument::listRecord(5, "a.sor"));
    client.send(SimulatedInstrument::deleteRequest(1));
    QTRY_COMPARE(client.reads.size(), 5);
    QVERIFY(!QFile::exists(dir.filePath("a.sor")));
    QVERIFY(QFile::exists(dir.filePath("b.sor")));
}

void TestSimulator::faults()
{
    InstrumentRig rig(sampleFiles(2, 130));
    SimulatedInstrument::Options options;
    options.stopAfterRequests = 1;
    options.glueFinal = true;
    options.chunkSize = 100;
    rig.instrument->setOptions(options);
    Client client(rig.port);
    client.send(SimulatedInstrument::downloadRequest(1));
    QTRY_VERIFY(client.all().endsWith("FINAL"));
    QTRY_VERIFY(rig.instrument->settled());
    QCOMPARE(client.all(), rig.instrument->files().at(0).content + "FINAL");
    QVERIFY(client.reads.last() != QByteArray("FINAL"));
    client.reads.clear();
    client.send(SimulatedInstrument::listRequest()); // the second request: silence
    QTest::qWait(300);
    QVERIFY(client.reads.isEmpty());
    QCOMPARE(rig.instrument->requests().size(), 2);
}

void TestSimulator::mergedRecords()
{
    InstrumentRig rig(sampleFiles(3));
    SimulatedInstrument::Options options;
    options.mergeFirstRecords = true;
    rig.instrument->setOptions(options);
    Client client(rig.port);
    client.send(SimulatedInstrument::listRequest());
    QTRY_COMPARE(client.reads.size(), 4);
    QCOMPARE(client.reads.first(),
             SimulatedInstrument::listRecord(300, "trace0.sor")
                 + SimulatedInstrument::listRecord(300, "trace1.sor"));
}

void TestSimulator::linkDrop()
{
    InstrumentRig rig(sampleFiles(1, 1000));
    SimulatedInstrument::Options options;
    options.dropLinkAfterBytes = 300;
    rig.instrument->setOptions(options);
    QSignalSpy dropped(rig.instrument.get(), &SimulatedInstrument::linkDropRequested);
    Client client(rig.port);
    client.send(SimulatedInstrument::downloadRequest(1));
    QTRY_COMPARE(dropped.count(), 1);
    // On Linux the hang-up reaches a serial program as read errors.
    QTRY_VERIFY(client.errors.contains(QSerialPort::ReadError)
                || client.errors.contains(QSerialPort::ResourceError));
    client.serial.close();
    QCOMPARE(client.all(), rig.instrument->files().at(0).content.left(300));
    bool listed = false;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        listed = listed || info.portName() == rig.port;
    QVERIFY(!listed);
}

void TestSimulator::lineRate_data()
{
    QTest::addColumn<bool>("split");
    QTest::newRow("each reply whole, as over USB") << false;
    QTest::newRow("fault: replies in pieces") << true;
}

void TestSimulator::lineRate()
{
    QFETCH(bool, split);
    InstrumentRig rig(sampleFiles(1, 480));
    SimulatedInstrument::Options options;
    options.bitRate = 9600; // 960 bytes a second
    options.chunkSize = 160;
    options.splitReplies = split;
    rig.instrument->setOptions(options);
    Client client(rig.port);
    QElapsedTimer clock;
    clock.start();
    client.send(SimulatedInstrument::downloadRequest(1));
    QTRY_VERIFY_WITH_TIMEOUT(client.all().endsWith("FINAL"), 10000);
    // It cannot be faster than the line: 485 bytes take at least half a second.
    QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(client.all(), rig.instrument->files().at(0).content + "FINAL");
    // Three replies of data and the end marker: one read each, unless split.
    if (split)
        QVERIFY2(client.reads.size() > 4, qPrintable(QString::number(client.reads.size())));
    else
        QCOMPARE(client.reads.size(), 4);
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
