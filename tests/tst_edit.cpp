#include "sor/sorreader.h"
#include "sortoolrun.h"
#include "sorwriter.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// otdr-sor edit on a batch as a technician runs it: names fixed from patterns, outputs renamed,
// the originals kept; and every way a batch can go wrong leaves no half-written trace.
class TestEdit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void renameABatch();
    void inPlace();
    void dryRunAndRoundTrip();
    void refusedBeforeWriting_data();
    void refusedBeforeWriting();
    void diskFillsHalfWay();

private:
    int run(const QStringList &arguments);
    QString path(const QString &name) const { return dir->filePath(name); }
    QByteArray bytes(const QString &name) const;
    QStringList entries(const QString &folder) const;

    std::unique_ptr<QTemporaryDir> dir;
    QMap<QString, QByteArray> originals;
    QString out;
    QString err;
};

void TestEdit::init()
{
    // Each test starts from the same files: three sound traces, one damaged, an output folder.
    dir = std::make_unique<QTemporaryDir>();
    originals.clear();
    const auto add = [this](const QString &name, const SorWriter::Trace &t) {
        originals.insert(name, SorWriter::write(t));
        writeInto(*dir, name, originals.value(name));
    };
    QList<SorWriter::Case> samples = SorWriter::sampleTraces();
    add("ROTA01_1310.sor", samples.at(0).trace);
    add("ROTA01_1550.sor", samples.at(1).trace);
    add("pequeno.sor", SorWriter::readerCase("version 1").trace);
    add("danificado.sor", SorWriter::readerCase("known maker, checksum wrong").trace);
    add("grande.sor", samples.at(4).trace);
    QDir(dir->path()).mkdir("saida");
}

int TestEdit::run(const QStringList &arguments)
{
    return runCapturing(arguments, out, err);
}

