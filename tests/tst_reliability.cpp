#include "measure.h"
#include "windowrig.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QRandomGenerator>

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestReliability : public QObject
{
    Q_OBJECT

private slots:
    void silence_data();
    void silence();
    void cablePulled_data();
    void cablePulled();
    void instrumentPluggedInLater();
    void portThatWillNotOpen();
    void deviceGoneWithoutHangUp();
    void listChangedUnderTheSaveDialog_data();
    void listChangedUnderTheSaveDialog();
    void randomBytesBetweenRuns();
    void closingTheWindowDuringARun_data();
    void closingTheWindowDuringARun();
    void waitingUsesNoProcessor();
};

namespace {
enum class Cut { Listing, Download, GluedFinal, Delete };
const QString NoAnswer = QStringLiteral("O equipamento nao respondeu.");
const QString SilentNote
    = QStringLiteral("O equipamento não respondeu. Pressione F5 para tentar de novo.");
} // namespace

void TestReliability::silence_data()
{
    QTest::addColumn<int>("cut");
    QTest::addColumn<bool>("answersAgain");
    QTest::newRow("listing, then the instrument answers") << int(Cut::Listing) << true;
    QTest::newRow("listing, and the next listing too") << int(Cut::Listing) << false;
    QTest::newRow("download, in the middle of a file") << int(Cut::Download) << true;
    QTest::newRow("download, FINAL glued to the data") << int(Cut::GluedFinal) << true;
    QTest::newRow("delete, after the first OK") << int(Cut::Delete) << true;
}

