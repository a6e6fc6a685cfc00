#include "windowrig.h"

#include <QDir>
#include <QFileDialog>
#include <QSignalSpy>
#include <QTemporaryDir>

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void batch();
    void singleFile_data();
    void singleFile();
    void dataShapes_data();
    void dataShapes();
    void finalGluedToDataIsData();
    void existingFileIsReplacedWhole();
    void unwritableDestination_data();
    void unwritableDestination();
    void hostileNamesStayInside();
    void cancelStartsNothing_data();
    void cancelStartsNothing();
    void actionsRefusedDuringARun();
    void strayRepliesAfterTheRun();
};

void TestDownload::batch()
{
    QTemporaryDir dir;
    QList<StoredFile> files = sampleFiles(7, 1000);
    WindowRig rig(files);
    QTRY_VERIFY(rig.listed(7));
    QList<bool> settledAtRequest;
    connect(rig.instrument.get(), &SimulatedInstrument::requestReceived, this, [&] {
        settledAtRequest.append(rig.instrument->settled());
    });
    auto *bar = rig.statusBox()->findChild<QProgressBar *>();
    QSignalSpy progress(bar, &QProgressBar::valueChanged);

    rig.tick(0);
    rig.tick(2);
    rig.tick(5);
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseDirectory(dir.path()));
    rig.save->click();
    QTRY_VERIFY(rig.statusBox()->isVisible());
    QCOMPARE(bar->value(), 0);
    QCOMPARE(rig.statusBox()->windowTitle(), QStringLiteral("Baixando os arquivos"));
    QCOMPARE(rig.statusBox()->text(), QStringLiteral("Aguarde um instante, baixando os arquivos!"));
    QCOMPARE(bar->maximum(), 3);
    QVERIFY(rig.statusBox()->buttons().isEmpty());

    QTRY_VERIFY(!rig.statusBox()->isVisible());
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Salva os Documentos"));
    const QList<QByteArray> expected{QByteArray("\x03"),
                                     QByteArray("\xAA\x01\x00", 3),
                                     QByteArray("\xAA\x03\x00", 3),
                                     QByteArray("\xAA\x06\x00", 3)};
    QCOMPARE(rig.instrument->requests(), expected);
    // Each request went out only after everything before it had been read.
    QCOMPARE(settledAtRequest, QList<bool>({true, true, true}));
    QCOMPARE(entriesOf(dir.path()), QStringList({"trace0.sor", "trace2.sor", "trace5.sor"}));
    for (int i : {0, 2, 5})
        QCOMPARE(readFile(dir.filePath(QStringLiteral("trace%1.sor").arg(i))), files.at(i).content);
    QList<int> values;
    for (const QList<QVariant> &change : qAsConst(progress))
        values.append(change.first().toInt());
    QCOMPARE(values, QList<int>({1, 2, 3, 0}));
    // The table is rebuilt without ticks, and no listing follows.
    QTRY_VERIFY(rig.save->isEnabled());
    for (int row = 0; row < 7; ++row)
        QCOMPARE(rig.cell(row, 0), QString());
}

void TestDownload::singleFile_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::newRow("one ticked row") << false;
    QTest::newRow("double-click on an unticked row") << true;
}

void TestDownload::singleFile()
{
    QFETCH(bool, doubleClick);
    QTemporaryDir dir;
    const QList<StoredFile> files = sampleFiles(5, 2000);
    WindowRig rig(files);
    QTRY_VERIFY(rig.listed(5));
    const QString target = dir.filePath(QStringLiteral("escolhido")); // no extension added
    QString proposed;
    ModalWatcher watcher;
    watcher.push([&](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        QVERIFY(dialog);
        proposed = dialog->selectedFiles().value(0);
        ModalWatcher::chooseFile(target)(widget);
    });
    QSignalSpy progress(rig.statusBox()->findChild<QProgressBar *>(), &QProgressBar::valueChanged);
    if (doubleClick) {
        rig.tick(0);
        rig.tick(1);
        rig.doubleClick(3);
    } else {
        rig.tick(3);
        rig.save->click();
    }
    QTRY_COMPARE(rig.instrument->requests().size(), 2);
    QTRY_VERIFY(rig.save->isEnabled());
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Salva Documento"));
    QCOMPARE(proposed, QDir::homePath() + QStringLiteral("/trace3.sor"));
    QCOMPARE(rig.instrument->requests().at(1), QByteArray("\xAA\x04\x00", 3));
    QCOMPARE(entriesOf(dir.path()), QStringList{"escolhido"});
    QCOMPARE(readFile(target), files.at(3).content);
    QCOMPARE(progress.last().first().toInt(), 0);
    QCOMPARE(progress.at(progress.size() - 2).first().toInt(), 1); // full at maximum 1
}