QByteArray TestEdit::bytes(const QString &name) const
{
    QFile file(path(name));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QStringList TestEdit::entries(const QString &folder) const
{
    return QDir(path(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Numbered cables, outputs named by the new values; the originals untouched; the measurement
// the same.
void TestEdit::renameABatch()
{
    QCOMPARE(run({"edit",
                  path("ROTA01_1310.sor"),
                  path("ROTA01_1550.sor"),
                  "--cable",
                  "CB-{n:03}",
                  "--comment",
                  "{name}: refeito",
                  "--rename",
                  "{cable}_{fiber}_{wavelength}.sor",
                  "--out-dir",
                  path("saida")}),
             0);
    QCOMPARE(entries("saida"), QStringList({"CB-001_F01_1310.sor", "CB-002_F01_1550.sor"}));
    const Sor::Trace first = Sor::readFile(path("saida/CB-001_F01_1310.sor"));
    QCOMPARE(first.general->cableId, QStringLiteral("CB-001"));
    QCOMPARE(first.general->comment, QStringLiteral("ROTA01_1310: refeito"));
    QCOMPARE(first.checksum.state, Sor::ChecksumState::Valid);
    QCOMPARE(first.levelDb, Sor::readFile(path("ROTA01_1310.sor")).levelDb);
    for (const QString name : {"ROTA01_1310.sor", "ROTA01_1550.sor"})
        QVERIFY(bytes(name) == originals.value(name));
    QVERIFY2(out.contains("cabo: \"ROTA01\" → \"CB-002\""), qPrintable(out));
}

// In place, the original is kept once as FILE.orig: a second edit does not replace it.
void TestEdit::inPlace()
{
    QCOMPARE(run({"edit", path("pequeno.sor"), "--fiber", "F9", "--in-place"}), 0);
    QVERIFY(bytes("pequeno.sor.orig") == originals.value("pequeno.sor"));
    QCOMPARE(Sor::readFile(path("pequeno.sor")).general->fiberId, QStringLiteral("F9"));
    QCOMPARE(run({"edit", path("pequeno.sor"), "--fiber", "F10", "--in-place"}), 0);
    QVERIFY(bytes("pequeno.sor.orig") == originals.value("pequeno.sor"));
    QCOMPARE(Sor::readFile(path("pequeno.sor")).general->fiberId, QStringLiteral("F10"));
    // Renamed in place: the new name replaces the file; without a backup nothing else stays.
    QCOMPARE(run({"edit",
                  path("ROTA01_1550.sor"),
                  "--in-place",
                  "--no-backup",
                  "--rename",
                  "{cable}-{wavelength}.sor"}),
             0);
    QVERIFY(!QFile::exists(path("ROTA01_1550.sor")));
    QVERIFY(!QFile::exists(path("ROTA01_1550.sor.orig")));
    QVERIFY(bytes("ROTA01-1550.sor") == originals.value("ROTA01_1550.sor"));
}

// A dry run shows old → new and writes nothing; no field given writes the file back unchanged.
void TestEdit::dryRunAndRoundTrip()
{
    QCOMPARE(run({"edit",
                  path("ROTA01_1310.sor"),
                  "--location-b",
                  "POSTE 9",
                  "--operator",
                  "Ana",
                  "--out-dir",
                  path("saida"),
                  "--dry-run"}),
             0);
    QVERIFY2(out.contains("local B: \"POSTE-118\" → \"POSTE 9\"")
                 && out.contains("operador: \"Tecnico de campo\" → \"Ana\""),
             qPrintable(out));
    QVERIFY(entries("saida").isEmpty());
    // A dry run into a folder not made yet shows where each file would go, and says so.
    QCOMPARE(run({"edit",
                  path("grande.sor"),
                  "--cable",
                  "Z",
                  "--out-dir",
                  path("ainda-nao"),
                  "--dry-run"}),
             0);
    QVERIFY2(out.contains("ainda-nao") && err.contains("crie-a antes de gravar"),
             qPrintable(out + err));
    QVERIFY(!QFileInfo::exists(path("ainda-nao")));
    QCOMPARE(run({"edit", path("grande.sor"), "-o", path("saida/copia.sor")}), 0);
    QVERIFY(bytes("saida/copia.sor") == originals.value("grande.sor"));
}

void TestEdit::refusedBeforeWriting_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    const QStringList both{"ROTA01_1310.sor", "ROTA01_1550.sor"};
    QTest::newRow("two outputs, one name")
        << both + QStringList{"--cable", "X", "--rename", "{cable}.sor", "--out-dir", "saida"} << 2
        << "seriam gravados com o mesmo nome";
    QTest::newRow("an output over another input")
        << both + QStringList{"--rename", "ROTA01_1550.sor", "--in-place"} << 2
        << "cairia sobre outro arquivo da lista";
    QTest::newRow("over itself, not in place")
        << QStringList{"pequeno.sor", "-o", "pequeno.sor", "--cable", "Y"} << 2 << "use --in-place";
    QTest::newRow("an output folder that is not there")
        << both + QStringList{"--out-dir", "nenhuma"} << 2 << "a pasta não existe";
    QTest::newRow("a damaged file in the batch")
        << QStringList{"pequeno.sor", "danificado.sor", "--cable", "Z", "--out-dir", "saida"} << 2
        << "(--force edita assim mesmo)";
    QTest::newRow("an unknown field in a pattern")
        << both + QStringList{"--fiber", "{fibra}", "--out-dir", "saida"} << 2
        << "campo desconhecido no padrão: {fibra}";
    QTest::newRow("no output") << both + QStringList{"--cable", "Z"} << 2 << "escolha uma saída";
    QTest::newRow("-o for two files")
        << both + QStringList{"-o", "saida/x.sor"} << 2 << "-o grava um só arquivo";
    QTest::newRow("-o over a file that is there")
        << QStringList{"pequeno.sor", "-o", "ROTA01_1550.sor", "--cable", "Y"} << 2
        << "já existe; nada foi gravado";
    QTest::newRow("a folder that cannot be written")
        << QStringList{"pequeno.sor", "--cable", "Z", "--out-dir", "/proc"} << 1
        << "nenhum arquivo foi gravado";
}

// Refused with a clear message: nothing written, the originals untouched.
void TestEdit::refusedBeforeWriting()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    // Files and folders are in the test's folder; a pattern is not a file.
    for (int i = 0; i < arguments.size(); ++i) {
        const QString a = arguments.at(i);
        const bool pattern = i > 0 && arguments.at(i - 1) == "--rename";
        if (!pattern && (a.endsWith(".sor") || a == "saida" || a == "nenhuma"))
            arguments[i] = path(a);
    }
    QTEST(run(QStringList{"edit"} + arguments), "status");
    QVERIFY2(err.contains(says), qPrintable(err));
    QVERIFY(entries("saida").isEmpty());
    QCOMPARE(entries("").size(), originals.size());
    for (auto it = originals.cbegin(); it != originals.cend(); ++it)
        QVERIFY(bytes(it.key()) == it.value());
}

// A file size limit stands for a disk that fills: the first file is written, the second fails
// whole (no partial trace, no temporary file), and the message names what was written.
void TestEdit::diskFillsHalfWay()
{
    QProcess tool;
    tool.setWorkingDirectory(dir->path());
    tool.start("sh",
               {"-c",
                "ulimit -f 40 && exec \"$0\" edit pequeno.sor grande.sor --cable Z --out-dir saida",
                OTDR_SOR});
    QVERIFY(tool.waitForFinished(30000));
    const QString error = QString::fromUtf8(tool.readAllStandardError());
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY2(error.contains("não foi possível gravar saida/grande.sor")
                 && error.contains("já gravados: saida/pequeno.sor"),
             qPrintable(error));
    QCOMPARE(entries("saida"), QStringList{"pequeno.sor"});
    QCOMPARE(Sor::readFile(path("saida/pequeno.sor")).general->cableId, QStringLiteral("Z"));
    QVERIFY(bytes("grande.sor") == originals.value("grande.sor"));
}

QTEST_GUILESS_MAIN(TestEdit)
#include "tst_edit.moc"
