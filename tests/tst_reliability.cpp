#include "windowrig.h"

#include <QDir>
#include <QRandomGenerator>

#include <ctime>

namespace {

constexpr int BoxWaitMs = MainWindow::ReplyTimeoutMs + 8000;

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

class TestReliability : public QObject
{
    Q_OBJECT

private slots:
    void silenceDuringAListing();
    void silenceDuringADownload_data();
    void silenceDuringADownload();
    void silenceDuringADelete();
    void cablePulledDuringADownload();
    void cablePulledDuringADelete();
    void randomBytesBetweenRuns();
    void closingTheWindowDuringARun_data();
    void closingTheWindowDuringARun();
    void waitingUsesNoProcessor();
};

void TestReliability::silenceDuringAListing()
{
    SimulatedInstrument::Options options;
    options.silenceAfterReplies = 2;
    ModalWatcher watcher;
    WindowRig rig(sampleFiles(5), options);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.seen().size() == 1, BoxWaitMs);
    QCOMPARE(watcher.seen().first().className, QStringLiteral("QMessageBox"));
    QCOMPARE(watcher.seen().first().text, QStringLiteral("O equipamento nao respondeu."));
    QCOMPARE(rig.table->rowCount(), 0);
    QTest::qWait(MainWindow::DrainQuietMs + 500);
    QVERIFY(!rig.save->isEnabled());
    QVERIFY(!rig.erase->isEnabled());
}

void TestReliability::silenceDuringADownload_data()
{
    QTest::addColumn<bool>("glued");
    QTest::newRow("in the middle of a file") << false;
    QTest::newRow("FINAL glued to the data") << true;
}

void TestReliability::silenceDuringADownload()
{
    QFETCH(bool, glued);
    QTemporaryDir dir;
    const QString target = dir.filePath("trace.sor");
    writeFile(target, "an earlier download");
    SimulatedInstrument::Options options;
    if (glued)
        options.glueFinal = true;
    else
        options.silenceAfterReplies = 5 + 10; // the listing, then ten pieces of the file
    const QList<StoredFile> files = sampleFiles(3, 2000);
    WindowRig rig(files, options);
    QTRY_VERIFY(rig.listed(3));

    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(target));
    rig.doubleClick(1);
    QTRY_VERIFY(rig.statusBox()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(watcher.seen().size() >= 2, BoxWaitMs);
    QCOMPARE(watcher.seen().size(), 2);
    QCOMPARE(watcher.seen().at(1).text, QStringLiteral("O equipamento nao respondeu."));
    QVERIFY(!rig.statusBox()->isVisible());
    QCOMPARE(readFile(target), QByteArray("an earlier download"));
    QCOMPARE(entriesOf(dir.path()), QStringList{"trace.sor"});

    // Late bytes are credited to nothing, and the window is usable again.
    rig.instrument->setOptions({});
    rig.instrument->sendRaw("late data");
    rig.instrument->sendRaw("FINAL");
    QTRY_VERIFY_WITH_TIMEOUT(rig.save->isEnabled(), MainWindow::DrainQuietMs + 3000);
    QCOMPARE(entriesOf(dir.path()), QStringList{"trace.sor"});
    watcher.push(ModalWatcher::chooseFile(target));
    rig.doubleClick(2);
    QTRY_COMPARE(readFile(target), files.at(2).content);
}

void TestReliability::silenceDuringADelete()
{
    SimulatedInstrument::Options options;
    options.silenceAfterReplies = 5 + 1; // the listing, then the first "OK"
    WindowRig rig(sampleFiles(3), options);
    QTRY_VERIFY(rig.listed(3));
    rig.tick(0);
    rig.tick(1);
    ModalWatcher watcher;
    rig.erase->click();
    QTRY_COMPARE(rig.instrument->requests().size(), 3);
    QVERIFY(rig.deleteDialog()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(watcher.seen().size() == 1, BoxWaitMs);
    QCOMPARE(watcher.seen().first().text, QStringLiteral("O equipamento nao respondeu."));
    QVERIFY(!rig.deleteDialog()->isVisible());
    // The instrument has changed under the table: its rows no longer name the right files.
    QCOMPARE(rig.table->rowCount(), 3);
    QTest::qWait(MainWindow::DrainQuietMs + 500);
    QVERIFY(!rig.erase->isEnabled());
    QVERIFY(!rig.save->isEnabled());
    QCOMPARE(rig.instrument->requests().size(), 3);
}

void TestReliability::cablePulledDuringADownload()
{
    QTemporaryDir dir;
    SimulatedInstrument::Options options;
    options.dropLinkAfterBytes = 700;
    WindowRig rig(sampleFiles(3, 2000), options);
    QTRY_VERIFY(rig.listed(3));
    const QString pts = terminalPath(rig.device.masterFd(rig.port));
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseDirectory(dir.path()));
    rig.tick(0);
    rig.tick(1);
    rig.save->click();
    QTRY_VERIFY_WITH_TIMEOUT(watcher.seen().size() == 2, 10000);
    QCOMPARE(watcher.seen().at(1).title, QStringLiteral("Critical Error"));
    QVERIFY(!rig.statusBox()->isVisible());
    QCOMPARE(entriesOf(dir.path()), QStringList());
    QCOMPARE(openDescriptors(pts), 0);
    QCOMPARE(rig.table->rowCount(), 3);
    QTest::qWait(MainWindow::DrainQuietMs + 500);
    QVERIFY(!rig.save->isEnabled());
    QVERIFY(!rig.erase->isEnabled());
    QVERIFY(!rig.selectAll->isEnabled());
}