void TestDownload::dataShapes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("chunk");
    QTest::newRow("ten reads") << 640 << 64;
    QTest::newRow("one read") << 50 << 64;
    QTest::newRow("FINAL alone") << 0 << 64;
    QTest::newRow("odd chunks") << 60000 << 61;
}

void TestDownload::dataShapes()
{
    QFETCH(int, size);
    QFETCH(int, chunk);
    QTemporaryDir dir;
    SimulatedInstrument::Options options;
    options.chunkSize = chunk;
    QList<StoredFile> files = sampleFiles(2, size);
    WindowRig rig(files, options);
    QTRY_VERIFY(rig.listed(2));
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(dir.filePath("out.sor")));
    rig.tick(0);
    rig.save->click();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("out.sor")), 20000);
    QCOMPARE(readFile(dir.filePath("out.sor")), files.first().content);
    QCOMPARE(entriesOf(dir.path()), QStringList{"out.sor"});
}

void TestDownload::finalGluedToDataIsData()
{
    QTemporaryDir dir;
    SimulatedInstrument::Options options;
    options.glueFinal = true;
    WindowRig rig(sampleFiles(2, 200), options);
    QTRY_VERIFY(rig.listed(2));
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(dir.filePath("out.sor")));
    rig.tick(0);
    rig.save->click();
    QTRY_COMPARE(rig.instrument->requests().size(), 2);
    QTRY_VERIFY(rig.instrument->settled());
    QTest::qWait(300);
    // Still waiting for a "FINAL" of its own: nothing is on disk yet.
    QVERIFY(rig.statusBox()->isVisible());
    QCOMPARE(entriesOf(dir.path()), QStringList());
}

void TestDownload::existingFileIsReplacedWhole()
{
    QTemporaryDir dir;
    const QString target = dir.filePath("trace.sor");
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'z'));
    }
    QList<StoredFile> files = sampleFiles(2, 300);
    WindowRig rig(files);
    QTRY_VERIFY(rig.listed(2));
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(target));
    rig.doubleClick(1);
    QTRY_COMPARE(readFile(target).size(), 300);
    QCOMPARE(readFile(target), files.at(1).content);
}

void TestDownload::unwritableDestination_data()
{
    QTest::addColumn<bool>("batch");
    QTest::newRow("several files") << true;
    QTest::newRow("one file") << false;
}

// The chosen directory disappears once the dialog has closed, so no file can be created
// there, whoever runs the test.
void TestDownload::unwritableDestination()
{
    QFETCH(bool, batch);
    QTemporaryDir dir;
    const QString gone = dir.filePath("gone");
    const QString chosen = batch ? gone : gone + QStringLiteral("/otdr-test.sor");
    QVERIFY(QDir().mkpath(gone));
    WindowRig rig(sampleFiles(3, 300));
    QTRY_VERIFY(rig.listed(3));
    ModalWatcher watcher;
    watcher.push([&](QWidget *widget) {
        if (batch)
            ModalWatcher::chooseDirectory(chosen)(widget);
        else
            ModalWatcher::chooseFile(chosen)(widget);
        QDir(gone).removeRecursively();
    });
    if (batch) {
        rig.tick(0);
        rig.tick(2);
        rig.save->click();
    } else {
        rig.doubleClick(1);
    }
    QTRY_COMPARE(watcher.seen().size(), 2);
    const ModalWatcher::Seen error = watcher.seen().at(1);
    QCOMPARE(error.title, QStringLiteral("Erro ao salvar"));
    QVERIFY2(error.text.contains(QDir::toNativeSeparators(chosen)), qPrintable(error.text));
    QVERIFY(!rig.statusBox()->isVisible());
    QCOMPARE(entriesOf(dir.path()), QStringList());
    // No request was sent for a file that could not be created.
    QCOMPARE(rig.instrument->requests().size(), 1);
    // The table stays usable.
    QTRY_VERIFY(rig.save->isEnabled());
    QCOMPARE(rig.table->rowCount(), 3);
}

