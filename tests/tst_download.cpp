#include "sorwriter.h"
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
    void destinations_data();
    void destinations();
    void dataShapes_data();
    void dataShapes();
    void finalGluedToDataIsData();
    void hostileNamesStayInside();
    void cancelStartsNothing_data();
    void cancelStartsNothing();
    void actionsRefusedDuringARun();
    void strayRepliesAfterTheRun();
    void verification_data();
    void verification();
    void damagedNeverReplacesAFile_data();
    void damagedNeverReplacesAFile();
    void oneDamageReportPerBatch();
    void slowLine();
};

namespace {
// Traces that differ by wavelength; a damaged one has a checksum that does not match.
QList<StoredFile> traceFiles(int count, int damaged)
{
    QList<StoredFile> files;
    for (int i = 0; i < count; ++i) {
        SorWriter::Trace t = SorWriter::readerCases().first().trace;
        t.wavelength = quint16(13100 + 10 * i);
        if (i < damaged)
            t.checksum = SorWriter::Checksum::Wrong;
        files.append({QByteArray("t") + QByteArray::number(i) + ".sor", SorWriter::write(t), {}});
    }
    return files;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

void TestDownload::batch()
{
    QTemporaryDir dir;
    QList<StoredFile> files = sampleFiles(7, 1000);
    WindowRig rig(files);
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
    const QList<QByteArray> expected{SimulatedInstrument::listRequest(),
                                     SimulatedInstrument::downloadRequest(1),
                                     SimulatedInstrument::downloadRequest(3),
                                     SimulatedInstrument::downloadRequest(6)};
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

    // A second batch of one file re-arms the same box for a single file.
    watcher.push(ModalWatcher::chooseFile(dir.filePath("again.sor")));
    rig.tick(6);
    rig.save->click();
    QTRY_VERIFY(rig.statusBox()->isVisible());
    QCOMPARE(bar->maximum(), 1);
    QTRY_VERIFY(rig.save->isEnabled());
    QCOMPARE(readFile(dir.filePath("again.sor")), files.at(6).content);
    QCOMPARE(rig.instrument->requests().last(), SimulatedInstrument::downloadRequest(7));
}

void TestDownload::destinations_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QByteArray>("earlier"); // what the destination held before
    QTest::addColumn<bool>("gone");          // the destination vanishes once chosen
    QTest::newRow("one ticked row") << false << QByteArray() << false;
    QTest::newRow("double-click on an unticked row") << true << QByteArray() << false;
    QTest::newRow("an earlier file replaced whole") << true << QByteArray(5000, 'z') << false;
    QTest::newRow("unwritable, one file") << true << QByteArray() << true;
    QTest::newRow("unwritable, several files") << false << QByteArray() << true;
}

// One file goes exactly where the save dialog says; a destination that cannot be written gives
// "Erro ao salvar" naming it, sends no request, and leaves the table usable.
void TestDownload::destinations()
{
    QFETCH(bool, doubleClick);
    QFETCH(QByteArray, earlier);
    QFETCH(bool, gone);
    const bool several = gone && !doubleClick;
    QTemporaryDir dir;
    const QString folder = dir.filePath("out");
    QVERIFY(QDir().mkpath(folder));
    const QString target = several ? folder : folder + QStringLiteral("/escolhido");
    if (!earlier.isEmpty()) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(earlier);
    }
    const QList<StoredFile> files = sampleFiles(5, 2000);
    WindowRig rig(files);
    rig.shortenTimers();
    QString proposed;
    ModalWatcher watcher;
    watcher.push([&](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        QVERIFY(dialog);
        proposed = dialog->selectedFiles().value(0);
        if (several)
            ModalWatcher::chooseDirectory(target)(widget);
        else
            ModalWatcher::chooseFile(target)(widget); // no extension is added
        if (gone)
            QDir(folder).removeRecursively();
    });
    QSignalSpy progress(rig.statusBox()->findChild<QProgressBar *>(), &QProgressBar::valueChanged);
    if (doubleClick) {
        rig.tick(0);
        rig.tick(1);
        rig.doubleClick(3);
    } else {
        rig.tick(3);
        if (several)
            rig.tick(4);
        rig.save->click();
    }
    if (gone) {
        QTRY_COMPARE(watcher.seen().size(), 2);
        QCOMPARE(watcher.seen().at(1).title, QStringLiteral("Erro ao salvar"));
        QVERIFY2(watcher.seen().at(1).text.contains(QDir::toNativeSeparators(target)),
                 qPrintable(watcher.seen().at(1).text));
        QVERIFY(!rig.statusBox()->isVisible());
        QCOMPARE(entriesOf(dir.path()), QStringList());
        QCOMPARE(rig.instrument->requests().size(), 1);
        QTRY_VERIFY(rig.save->isEnabled());
        return;
    }
    QTRY_COMPARE(rig.instrument->requests().size(), 2);
    QTRY_VERIFY(rig.save->isEnabled());
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Salva Documento"));
    QCOMPARE(proposed, QDir::homePath() + QStringLiteral("/trace3.sor"));
    QCOMPARE(rig.instrument->requests().at(1), SimulatedInstrument::downloadRequest(4));
    QCOMPARE(entriesOf(folder), QStringList{"escolhido"});
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
    QTest::newRow("double-click dialog") << -1;
}

