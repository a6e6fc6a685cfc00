#include "app/mainwindow.h"
#include "testkit.h"

#include <QPushButton>
#include <QSerialPortInfo>
#include <QTableWidget>
#include <QtTest>

#include <memory>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void noInstrument_data();
    void noInstrument();
    void firstPortOfTwoIsUsed();
    void portThatDoesNotOpen();
    void firstRequestIsOneListByte();
    void bytesBeforeTheFirstRequestAreDropped();
    void portErrors_data();
    void portErrors();
    void closeBeforeListingCompletes();
};

void TestStartup::form()
{
    InstrumentRig rig;
    MainWindow window;
    window.show();
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Otdr"));
    QCOMPARE(window.minimumSize(), QSize(480, 400));
    QCOMPARE(window.maximumSize(), QSize(480, 400));
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QVERIFY(table);
    QCOMPARE(table->columnCount(), 3);
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QString());
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Nome"));
    QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("Tamanho"));
    QVERIFY(table->horizontalHeaderItem(1)->font().bold());
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    const QStringList buttons{"SalvarArquivo", "SelecionaTodos", "Apagar"};
    const QStringList captions{"Salvar", "Selecionar todos", "Apagar"};
    for (int i = 0; i < buttons.size(); ++i) {
        auto *button = window.findChild<QPushButton *>(buttons.at(i));
        QVERIFY(button);
        QCOMPARE(button->text(), captions.at(i));
    }
}

void TestStartup::noInstrument_data()
{
    QTest::addColumn<int>("vendor"); // 0: no USB serial device at all
    QTest::newRow("no serial device") << 0;
    QTest::newRow("another vendor") << 0x0403;
}

void TestStartup::noInstrument()
{
    QFETCH(int, vendor);
    MockSerialDevice device;
    std::unique_ptr<SimulatedInstrument> other;
    if (vendor != 0) {
        const QString port = device.addPort(unsigned(vendor));
        other = std::make_unique<SimulatedInstrument>(device.masterFd(port));
    }
    ModalWatcher watcher;
    {
        MainWindow window;
        QCOMPARE(watcher.seen().size(), 3);
        for (const ModalWatcher::Seen &seen : watcher.seen()) {
            QCOMPARE(seen.className, QStringLiteral("QMessageBox"));
            QCOMPARE(seen.title, QStringLiteral("Equipamento nao encontrado"));
            QCOMPARE(seen.text,
                     QStringLiteral("Por favor, conecte o cabo USB antes \n de prosseguir."));
        }
        window.show();
        QTest::qWait(100);
        QCOMPARE(window.findChild<QTableWidget *>(QStringLiteral("tableWidget"))->rowCount(), 0);
        // Without a listing there is nothing to delete.
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Apagar")),
                          Qt::LeftButton);
        QTest::qWait(50);
    }
    if (other)
        QVERIFY(other->requests().isEmpty());
    QCOMPARE(watcher.seen().size(), 3);
}

void TestStartup::firstPortOfTwoIsUsed()
{
    MockSerialDevice device;
    const QString a = device.addPort();
    const QString b = device.addPort(MockSerialDevice::InstrumentVendor, 0x0777);
    SimulatedInstrument first(device.masterFd(a));
    SimulatedInstrument second(device.masterFd(b));

    QString expected;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        if (info.vendorIdentifier() == 0x1fc9) {
            expected = info.portName();
            break;
        }
    }
    QVERIFY(expected == a || expected == b);

    MainWindow window;
    QTRY_COMPARE(first.requests().size() + second.requests().size(), 1);
    QTest::qWait(100);
    SimulatedInstrument &used = expected == a ? first : second;
    SimulatedInstrument &unused = expected == a ? second : first;
    QCOMPARE(used.requests().size(), 1);
    QVERIFY(unused.requests().isEmpty());
}