void TestReliability::cablePulledDuringADelete()
{
    WindowRig rig(sampleFiles(3));
    QTRY_VERIFY(rig.listed(3));
    connect(rig.instrument.get(),
            &SimulatedInstrument::requestReceived,
            this,
            [&](const QByteArray &r) {
                if (r == QByteArray("\x41\x02\x00", 3)) {
                    rig.instrument->detach();
                    rig.device.unplug(rig.port);
                }
            });
    rig.tick(0);
    rig.tick(1);
    ModalWatcher watcher;
    rig.erase->click();
    QTRY_VERIFY_WITH_TIMEOUT(watcher.seen().size() == 1, 10000);
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Critical Error"));
    QVERIFY(!rig.deleteDialog()->isVisible());
    QCOMPARE(rig.table->rowCount(), 3);
    QVERIFY(!rig.erase->isEnabled());
}

void TestReliability::randomBytesBetweenRuns()
{
    QTemporaryDir dir;
    const QList<StoredFile> files = sampleFiles(4, 700);
    WindowRig rig(files);
    QTRY_VERIFY(rig.listed(4));
    QRandomGenerator random(20261207);
    auto noise = [&] {
        for (int i = 0; i < 5; ++i) {
            QByteArray bytes(int(random.bounded(1, 40)), '\0');
            for (char &byte : bytes)
                byte = char(random.bounded(256));
            rig.instrument->sendRaw(bytes);
        }
        rig.instrument->sendRaw("FINAL");
        rig.instrument->sendRaw("OK");
        QTRY_VERIFY(rig.instrument->settled());
    };
    noise();
    QCOMPARE(rig.table->rowCount(), 4);
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseDirectory(dir.path()));
    rig.tick(1);
    rig.tick(2);
    rig.save->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.save->isEnabled() && QFile::exists(dir.filePath("trace2.sor")),
                             10000);
    QCOMPARE(readFile(dir.filePath("trace1.sor")), files.at(1).content);
    QCOMPARE(readFile(dir.filePath("trace2.sor")), files.at(2).content);
    noise();
    rig.tick(3);
    rig.erase->click();
    QTRY_VERIFY(rig.listed(3));
    QCOMPARE(rig.cell(2, 1), QStringLiteral("trace2.sor"));
    QCOMPARE(entriesOf(dir.path()), QStringList({"trace1.sor", "trace2.sor"}));
    QCOMPARE(watcher.seen().size(), 1);
}

void TestReliability::closingTheWindowDuringARun_data()
{
    QTest::addColumn<bool>("download");
    QTest::newRow("download") << true;
    QTest::newRow("delete") << false;
}

void TestReliability::closingTheWindowDuringARun()
{
    QFETCH(bool, download);
    QTemporaryDir dir;
    const QString target = dir.filePath("trace.sor");
    writeFile(target, "kept");
    const int threads = runningQThreads();
    SimulatedInstrument::Options options;
    options.replyPauseMs = 50;
    {
        WindowRig rig(sampleFiles(3, 64 * 40), options);
        QTRY_VERIFY_WITH_TIMEOUT(rig.listed(3), 10000);
        ModalWatcher watcher;
        if (download) {
            watcher.push(ModalWatcher::chooseFile(target));
            rig.doubleClick(0);
        } else {
            rig.tick(0);
            rig.tick(1);
            rig.erase->click();
        }
        QTRY_COMPARE(rig.instrument->requests().size(), 2);
        QTest::qWait(200);
        rig.window->close();
    }
    QVERIFY(runningQThreads() <= threads);
    QCOMPARE(entriesOf(dir.path()), QStringList{"trace.sor"});
    QCOMPARE(readFile(target), QByteArray("kept"));
}

void TestReliability::waitingUsesNoProcessor()
{
    SimulatedInstrument::Options options;
    options.stopAfterRequests = 1;
    WindowRig rig(sampleFiles(2, 500), options);
    QTRY_VERIFY(rig.listed(2));
    QTemporaryDir dir;
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(dir.filePath("a.sor")));
    rig.doubleClick(0);
    QTRY_COMPARE(rig.instrument->requests().size(), 2);
    QTest::qWait(300);
    // A download waiting for its instrument: the event loop sleeps.
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(2000);
    const double share = (processCpuSeconds() - cpuBefore) / (wall.elapsed() / 1000.0);
    QVERIFY2(share < 0.2, qPrintable(QStringLiteral("processor share %1").arg(share)));
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