void TestDownload::cancelStartsNothing()
{
    QFETCH(int, ticks);
    WindowRig rig(sampleFiles(3));
    for (int row = 0; row < ticks; ++row)
        rig.tick(row);
    ModalWatcher watcher;
    if (ticks < 0)
        rig.doubleClick(1);
    else
        rig.save->click();
    QTest::qWait(300);
    QCOMPARE(watcher.seen().size(), ticks != 0 ? 1 : 0);
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

void TestDownload::verification_data()
{
    QTest::addColumn<bool>("traces"); // SOR traces of a maker whose checksum is known
    QTest::addColumn<int>("cut");
    QTest::addColumn<int>("flip");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QString>("reason"); // empty: no warning
    QTest::newRow("a sound batch of traces") << true << 0 << -1 << false << QString();
    QTest::newRow("the second of three cut short")
        << false << 96 << -1 << false
        << "trace1.sor: recebidos 1.904 bytes, mas o equipamento listou 2.000";
    QTest::newRow("a flipped byte in a trace")
        << true << 0 << 1500 << false << "t1.sor: a soma de verificação do traço não confere";
    QTest::newRow("a flipped byte in a file that is not a trace")
        << false << 0 << 100 << false << QString();
    QTest::newRow("one file cut short, double-click")
        << false << 1 << -1 << true << "trace1.sor: recebidos 1.999 bytes";
}

// Every saved file is checked against its listed size and, when it is a trace, its own
// structure and checksum; damaged files stay on disk and one box names them at the end.
void TestDownload::verification()
{
    QFETCH(bool, traces);
    QFETCH(int, cut);
    QFETCH(int, flip);
    QFETCH(bool, doubleClick);
    QFETCH(QString, reason);
    QList<StoredFile> files = sampleFiles(3, 2000);
    if (traces) {
        for (int i = 0; i < files.size(); ++i) {
            SorWriter::Trace t = SorWriter::readerCases().first().trace;
            t.wavelength = quint16(13100 + 2400 * i);
            files[i] = {QByteArray("t") + QByteArray::number(i) + ".sor", SorWriter::write(t), {}};
        }
    }
    SimulatedInstrument::Options options;
    options.damagedItem = 2;
    options.cutBytes = cut;
    options.flipOffset = flip;
    QTemporaryDir dir;
    WindowRig rig(files, options);
    ModalWatcher watcher;
    QList<bool> usableBehindTheBox;
    if (doubleClick) {
        watcher.push(ModalWatcher::chooseFile(dir.filePath(files.at(1).name)));
        rig.doubleClick(1);
    } else {
        watcher.push(ModalWatcher::chooseDirectory(dir.path()));
        rig.selectAll->click();
        rig.save->click();
    }
    watcher.push([&](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        QVERIFY(box);
        QCOMPARE(box->icon(), QMessageBox::Warning);
        // open(), not exec(): modal to the window only, and the table is already rebuilt.
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        usableBehindTheBox.append(rig.save->isEnabled());
        ModalWatcher::dismiss(widget);
    });
    QTRY_COMPARE(entriesOf(dir.path()).size(), doubleClick ? 1 : 3);
    QTRY_VERIFY(rig.save->isEnabled());
    QTest::qWait(200);
    QCOMPARE(watcher.seen().size(), reason.isEmpty() ? 1 : 2);
    if (!reason.isEmpty()) {
        QCOMPARE(watcher.seen().last().title, QStringLiteral("Arquivos danificados"));
        QVERIFY2(watcher.seen().last().text.contains(reason),
                 qPrintable(watcher.seen().last().text));
        QCOMPARE(watcher.seen().last().text.count(QStringLiteral(".sor:")), 1);
        QCOMPARE(usableBehindTheBox, QList<bool>{true});
    }
}

void TestDownload::damagedNeverReplacesAFile_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("copy");
    QTest::newRow("double-click over a sound file")
        << true << QStringList{"trace1.sor"} << "trace1 (danificado).sor";
    QTest::newRow("batch, an earlier damaged copy kept too")
        << false << QStringList{"trace1.sor", "trace1 (danificado).sor"}
        << "trace1 (danificado 2).sor";
}