// A reply that does not come ends the run with a warning and leaves nothing partial on disk.
// A listing or a delete cut short is followed, once the line is quiet, by one listing of its
// own; late bytes are credited to nothing.
void TestReliability::silence()
{
    QFETCH(int, cut);
    QFETCH(bool, answersAgain);
    QTemporaryDir dir;
    const QString target = dir.filePath("trace.sor");
    writeFile(target, "an earlier download");
    SimulatedInstrument::Options options;
    if (cut == int(Cut::Listing))
        options.silenceAfterReplies = 2;
    else if (cut == int(Cut::Download))
        options.silenceAfterReplies = 5 + 10; // the listing, then ten pieces of the file
    else if (cut == int(Cut::Delete))
        options.silenceAfterReplies = 5 + 1; // the listing, then the first "OK"
    else
        options.glueFinal = true;
    const QList<StoredFile> files = sampleFiles(3, 2000);
    WindowRig rig(
        files, options, cut == int(Cut::Listing) ? WindowRig::Unlisted : WindowRig::Listed);
    rig.shortenTimers();
    ModalWatcher watcher;
    if (cut == int(Cut::Download) || cut == int(Cut::GluedFinal)) {
        watcher.push(ModalWatcher::chooseFile(target));
        rig.doubleClick(1);
    } else if (cut == int(Cut::Delete)) {
        rig.tick(0);
        rig.tick(1);
        rig.erase->click();
        QTRY_COMPARE(rig.instrument->requests().size(), 3);
        QVERIFY(rig.deleteDialog()->isVisible());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.seen().isEmpty() && watcher.seen().last().text == NoAnswer,
                             10000);
    const int boxes = watcher.seen().size();
    QVERIFY(!rig.deleteDialog()->isVisible());
    QVERIFY(!rig.statusBox() || !rig.statusBox()->isVisible());
    QCOMPARE(entriesOf(dir.path()), QStringList{"trace.sor"});
    QCOMPARE(readFile(target), QByteArray("an earlier download"));
    QVERIFY(!rig.save->isEnabled());

    const int sent = rig.instrument->requests().size();
    if (answersAgain) {
        rig.instrument->setOptions({});
        rig.instrument->sendRaw("late data");
        rig.instrument->sendRaw("FINAL");
    }
    if (cut == int(Cut::Download) || cut == int(Cut::GluedFinal)) {
        // No listing follows a download; the window is usable once the line is quiet.
        QTRY_VERIFY(rig.save->isEnabled());
        QCOMPARE(rig.instrument->requests().size(), sent);
        watcher.push(ModalWatcher::chooseFile(target));
        rig.doubleClick(2);
        QTRY_COMPARE(readFile(target), files.at(2).content);
    } else if (answersAgain) {
        const int left = cut == int(Cut::Delete) ? 2 : 3;
        QTRY_VERIFY(rig.listed(left));
        QCOMPARE(rig.instrument->requests().size(), sent + 1);
        QCOMPARE(rig.instrument->requests().last(), SimulatedInstrument::listRequest());
        QCOMPARE(rig.cell(0, 1), QStringLiteral("trace%1.sor").arg(3 - left));
    } else {
        // The second listing fails too: no second box, but a note that says how to go on.
        auto *hint = rig.window->findChild<QLabel *>(QStringLiteral("hint"));
        auto *refresh = rig.window->findChild<QAction *>(QStringLiteral("refreshAction"));
        QTRY_VERIFY_WITH_TIMEOUT(hint->isVisible(), 10000);
        QCOMPARE(hint->text(), SilentNote);
        QCOMPARE(rig.instrument->requests().size(), sent + 1);
        QTRY_VERIFY(refresh->isEnabled());
        // F5 on a silent instrument: one box for the listing and the one that follows it.
        refresh->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(rig.instrument->requests().size(), sent + 3, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(hint->isVisible() && refresh->isEnabled(), 10000);
        QCOMPARE(watcher.seen().size(), boxes + 1);
        // And F5 once the instrument answers again lists it and takes the note away.
        rig.instrument->setOptions({});
        refresh->trigger();
        QTRY_VERIFY(rig.listed(3));
        QVERIFY(!hint->isVisible());
    }
    int noAnswers = 0;
    for (const ModalWatcher::Seen &seen : watcher.seen())
        noAnswers += seen.text == NoAnswer ? 1 : 0;
    QCOMPARE(noAnswers, answersAgain ? 1 : 2);
    QCOMPARE(entriesOf(dir.path()), QStringList{"trace.sor"});
}

void TestReliability::cablePulled_data()
{
    QTest::addColumn<bool>("download");
    QTest::newRow("download") << true;
    QTest::newRow("delete") << false;
}

// "Critical Error", the port closed, nothing partial on disk; the old rows stay under a note,
// and the instrument plugged in again is listed and served as before.
void TestReliability::cablePulled()
{
    QFETCH(bool, download);
    QTemporaryDir dir;
    SimulatedInstrument::Options options;
    if (download)
        options.dropLinkAfterBytes = 700;
    const QList<StoredFile> files = sampleFiles(3, 2000);
    WindowRig rig(files, options);
    const QString pts = terminalPath(rig.device.masterFd(rig.port));
    if (!download) {
        connect(rig.instrument.get(), &SimulatedInstrument::requestReceived, this, [&](auto r) {
            if (r == SimulatedInstrument::deleteRequest(2))
                rig.unplug();
        });
    }
    ModalWatcher watcher;
    rig.tick(0);
    rig.tick(1);
    if (download) {
        watcher.push(ModalWatcher::chooseDirectory(dir.path()));
        rig.save->click();
    } else {
        rig.erase->click();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.seen().isEmpty()
                                 && watcher.seen().last().title == QStringLiteral("Critical Error"),
                             10000);
    QCOMPARE(watcher.seen().size(), download ? 2 : 1);
    QVERIFY(!rig.statusBox()->isVisible());
    QVERIFY(!rig.deleteDialog()->isVisible());
    QCOMPARE(entriesOf(dir.path()), QStringList());
    QCOMPARE(openDescriptors(pts), 0);
    QCOMPARE(rig.table->rowCount(), 3);
    auto *hint = rig.window->findChild<QLabel *>(QStringLiteral("hint"));
    QVERIFY(hint->isVisible());
    QVERIFY(hint->text().startsWith(QStringLiteral("Equipamento desconectado")));
    QTest::qWait(MainWindow::WatchIntervalMs + 200); // it looks for the instrument, in silence
    QVERIFY(!rig.save->isEnabled());
    QVERIFY(!rig.erase->isEnabled());
    QVERIFY(!rig.selectAll->isEnabled());
    QCOMPARE(watcher.seen().size(), download ? 2 : 1);

    rig.instrument->setOptions({});
    rig.plug();
    const int left = download ? 3 : 2;
    QTRY_VERIFY_WITH_TIMEOUT(rig.listed(left), 5000);
    QVERIFY(!hint->isVisible());
    watcher.push(ModalWatcher::chooseFile(dir.filePath("again.sor")));
    rig.doubleClick(left - 1);
    QTRY_COMPARE(readFile(dir.filePath("again.sor")), files.at(2).content);
}

// Started before the cable is plugged in: three warnings, a note that the window waits, then
// the instrument found within the watch's second and listed with one request.
void TestReliability::instrumentPluggedInLater()
{
    ModalWatcher watcher;
    WindowRig rig(sampleFiles(2), {}, WindowRig::Unplugged);
    QCOMPARE(watcher.seen().size(), 3);
    auto *hint = rig.window->findChild<QLabel *>(QStringLiteral("hint"));
    QTRY_VERIFY(hint->isVisible());
    QCOMPARE(hint->text(), QStringLiteral("Aguardando o equipamento no cabo USB…"));
    QTest::qWait(MainWindow::WatchIntervalMs + 200);
    QCOMPARE(watcher.seen().size(), 3);

    QElapsedTimer sincePlugged;
    sincePlugged.start();
    rig.plug();
    QTRY_COMPARE_WITH_TIMEOUT(rig.instrument->requests().size(), 1, 3000);
    QVERIFY(sincePlugged.elapsed() < 3000);
    QTRY_VERIFY(rig.listed(2));
    QVERIFY(!hint->isVisible());
    QTest::qWait(500);
    QCOMPARE(rig.instrument->requests(), QList<QByteArray>{SimulatedInstrument::listRequest()});
    QCOMPARE(watcher.seen().size(), 3);
}

// A port of the instrument's vendor that will not open is tried again in silence, and the
// table says why the window still waits.
void TestReliability::portThatWillNotOpen()
{
    ModalWatcher watcher;
    WindowRig rig(sampleFiles(2), {}, WindowRig::Unplugged);
    auto *hint = rig.window->findChild<QLabel *>(QStringLiteral("hint"));
    const QString refused = rig.device.addPort(MockSerialDevice::InstrumentVendor, 1, false);
    QTRY_VERIFY_WITH_TIMEOUT(hint->text().startsWith(QStringLiteral("A porta do equipamento")),
                             3000);
    QVERIFY(hint->isVisible());
    QCOMPARE(hint->text(),
             QStringLiteral("A porta do equipamento está ocupada ou sem permissão. "
                            "Tentando de novo…"));
    rig.device.unplug(refused);
    QTRY_COMPARE_WITH_TIMEOUT(
        hint->text(), QStringLiteral("Aguardando o equipamento no cabo USB…"), 3000);
    rig.plug();
    QTRY_VERIFY_WITH_TIMEOUT(rig.listed(2), 5000);
    QVERIFY(!hint->isVisible());
    QCOMPARE(watcher.seen().size(), 3); // the start-up warnings only
}

// A device that leaves without hanging its line up is noticed at the first silence: the port
// is closed and the instrument found again when it comes back.
void TestReliability::deviceGoneWithoutHangUp()
{
    const QList<StoredFile> files = sampleFiles(2);
    WindowRig rig(files);
    rig.shortenTimers();
    ModalWatcher watcher;
    const QString pts = terminalPath(rig.device.masterFd(rig.port));
    rig.unplug(false);
    rig.window->findChild<QAction *>(QStringLiteral("refreshAction"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.seen().isEmpty(), 5000);
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Critical Error"));
    QCOMPARE(openDescriptors(pts), 0);
    auto *hint = rig.window->findChild<QLabel *>(QStringLiteral("hint"));
    QVERIFY(hint->isVisible());
    rig.plug();
    QTRY_VERIFY_WITH_TIMEOUT(rig.listed(2), 5000);
    QVERIFY(!hint->isVisible());
    QCOMPARE(watcher.seen().size(), 1);
}

void TestReliability::listChangedUnderTheSaveDialog_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::newRow("double-click") << true;
    QTest::newRow("ticked rows") << false;
}

// Rows chosen before a save dialog are never sent under a listing that came while it was
// open: nothing is downloaded, the user is told, and the table shows the new list.
void TestReliability::listChangedUnderTheSaveDialog()
{
    QFETCH(bool, doubleClick);
    QTemporaryDir dir;
    QList<StoredFile> files = sampleFiles(3);
    WindowRig rig(files);
    QList<StoredFile> changed = files;
    changed.removeAt(0);
    ModalWatcher watcher;
    watcher.push([&](QWidget *dialog) {
        rig.instrument->setFiles(changed);
        rig.window->findChild<QAction *>(QStringLiteral("refreshAction"))->trigger();
        QVERIFY(QTest::qWaitFor([&] { return rig.listed(2); }, 5000));
        if (doubleClick)
            ModalWatcher::chooseFile(dir.filePath("chosen.sor"))(dialog);
        else
            ModalWatcher::chooseDirectory(dir.path())(dialog);
    });
    if (doubleClick) {
        rig.doubleClick(1);
    } else {
        rig.tick(0);
        rig.tick(1);
        rig.save->click();
    }
    QTRY_COMPARE(watcher.seen().size(), 2);
    QCOMPARE(watcher.seen().last().title, QStringLiteral("Lista de arquivos atualizada"));
    QVERIFY(watcher.seen().last().text.contains(QStringLiteral("Escolha os arquivos de novo")));
    QTest::qWait(300);
    QCOMPARE(rig.instrument->requests(),
             (QList<QByteArray>{SimulatedInstrument::listRequest(),
                                SimulatedInstrument::listRequest()}));
    QCOMPARE(entriesOf(dir.path()), QStringList());
    QCOMPARE(rig.cell(0, 1), QStringLiteral("trace1.sor"));
    QVERIFY(rig.save->isEnabled());
}

void TestReliability::randomBytesBetweenRuns()
{
    QTemporaryDir dir;
    const QList<StoredFile> files = sampleFiles(4, 700);
    WindowRig rig(files);
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
    QTest::qWait(1000);
    const double share = (processCpuSeconds() - cpuBefore) / (wall.elapsed() / 1000.0);
    QVERIFY2(share < 0.2, qPrintable(QStringLiteral("processor share %1").arg(share)));
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