void TestStartup::portThatDoesNotOpen()
{
    MockSerialDevice device;
    device.addPort(MockSerialDevice::InstrumentVendor, 0x0001, false);
    ModalWatcher watcher;
    MainWindow window;
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Error"));
    QVERIFY(!watcher.seen().first().text.isEmpty());
    QVERIFY(watcher.seen().first().text != QStringLiteral("Unknown error"));
    window.show();
    QTest::qWait(100);
    QCOMPARE(watcher.seen().size(), 1);
}

void TestStartup::firstRequestIsOneListByte()
{
    InstrumentRig rig(sampleFiles(2));
    rig.instrument->setOptions([] {
        SimulatedInstrument::Options options;
        options.stopAfterRequests = 0;
        return options;
    }());
    const QString pts = terminalPath(rig.device.masterFd(rig.port));
    const int before = openDescriptors(pts);
    MainWindow window;
    QCOMPARE(openDescriptors(pts), before + 1);
    QTRY_COMPARE(rig.instrument->requests().size(), 1);
    QTest::qWait(200);
    QCOMPARE(rig.instrument->requests(), QList<QByteArray>{SimulatedInstrument::listRequest()});
}

void TestStartup::bytesBeforeTheFirstRequestAreDropped()
{
    InstrumentRig rig(sampleFiles(3));
    // Left on the line before the program opens the port: not an answer to anything.
    rig.instrument->sendRaw(SimulatedInstrument::listRecord(10, "stale.sor"));
    QTRY_COMPARE(rig.instrument->unwritten(), 0);
    MainWindow window;
    window.setListingTiming(40, 10);
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QTRY_COMPARE(table->rowCount(), 3);
    QTest::qWait(100);
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("trace0.sor"));
    QCOMPARE(table->item(2, 1)->text(), QStringLiteral("trace2.sor"));
}

void TestStartup::portErrors_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("closes");
    QTest::newRow("resource") << int(QSerialPort::ResourceError) << true;
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0) // Qt 6 no longer reports these
    QTest::newRow("framing") << int(QSerialPort::FramingError) << false;
    QTest::newRow("parity") << int(QSerialPort::ParityError) << false;
#endif
    QTest::newRow("write") << int(QSerialPort::WriteError) << false;
    QTest::newRow("read, device still there") << int(QSerialPort::ReadError) << false;
    QTest::newRow("timeout") << int(QSerialPort::TimeoutError) << false;
}

void TestStartup::portErrors()
{
    QFETCH(int, error);
    QFETCH(bool, closes);
    InstrumentRig rig(sampleFiles(2));
    const QString pts = terminalPath(rig.device.masterFd(rig.port));
    const int before = openDescriptors(pts);
    MainWindow window;
    window.setListingTiming(40, 10);
    window.show();
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QTRY_COMPARE(table->rowCount(), 2);

    ModalWatcher watcher;
    QMetaObject::invokeMethod(
        &window,
        "handleError",
        Q_ARG(QSerialPort::SerialPortError, QSerialPort::SerialPortError(error)));
    QCOMPARE(watcher.seen().size(), closes ? 1 : 0);
    if (closes) {
        QCOMPARE(watcher.seen().first().title, QStringLiteral("Critical Error"));
        QCOMPARE(openDescriptors(pts), before);
    } else {
        QCOMPARE(openDescriptors(pts), before + 1);
    }
    // With the link gone no action can reach the instrument; the table stays on screen.
    QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("SalvarArquivo"))->isEnabled(),
             !closes);
    QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("Apagar"))->isEnabled(), !closes);
    QCOMPARE(table->rowCount(), 2);
}

void TestStartup::closeBeforeListingCompletes()
{
    InstrumentRig rig(sampleFiles(3));
    SimulatedInstrument::Options options;
    options.stopAfterRequests = 0;
    rig.instrument->setOptions(options);
    const int threads = runningQThreads();
    {
        MainWindow window;
        window.show();
        QTRY_COMPARE(rig.instrument->requests().size(), 1);
    }
    QVERIFY(runningQThreads() <= threads);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