// A download that arrives damaged is kept beside a file of its name, never over it, and the
// end-of-batch box names both.
void TestDownload::damagedNeverReplacesAFile()
{
    QFETCH(bool, doubleClick);
    QFETCH(QStringList, before);
    QFETCH(QString, copy);
    QTemporaryDir dir;
    for (const QString &name : before)
        writeFile(dir.filePath(name), "sound: " + name.toUtf8());
    const QList<StoredFile> files = sampleFiles(3, 2000);
    SimulatedInstrument::Options options;
    options.damagedItem = 2;
    options.cutBytes = 100;
    WindowRig rig(files, options);
    ModalWatcher watcher;
    if (doubleClick) {
        watcher.push(ModalWatcher::chooseFile(dir.filePath("trace1.sor")));
        rig.doubleClick(1);
    } else {
        watcher.push(ModalWatcher::chooseDirectory(dir.path()));
        rig.selectAll->click();
        rig.save->click();
    }
    QTRY_COMPARE(watcher.seen().size(), 2);
    QTRY_VERIFY(rig.save->isEnabled());
    const QString text = watcher.seen().last().text;
    QCOMPARE(watcher.seen().last().title, QStringLiteral("Arquivos danificados"));
    QVERIFY2(text.contains(QStringLiteral("trace1.sor: recebidos 1.900 bytes")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("\"%1\"").arg(copy)), qPrintable(text));
    for (const QString &name : before)
        QCOMPARE(readFile(dir.filePath(name)), "sound: " + name.toUtf8());
    QCOMPARE(readFile(dir.filePath(copy)), files.at(1).content.left(1900));
    QStringList expected = before + QStringList{copy};
    if (!doubleClick)
        expected += QStringList{"trace0.sor", "trace2.sor"};
    expected.sort();
    QCOMPARE(entriesOf(dir.path()), expected);
    QTest::qWait(200);
    QCOMPARE(watcher.seen().size(), 2);
}

// A batch cut short where it moves to the next file reports its damaged files in one box,
// whose text names the first ten and whose details name them all.
void TestDownload::oneDamageReportPerBatch()
{
    const QList<StoredFile> files = traceFiles(13, 12);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("t12.sor")); // the last file cannot be created
    WindowRig rig(files);
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseDirectory(dir.path()));
    QStringList details;
    const auto record = [&](QWidget *widget) {
        if (auto *box = qobject_cast<QMessageBox *>(widget))
            details.append(box->detailedText());
        ModalWatcher::dismiss(widget);
    };
    watcher.push(record);
    watcher.push(record);
    rig.selectAll->click();
    rig.save->click();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.seen().size(), 3, 10000);
    QTest::qWait(300);
    QCOMPARE(watcher.seen().size(), 3);
    QStringList titles;
    QString text;
    for (const ModalWatcher::Seen &seen : watcher.seen()) {
        titles.append(seen.title);
        if (seen.title == QStringLiteral("Arquivos danificados"))
            text = seen.text;
    }
    titles.sort();
    QCOMPARE(titles,
             QStringList({"Arquivos danificados", "Erro ao salvar", "Salva os Documentos"}));
    QCOMPARE(text.count(QStringLiteral(".sor: a soma de verificação")), 10);
    QVERIFY2(text.contains(QStringLiteral("e mais 2")), qPrintable(text));
    details.removeAll(QString());
    QCOMPARE(details.size(), 1);
    QCOMPARE(details.first().count(QStringLiteral(".sor: a soma de verificação")), 12);
    QVERIFY(details.first().contains(QStringLiteral("t11.sor")));
}

// As slow as the real link: the listing and a download still arrive whole and in time.
void TestDownload::slowLine()
{
    QTemporaryDir dir;
    const QList<StoredFile> files = sampleFiles(2, 300);
    SimulatedInstrument::Options options;
    options.bitRate = 1200; // 120 bytes a second
    QElapsedTimer clock;
    clock.start();
    WindowRig rig(files, options);
    QVERIFY(rig.listed(2));
    QCOMPARE(rig.cell(1, 1), QStringLiteral("trace1.sor"));
    // Four records of some 25 bytes each took their time on the line.
    QVERIFY2(clock.elapsed() >= 500, qPrintable(QString::number(clock.elapsed())));

    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(dir.filePath("lento.sor")));
    clock.restart();
    rig.doubleClick(1);
    QTRY_VERIFY_WITH_TIMEOUT(readFile(dir.filePath("lento.sor")) == files.at(1).content, 20000);
    QVERIFY2(clock.elapsed() >= 2500, qPrintable(QString::number(clock.elapsed())));
    QTRY_VERIFY(rig.save->isEnabled());
    QVERIFY(watcher.seen().size() == 1);
}

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