void TestDownload::hostileNamesStayInside()
{
    QTemporaryDir base;
    const QString dir = base.filePath("dl");
    QVERIFY(QDir().mkpath(dir));
    const QList<StoredFile> files{{"../escape.sor", "1", {}},
                                  {"a/b.sor", "2", {}},
                                  {"..", "3", {}},
                                  {"CON", "4", {}},
                                  {"same.sor", "5", {}},
                                  {"SAME.sor", "6", {}},
                                  {"same.sor", "7", {}}};
    WindowRig rig(files);
    QTRY_VERIFY(rig.listed(7));
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseDirectory(dir));
    rig.selectAll->click();
    rig.save->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.save->isEnabled() && rig.instrument->requests().size() == 8,
                             10000);
    QCOMPARE(QDir(base.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"dl"});
    const QStringList saved = entriesOf(dir);
    QCOMPARE(saved.size(), 7);
    QStringList contents;
    for (const QString &name : saved)
        contents.append(QString::fromLatin1(readFile(QDir(dir).filePath(name))));
    contents.sort();
    QCOMPARE(contents, QStringList({"1", "2", "3", "4", "5", "6", "7"}));
    QVERIFY(saved.contains("_CON"));
    QVERIFY(saved.contains(".._escape.sor"));
}

void TestDownload::cancelStartsNothing_data()
{
    QTest::addColumn<int>("ticks");
    QTest::newRow("save dialog") << 1;
    QTest::newRow("directory dialog") << 2;
    QTest::newRow("no tick, no dialog") << 0;
}

void TestDownload::cancelStartsNothing()
{
    QFETCH(int, ticks);
    WindowRig rig(sampleFiles(3));
    QTRY_VERIFY(rig.listed(3));
    for (int row = 0; row < ticks; ++row)
        rig.tick(row);
    ModalWatcher watcher;
    rig.save->click();
    QTest::qWait(300);
    QCOMPARE(watcher.seen().size(), ticks > 0 ? 1 : 0);
    QVERIFY(!rig.statusBox()->isVisible());
    QCOMPARE(rig.instrument->requests().size(), 1);
    QVERIFY(rig.save->isEnabled());
}

void TestDownload::actionsRefusedDuringARun()
{
    QTemporaryDir dir;
    SimulatedInstrument::Options options;
    options.replyPauseMs = 20;
    WindowRig rig(sampleFiles(3, 64 * 30), options);
    QTRY_VERIFY(rig.listed(3));
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(dir.filePath("a.sor")));
    rig.tick(0);
    rig.save->click();
    QTRY_COMPARE(rig.instrument->requests().size(), 2);
    QVERIFY(!rig.save->isEnabled());
    QVERIFY(!rig.erase->isEnabled());
    QVERIFY(!rig.selectAll->isEnabled());
    rig.doubleClick(2);
    QMetaObject::invokeMethod(rig.window.get(), "on_Apagar_clicked");
    QMetaObject::invokeMethod(rig.window.get(), "on_SalvarArquivo_clicked");
    QTRY_VERIFY_WITH_TIMEOUT(rig.save->isEnabled(), 10000);
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(rig.instrument->requests().size(), 2);
    QCOMPARE(entriesOf(dir.path()), QStringList{"a.sor"});
}

void TestDownload::strayRepliesAfterTheRun()
{
    QTemporaryDir dir;
    WindowRig rig(sampleFiles(3, 100));
    QTRY_VERIFY(rig.listed(3));
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(dir.filePath("a.sor")));
    rig.tick(1);
    rig.save->click();
    QTRY_VERIFY(rig.save->isEnabled());
    const QByteArray saved = readFile(dir.filePath("a.sor"));
    rig.tick(2);
    rig.instrument->sendRaw("more data");
    rig.instrument->sendRaw("FINAL");
    QTRY_VERIFY(rig.instrument->settled());
    QTest::qWait(100);
    QCOMPARE(readFile(dir.filePath("a.sor")), saved);
    QCOMPARE(rig.cell(2, 0), QStringLiteral("X"));
    QVERIFY(!rig.statusBox()->isVisible());
    QCOMPARE(entriesOf(dir.path()), QStringList{"a.sor"});
}

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
