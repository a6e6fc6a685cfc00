#include "acceptance/verdict.h"
#include "cable/cablejob.h"
#include "cable/cablexlsx.h"
#include "cable/closureview.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "sortoolrun.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// A cable's job on generated cables whose truth is known.
class TestCable : public QObject
{
    Q_OBJECT

private slots:
    void cleanCable();
    void faults_data();
    void faults();
    void commandLine();
    void workbook();
    void pdf();
    void cords();
    void templateLabels_data();
    void templateLabels();
    void reshoot();
    void absentWhereNoPoints();
    void oneJudgement_data();
    void oneJudgement();
    void oneEndOnly();
    void oneEndJudgedOnItsPoints();
    void sinceBaseline_data();
    void sinceBaseline();
    void oneCable();
    void reelsProposed_data();
    void reelsProposed();
    void frontConnectorNotJudged();
    void pdfAgreesWithItself();
    void ownEventNamed();
    void marksNoFileHolds();
    void settingsInTheirUnits();
    void csvQuoted();
    void matrixColumnsAligned_data();
    void matrixColumnsAligned();
};

namespace {

constexpr int Fibres = 6;
const double *const Splices = SorWriter::CableClosuresM;

using Written = SorWriter::CableEnds;

Written ends(int i, double end = 28000, int pulse = 300)
{
    return SorWriter::cableFibre(i, end, pulse);
}

void save(const QString &path, const SorWriter::Trace &t)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(SorWriter::write(t));
}

// Fibre i's two ends as "F0i-a<suffix>.sor" and "F0i-b<suffix>.sor".
void saveEnds(const QString &dir, int i, const Written &w, const QString &suffix = QString())
{
    save(QStringLiteral("%1/F0%2-a%3.sor").arg(dir).arg(i).arg(suffix), w.a);
    save(QStringLiteral("%1/F0%2-b%3.sor").arg(dir).arg(i).arg(suffix), w.b);
}

void writeCable(const QString &dir)
{
    for (int i = 1; i <= Fibres; ++i) {
        const Written w = ends(i);
        saveEnds(dir, i, w);
    }
}

// The text of a PDF, page by page.
QStringList pdfPages(const QString &pdf)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    text.waitForFinished(30000);
    return QString::fromUtf8(text.readAllStandardOutput()).split('\f');
}

// A workbook's sheets, each row's cells joined by '|', read back by openpyxl.
QMap<QString, QStringList> workbookSheets(const QString &book)
{
    QProcess reader;
    reader.start("/usr/bin/python3",
                 {"-c",
                  "import json, sys, openpyxl\n"
                  "wb = openpyxl.load_workbook(sys.argv[1])\n"
                  "print(json.dumps({ws.title: ['|'.join('' if v is None else str(v) for v in r)\n"
                  "    for r in ws.iter_rows(values_only=True)] for ws in wb.worksheets}))\n",
                  book});
    reader.waitForFinished(30000);
    QMap<QString, QStringList> sheets;
    const QJsonObject all = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    for (const QString &name : all.keys())
        sheets.insert(name, all.value(name).toVariant().toStringList());
    return sheets;
}

const Cable::Cell *cellOf(const Cable::Job &job, const QString &fiber, int closure)
{
    for (const Cable::Cell &c : job.matrix) {
        if (c.fiber == fiber && c.closure == closure)
            return &c;
    }
    return nullptr;
}

} // namespace

// Every closure found on every fibre; where both ends store the event, the loss is the mean of
// the two stored values; nothing raised.
void TestCable::cleanCable()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    const Cable::Job job = Cable::run({dir.path()}, {});
    QCOMPARE(job.files.size(), 2 * Fibres);
    QCOMPARE(job.fibres.size(), Fibres);
    QCOMPARE(job.bands, QVector<int>({1550}));
    QCOMPARE(job.closures.size(), 3);
    for (int c = 0; c < 3; ++c) {
        QVERIFY2(std::abs(job.closures.at(c).distanceM - Splices[c]) <= job.toleranceM,
                 qPrintable(QString::number(job.closures.at(c).distanceM)));
        QCOMPARE(job.closures.at(c).fibres, Fibres);
    }
    QCOMPARE(job.matrix.size(), Fibres * 3);
    for (int i = 1; i <= Fibres; ++i) {
        const Cable::Cell *first = cellOf(job, QStringLiteral("F0%1").arg(i), 1);
        QVERIFY(first);
        QCOMPARE(first->howAb, Cable::How::Found);
        QCOMPARE(first->howBa, Cable::How::Found);
        // The values each end stores (to 0.001 dB), and their mean.
        const double ab = 0.10 + 0.01 * i;
        const double ba = 0.06 + 0.01 * i;
        QVERIFY2(std::abs(*first->lossAbDb - ab) < 0.0006,
                 qPrintable(QString::number(*first->lossAbDb)));
        QVERIFY2(std::abs(*first->lossBaDb - ba) < 0.0006,
                 qPrintable(QString::number(*first->lossBaDb)));
        QVERIFY(std::abs(*first->lossDb - (*first->lossAbDb + *first->lossBaDb) / 2) < 1e-12);
    }
    QVERIFY(!job.checks.raised());
    QCOMPARE(job.status(), 0);
    for (const Cable::Fibre &f : job.fibres) {
        QVERIFY(f.lengthM && std::abs(*f.lengthM - 28000) < 10);
        QCOMPARE(f.files.size(), 2);
    }
}

void TestCable::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("raised"); // the checks that must name it, and only they
    QTest::addColumn<QString>("says");
    QTest::newRow("a splice one end does not store") << "unseen"
                                                     << ""
                                                     << "";
    QTest::newRow("a copy under another fibre's name") << "copy"
                                                       << "duplicates"
                                                       << "F05-a.sor";
    QTest::newRow("a missing end") << "missing"
                                   << "missing"
                                   << "fibra F03: falta a ponta B";
    QTest::newRow("a broken fibre") << "broken"
                                    << "length_outliers"
                                    << "fibra F04";
    QTest::newRow("another pulse width") << "pulse"
                                         << "settings"
                                         << "F06-a.sor: pulso 1000 ns";
    // Fibre 5's far end saved as fibre 6's: fibre 6 has two B ends (one taken as a measurement
    // repeated, the newest used), fibre 5 none.
    QTest::newRow("a mislabelled fibre") << "mislabel"
                                         << "repeated,missing"
                                         << "fibra F05: falta a ponta B";
}

// Each fault is named by its check, and only by it; a splice one end did not store is measured
// on that end's points at the place, close to its true loss.
void TestCable::faults()
{
    QFETCH(QString, fault);
    QFETCH(QString, raised);
    QFETCH(QString, says);
    QTemporaryDir dir;
    writeCable(dir.path());
    if (fault == "unseen") {
        Written w = ends(2);
        w.b.events.removeAt(w.b.events.size() - 3); // the 14 km splice, seen from B
        save(dir.filePath("F02-b.sor"), w.b);
    } else if (fault == "copy") {
        Written w = ends(2);
        w.a.fiberId = "F05";
        save(dir.filePath("F05-a.sor"), w.a);
    } else if (fault == "missing") {
        QVERIFY(QFile::remove(dir.filePath("F03-b.sor")));
    } else if (fault == "broken") {
        const Written w = ends(4, 18000);
        saveEnds(dir.path(), 4, w);
    } else if (fault == "mislabel") {
        Written w = ends(5);
        w.b.fiberId = "F06";
        save(dir.filePath("F05-b.sor"), w.b);
    } else if (fault == "pulse") {
        save(dir.filePath("F06-a.sor"), ends(6, 28000, 1000).a);
    }
    const Cable::Job job = Cable::run({dir.path()}, {});
    const QJsonObject checks = Cable::toJson(job).value("checks").toObject();
    const QStringList expected = raised.split(',', Qt::SkipEmptyParts);
    QString all;
    for (const QString &key : checks.keys()) {
        const QStringList lines = checks.value(key).toVariant().toStringList();
        QVERIFY2(lines.isEmpty() == !expected.contains(key),
                 qPrintable(key + ": " + lines.join('|')));
        all += lines.join('\n') + '\n';
    }
    QVERIFY2(all.contains(says), qPrintable(all));
    QCOMPARE(job.status(), raised.isEmpty() ? 0 : 1);
    if (fault == "unseen") {
        const Cable::Cell *c = cellOf(job, "F02", 2);
        QVERIFY(c);
        QCOMPARE(c->howAb, Cable::How::Found);
        QCOMPARE(c->howBa, Cable::How::Measured);
        QVERIFY2(std::abs(*c->lossBaDb - 0.11) < 0.05, qPrintable(QString::number(*c->lossBaDb)));
    }
    if (fault == "missing") {
        const Cable::Cell *c = cellOf(job, "F03", 1);
        QVERIFY(c);
        QCOMPARE(c->howBa, Cable::How::Absent);
        QCOMPARE(c->lossDb, c->lossAbDb); // the one end's value, never 0 for none
    }
}

// The command: its table, JSON and CSV, its exit status, and its refusals.
void TestCable::commandLine()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    QString out;
    QString err;
    QCOMPARE(runCapturing({"cable", dir.path(), "--json"}, out, err), 0);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    for (const char *key : {"fibres", "closures", "matrix", "checks"})
        QVERIFY2(json.contains(key), key);
    const QJsonObject cell = json.value("matrix").toArray().first().toObject();
    for (const char *key : {"fiber",
                            "wavelength_nm",
                            "closure",
                            "loss_ab_db",
                            "loss_ba_db",
                            "loss_db",
                            "how_ab",
                            "how_ba",
                            "verdict"})
        QVERIFY2(cell.contains(key), key);
    QCOMPARE(cell.value("how_ab").toString(), QStringLiteral("found"));
    QCOMPARE(runCapturing({"cable", dir.path(), "--csv"}, out, err), 0);
    QCOMPARE(out.count('\n'), 1 + Fibres * 3);
    QCOMPARE(runCapturing({"cable", dir.path(), "--preset", "monomodo-generico"}, out, err), 0);
    QVERIFY2(out.contains("Fibras: 6   Conectores: 1   Emendas: 2"), qPrintable(out));
    QCOMPARE(json.value("closures").toArray().at(2).toObject().value("kind").toString(),
             QStringLiteral("connector"));
    QVERIFY2(out.contains("APROVADO"), qPrintable(out));
    // A connector's 0.40 dB breaks a 0.3 dB splice limit at closure 3 on every fibre.
    QFile limits(dir.filePath("limites.json"));
    QVERIFY(limits.open(QIODevice::WriteOnly));
    limits.write(R"({"splice_loss_max_db": 0.3, "connector_loss_max_db": 0.3})");
    limits.close();
    QCOMPARE(runCapturing({"cable", dir.path(), "--limits", limits.fileName()}, out, err), 1);
    QVERIFY2(out.contains("REPROVADO"), qPrintable(out));
    QCOMPARE(runCapturing({"cable", dir.path(), "--launch", "perto"}, out, err), 2);
    QCOMPARE(runCapturing({"cable", dir.filePath("nada")}, out, err), 2);
    QCOMPARE(runCapturing({"cable", dir.path(), "--pair-by-name", "X"}, out, err), 2);
}

// The workbook read back (openpyxl) holds what the JSON says: each end's loss and the averaged
// one of every cell of the matrix, a fibre row each, the checks; a loss measured on the points
// is in italics, which a legend says; the headers stay in view.
void TestCable::workbook()
{
    if (!Cable::xlsxAvailable())
        QSKIP("built without libxlsxwriter");
    const QString python = QStringLiteral("/usr/bin/python3");
    QTemporaryDir dir;
    writeCable(dir.path());
    Written w = ends(2);
    w.b.events.removeAt(w.b.events.size() - 3); // measured on B's points at 14 km
    save(dir.filePath("F02-b.sor"), w.b);
    QVERIFY(QFile::remove(dir.filePath("F03-b.sor")));
    const QString book = dir.filePath("cabo.xlsx");
    QString out;
    QString err;
    QCOMPARE(runCapturing({"cable", dir.path(), "--json", "--xlsx", book}, out, err), 1);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    QProcess reader;
    reader.start(
        python,
        {"-c",
         "import json, sys, openpyxl\n"
         "wb = openpyxl.load_workbook(sys.argv[1])\n"
         "ws = wb['1550 nm']\n"
         "cells = {}\n"
         "heads = [ws.cell(1, c).value for c in range(2, ws.max_column + 1, 3)]\n"
         "ends = [ws.cell(2, c).value for c in range(2, 5)]\n"
         "r = 3\n"
         "while ws.cell(r, 1).value and ws.cell(r, 1).value.startswith('F'):\n"
         "    for c in range(2, ws.max_column + 1, 3):\n"
         "        v = [ws.cell(r, c + k) for k in range(3)]\n"
         "        cells['%s/%d' % (ws.cell(r, 1).value, (c + 1) // 3)] = [\n"
         "            [x.value for x in v], [bool(x.font.i) for x in v]]\n"
         "    r += 1\n"
         "legend = [ws.cell(k, 1).value for k in range(r, ws.max_row + 1)]\n"
         "print(json.dumps({'sheets': wb.sheetnames, 'cells': cells, 'heads': heads,\n"
         "    'ends': ends, 'legend': legend,\n"
         "    'frozen': [ws.freeze_panes, wb['Fibras'].freeze_panes,\n"
         "               wb['Verificações'].freeze_panes],\n"
         "    'fibres': [r[0] for r in wb['Fibras'].iter_rows(min_row=2, values_only=True)],\n"
         "    'checks': [r[1] for r in wb['Verificações'].iter_rows(min_row=2, "
         "values_only=True)]}))\n",
         book});
    QVERIFY(reader.waitForFinished(30000));
    const QJsonObject read = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    QVERIFY2(!read.isEmpty(), reader.readAllStandardError().constData());
    QCOMPARE(read.value("sheets").toVariant().toStringList(),
             QStringList({"Trabalho", "1550 nm", "Fibras", "Verificações"}));
    const QJsonObject cells = read.value("cells").toObject();
    const QJsonArray matrix = json.value("matrix").toArray();
    QCOMPARE(cells.size(), matrix.size());
    for (const QJsonValue &v : matrix) {
        const QJsonObject m = v.toObject();
        const QJsonArray cell = cells
                                    .value(QStringLiteral("%1/%2")
                                               .arg(m.value("fiber").toString())
                                               .arg(m.value("closure").toInt()))
                                    .toArray();
        const QJsonArray values = cell.at(0).toArray();
        const QJsonArray italic = cell.at(1).toArray();
        const char *keys[] = {"loss_ab_db", "loss_ba_db", "loss_db"};
        for (int k = 0; k < 3; ++k) {
            if (m.value(keys[k]).isNull())
                QCOMPARE(values.at(k).toString(), QStringLiteral("ausente"));
            else // as the PDF prints it
                QCOMPARE(values.at(k).toDouble(),
                         QString::number(m.value(keys[k]).toDouble(), 'f', 3).toDouble());
        }
        QCOMPARE(italic.at(0).toBool(), m.value("how_ab").toString() == "measured");
        QCOMPARE(italic.at(1).toBool(), m.value("how_ba").toString() == "measured");
        QCOMPARE(italic.at(2).toBool(),
                 m.value("how_ab").toString() == "measured"
                     || m.value("how_ba").toString() == "measured");
    }
    // F02's 14 km splice, measured on B's points: B→A and the mean in italics, A→B not.
    const QJsonArray f02 = cells.value("F02/2").toArray().at(1).toArray();
    QVERIFY(!f02.at(0).toBool() && f02.at(1).toBool() && f02.at(2).toBool());
    QCOMPARE(
        read.value("heads").toVariant().toStringList(),
        QStringList({"Emenda 1 (6,000 km)", "Emenda 2 (14,000 km)", "Conector 3 (20,000 km)"}));
    QCOMPARE(read.value("ends").toVariant().toStringList(),
             QStringList({QString::fromUtf8("A→B"), QString::fromUtf8("B→A"), "Média"}));
    QVERIFY2(read.value("legend").toVariant().toStringList().join('\n').contains("Itálico: medida "
                                                                                 "nos pontos"),
             qPrintable(read.value("legend").toVariant().toStringList().join('\n')));
    QCOMPARE(read.value("frozen").toVariant().toStringList(), QStringList({"B3", "B2", "A2"}));
    QCOMPARE(read.value("fibres").toVariant().toStringList(),
             QStringList({"F01", "F02", "F03", "F04", "F05", "F06"}));
    const QStringList checks = read.value("checks").toVariant().toStringList();
    QVERIFY2(checks.join('\n').contains("fibra F03: falta a ponta B"),
             qPrintable(checks.join('\n')));
}

// The PDF: a cover a client signs, the matrix, the fibres, the checks, then a page per fibre
// measured from both ends; the matrix shows each cell's averaged loss as the JSON gives it.
void TestCable::pdf()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    QVERIFY(QFile::remove(dir.filePath("F03-b.sor")));
    const QString pdf = dir.filePath("cabo.pdf");
    QString out;
    QString err;
    QCOMPARE(runCapturing({"cable",
                           dir.path(),
                           "--json",
                           "-o",
                           pdf,
                           "--company",
                           "ACME",
                           "--operator",
                           "João Lima",
                           "--client",
                           "Prefeitura de Pedra Azul",
                           "--preset",
                           "monomodo-generico"},
                          out,
                          err),
             1);
    const QJsonArray matrix
        = QJsonDocument::fromJson(out.toUtf8()).object().value("matrix").toArray();
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY(info.waitForFinished(30000));
    // The cover, the matrix, the fibres, the checks; five fibres with both ends.
    QVERIFY2(
        QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression("Pages: +9\n")),
        "not 9 pages");
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    QVERIFY(text.waitForFinished(30000));
    const QString pages = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY(pages.contains("Matriz de emendas em 1550 nm"));
    QVERIFY(pages.contains("fibra F03: falta a ponta B em 1550 nm"));
    QVERIFY(pages.contains("página 9 de 9"));
    // The cover: who, by which limits (by their name for people), how many passed, each
    // closure's kind, mean and worst, and both signatures, before the matrix.
    const QString cover = pages.left(pages.indexOf("página 1 de 9"));
    for (const char *said : {"Cliente: Prefeitura de Pedra Azul",
                             "Operador: João Lima",
                             "Limites: Monomodo genérico (TIA-568.3-D",
                             "6 fibras: 6 APROVADO, 0 REPROVADO, 0 INDETERMINADO",
                             "Conectores: 1, Emendas: 2",
                             "há pendências",
                             "Técnico responsável: João Lima",
                             "Cliente: Prefeitura de Pedra Azul"})
        QVERIFY2(cover.contains(QString::fromUtf8(said)), qPrintable(said + ("\n" + cover)));
    QVERIFY2(!cover.contains("monomodo-generico"), qPrintable(cover));
    QVERIFY2(cover.contains(QRegularExpression("\\n *C3 +conector +20,0\\d\\d +0,40\\d +0,4")),
             qPrintable(cover));
    QVERIFY(!cover.contains("Matriz de emendas"));
    // Fibre 1's row of the matrix holds its three averaged losses, in order.
    QStringList first;
    for (const QJsonValue &v : matrix) {
        if (v.toObject().value("fiber").toString() == "F01")
            first << QString::number(v.toObject().value("loss_db").toDouble(), 'f', 3)
                         .replace('.', ',');
    }
    QCOMPARE(first.size(), 3);
    QVERIFY2(pages.contains(QRegularExpression("F01 +" + first.join(" +"))), qPrintable(pages));
}

// Launch and receive cords: their connectors are measured and judged as connectors, no closure;
// the span's length and loss leave the cords out.
void TestCable::cords()
{
    QTemporaryDir dir;
    for (int i = 1; i <= 4; ++i) {
        const Written w = SorWriter::cableFibre(i, 28000, 300, 1000, 500);
        saveEnds(dir.path(), i, w);
    }
    // Without them the cords' connectors are two more closures.
    const Cable::Job plain = Cable::run({dir.path()}, {});
    QCOMPARE(plain.closures.size(), 5);
    Cable::Options o;
    o.launchM = 1000;
    o.receiveM = 500;
    o.limits = *Acceptance::parseLimits(R"({"connector_loss_max_db": 0.25})", nullptr);
    const Cable::Job job = Cable::run({dir.path()}, o);
    QCOMPARE(job.closures.size(), 3);
    for (int c = 0; c < 3; ++c)
        QVERIFY(std::abs(job.closures.at(c).distanceM - Splices[c]) <= job.toleranceM);
    for (int i = 0; i < 4; ++i) {
        const Cable::Fibre &f = job.fibres.at(i);
        const Cable::Fibre &whole = plain.fibres.at(i);
        QVERIFY(f.launchConnector && f.receiveConnector);
        QVERIFY(std::abs(f.launchConnector->distanceM - 1000) <= job.toleranceM);
        QVERIFY(std::abs(f.receiveConnector->distanceM - 27500) <= job.toleranceM);
        QVERIFY2(std::abs(*f.launchConnector->lossDb - 0.30) < 0.01,
                 qPrintable(QString::number(*f.launchConnector->lossDb)));
        // 0.30 dB breaks the 0.25 dB connector limit: the fibre fails, saying why.
        QCOMPARE(f.launchConnector->verdict, Acceptance::Verdict::Fail);
        QCOMPARE(f.verdict, Acceptance::Verdict::Fail);
        QVERIFY2(f.reasons.join('\n').contains("cordão de lançamento"),
                 qPrintable(f.reasons.join('\n')));
        QVERIFY(std::abs(*f.lengthM - (*whole.lengthM - 1500)) < 1e-6);
        // The cords' 1.5 km of fibre at 0.19 dB/km are not the span's.
        QVERIFY2(std::abs((*whole.totalLossDb - *f.totalLossDb) - 1.5 * 0.19) < 0.02,
                 qPrintable(QString::number(*whole.totalLossDb - *f.totalLossDb)));
    }
    QVERIFY(!job.checks.raised());
}

void TestCable::templateLabels_data()
{
    QTest::addColumn<QStringList>("markers");
    QTest::addColumn<QString>("decidedBy");
    QTest::newRow("ends told apart by the traces") << QStringList() << "traces";
    QTest::newRow("ends told apart by the files' names") << QStringList{"je", "jo"} << "names";
}

// The template an instrument kept: both ends' files say they start at "A", the fibre's id is
// its number alone, only the files' names (…je, …jo) and the traces tell the ends apart; and
// the fibres differ in length by up to half a percent (their helix). Each fibre gets its two
// ends (fibre 3's "je" was measured from the far end), each closure is one column on every
// fibre, and each fibre's length scale is its stretch against the others'.
void TestCable::templateLabels()
{
    QFETCH(QStringList, markers);
    QFETCH(QString, decidedBy);
    const double scales[] = {1.0, 1.002, 0.996, 1.005, 0.999, 1.003};
    QTemporaryDir dir;
    for (int i = 1; i <= Fibres; ++i) {
        Written w = SorWriter::cableFibre(i, 28000, 300, 0, 0, scales[i - 1]);
        for (SorWriter::Trace *t : {&w.a, &w.b}) {
            t->fiberId = QByteArray::number(i);
            t->locationA = "A";
            t->locationB = "B";
        }
        const bool swapped = i == 3 && markers.isEmpty();
        save(QStringLiteral("%1/CB01F%2je.sor").arg(dir.path()).arg(i), swapped ? w.b : w.a);
        save(QStringLiteral("%1/CB01F%2jo.sor").arg(dir.path()).arg(i), swapped ? w.a : w.b);
    }
    Cable::Options options;
    options.pairMarkers = markers;
    const Cable::Job job = Cable::run({dir.path()}, options);
    QCOMPARE(job.fibres.size(), Fibres);
    QCOMPARE(job.closures.size(), 3);
    for (const Cable::Closure &c : job.closures)
        QCOMPARE(c.fibres, Fibres);
    QVERIFY2(!job.checks.raised(), qPrintable(Cable::checkLines(job).join('\n')));
    QVector<double> found;
    for (const Cable::Fibre &f : job.fibres) {
        QCOMPARE(f.files.size(), 2);
        QCOMPARE(f.pairing.decidedBy, decidedBy);
        found << f.lengthScale;
    }
    for (int i = 0; i < Fibres; ++i) {
        // Against the median fibre's, to a hundredth of a percent.
        QVERIFY2(std::abs(found.at(i) / found.at(0) - scales[i] / scales[0]) < 1e-4,
                 qPrintable(QString::number(found.at(i))));
    }
    // Every cell found from both ends: each end's own splice there.
    for (const Cable::Cell &c : job.matrix) {
        QCOMPARE(c.howAb, Cable::How::Found);
        QCOMPARE(c.howBa, Cable::How::Found);
    }
    // The swapped fibre's A end is the file named …jo.
    for (const Cable::File &f : job.files) {
        if (f.name == QLatin1String("CB01F3jo.sor"))
            QCOMPARE(f.end, markers.isEmpty() ? QChar('A') : QChar('B'));
    }
}

// One fibre's A end measured again a day later: a re-shoot, not a copy. The newest is used
// and the other listed; a copy of a file under another name is a duplicate.
void TestCable::reshoot()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    SorWriter::Trace again = SorWriter::cableFibre(2, 28000, 300).a;
    // Other noise: the same fibre measured again.
    again.dateTime += 86400;
    again.data = SorWriter::simulatedTrace([] {
                     SorWriter::Simulation s;
                     s.spacingM = 2;
                     s.points = 16000;
                     s.pulseNs = 300;
                     s.attenuationDbKm = 0.19;
                     s.launchSnrDb = 34;
                     s.seed = 9999;
                     s.events = {{SorWriter::TrueEvent::Step, 6000, 0.12, 0},
                                 {SorWriter::TrueEvent::Step, 14000, 0.15, 0},
                                 {SorWriter::TrueEvent::Reflection, 20000, 0.40, -50},
                                 {SorWriter::TrueEvent::End, 28000, 0, -14}};
                     return s;
                 }())
                     .data;
    save(dir.filePath("F02-a-again.sor"), again);
    save(dir.filePath("F04-a-copy.sor"), ends(4).a);
    const Cable::Job job = Cable::run({dir.path()}, {});
    QCOMPARE(job.checks.repeated.size(), 1);
    QVERIFY2(job.checks.repeated.first().contains("usada F02-a-again.sor"),
             qPrintable(job.checks.repeated.join('|')));
    QVERIFY2(job.checks.duplicates.join('|').contains("F04-a"),
             qPrintable(job.checks.duplicates.join('|')));
    for (const Cable::Fibre &f : job.fibres) {
        if (f.fiber == QLatin1String("F02"))
            QVERIFY(f.files.contains("F02-a-again.sor") && !f.files.contains("F02-a.sor"));
    }
}

// A closure in one end's launch dead zone: that end's points cannot give its loss there, so the
// cell says why and gives the other end's value alone; never 0.
void TestCable::absentWhereNoPoints()
{
    QTemporaryDir dir;
    for (int i = 1; i <= 3; ++i) {
        SorWriter::Simulation s;
        s.spacingM = 2;
        s.points = 16000;
        s.pulseNs = 300;
        s.attenuationDbKm = 0.19;
        s.launchSnrDb = 34;
        s.seed = quint32(500 + i);
        s.events = {{SorWriter::TrueEvent::Reflection, 0, 0.2, -40},
                    {SorWriter::TrueEvent::Step, 100, 0.25, 0},
                    {SorWriter::TrueEvent::Step, 14000, 0.15, 0},
                    {SorWriter::TrueEvent::End, 28000, 0, -14}};
        SorWriter::Trace a = SorWriter::simulatedTrace(s, true);
        a.events.removeAt(1); // the launch's dead zone hides it from A
        for (int k = 0; k < a.events.size(); ++k)
            a.events[k].number = qint16(k + 1);
        SorWriter::Trace b = SorWriter::simulatedTrace(SorWriter::fromOtherEnd(s), true);
        for (SorWriter::Trace *t : {&a, &b}) {
            t->fiberId = QByteArray("F0") + QByteArray::number(i);
            t->locationA = t == &a ? "CENTRAL" : "POSTE";
            t->locationB = t == &a ? "POSTE" : "CENTRAL";
        }
        save(QStringLiteral("%1/F0%2-a.sor").arg(dir.path()).arg(i), a);
        save(QStringLiteral("%1/F0%2-b.sor").arg(dir.path()).arg(i), b);
    }
    const Cable::Job job = Cable::run({dir.path()}, {});
    const Cable::Cell *near = nullptr;
    for (const Cable::Cell &c : job.matrix) {
        if (c.fiber == QLatin1String("F01") && job.closures.at(c.closure - 1).distanceM < 500)
            near = &c;
    }
    QVERIFY2(near, qPrintable(Cable::table(job)));
    QVERIFY(!near->lossAbDb);
    QCOMPARE(near->howAb, Cable::How::Absent);
    QVERIFY2(!near->whyAb.isEmpty(), "no reason given");
    QVERIFY(near->lossBaDb && near->lossDb);
    QCOMPARE(*near->lossDb, *near->lossBaDb);
    QVERIFY2(std::abs(*near->lossDb - 0.25) < 0.05, qPrintable(QString::number(*near->lossDb)));
}

// A cell's colour is the verdict that went into its fibre's: a connector closure is judged as
// a connector, every band counts, and a loss only the points give is judged too.
void TestCable::oneJudgement_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("limits");
    QTest::addColumn<QString>("failing"); // the fibres that fail
    QTest::newRow("a connector within its own limit")
        << ""
        << R"({"splice_loss_max_db": 0.3, "connector_loss_max_db": 0.5})"
        << "";
    QTest::newRow("a connector above its own limit")
        << ""
        << R"({"splice_loss_max_db": 0.5, "connector_loss_max_db": 0.35})"
        << "F01,F02,F03,F04,F05,F06";
    QTest::newRow("a splice only the points give")
        << "unstored"
        << R"({"splice_loss_max_db": 0.12, "connector_loss_max_db": 0.5})"
        << "F01,F02,F03,F04,F05,F06";
    QTest::newRow("a fibre failing at its second band")
        << "bands"
        << R"({"splice_loss_max_db": 0.3, "connector_loss_max_db": 0.5})"
        << "F03";
}

void TestCable::oneJudgement()
{
    QFETCH(QString, setup);
    QFETCH(QString, limits);
    QFETCH(QString, failing);
    QTemporaryDir dir;
    writeCable(dir.path());
    if (setup == "unstored") {
        // F02's 14 km splice stored by neither end: only its points give it (0.13 dB).
        Written w = ends(2);
        w.a.events.removeAt(w.a.events.size() - 3);
        w.b.events.removeAt(w.b.events.size() - 3);
        saveEnds(dir.path(), 2, w);
    } else if (setup == "bands") {
        // 1310 nm first and clean; F03 breaks the splice limit at 1550 nm only.
        for (int i = 1; i <= Fibres; ++i) {
            Written w = ends(i);
            w.a.wavelength = w.b.wavelength = 13100;
            saveEnds(dir.path(), i, w, "-1310");
        }
        Written w = ends(3);
        w.a.events[0].loss = 600;
        w.b.events[w.b.events.size() - 2].loss = 600;
        saveEnds(dir.path(), 3, w);
    }
    Cable::Options o;
    QString error;
    o.limits = *Acceptance::parseLimits(limits.toUtf8(), &error);
    const Cable::Job job = Cable::run({dir.path()}, o);
    QCOMPARE(job.closures.size(), 3);
    QVERIFY(!job.closures.at(0).connector && !job.closures.at(1).connector);
    QVERIFY(job.closures.at(2).connector);
    QCOMPARE(Cable::closureCounts(job.closures), QStringLiteral("Conectores: 1   Emendas: 2"));
    QStringList failed;
    for (const Cable::Fibre &f : job.fibres) {
        if (f.verdict == Acceptance::Verdict::Fail)
            failed << f.fiber;
        else
            QCOMPARE(f.verdict, Acceptance::Verdict::Pass);
    }
    QCOMPARE(failed.join(','), failing);
    for (const Cable::Cell &c : job.matrix) {
        const bool fibreFails = failed.contains(c.fiber);
        if (c.verdict == Acceptance::Verdict::Fail)
            QVERIFY2(fibreFails,
                     qPrintable(QStringLiteral("%1 at %2").arg(c.fiber).arg(c.closure)));
        else
            QCOMPARE(c.verdict, Acceptance::Verdict::Pass);
    }
    if (setup == "unstored") {
        const Cable::Cell *c = cellOf(job, "F02", 2);
        QVERIFY(c);
        QCOMPARE(c->howAb, Cable::How::Measured);
        QCOMPARE(c->verdict, Acceptance::Verdict::Fail);
        const Cable::Fibre &f2 = job.fibres.at(1);
        QVERIFY2(f2.reasons.join('\n').contains(QStringLiteral("emenda 2")),
                 qPrintable(f2.reasons.join('\n')));
    }
    if (setup == "bands") {
        QVERIFY2(job.fibres.at(2).reasons.join('\n').startsWith(QStringLiteral("1550 nm: ")),
                 qPrintable(job.fibres.at(2).reasons.join('\n')));
    }
}

// One end's folder alone: no fibre has its two ends, which the job says, and it does not pass.
void TestCable::oneEndOnly()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    for (int i = 1; i <= Fibres; ++i)
        QVERIFY(QFile::remove(QStringLiteral("%1/F0%2-b.sor").arg(dir.path()).arg(i)));
    const Cable::Job job = Cable::run({dir.path()}, {});
    QCOMPARE(job.fibres.size(), Fibres);
    QVERIFY2(
        job.checks.missing.join('\n').contains(QStringLiteral("nenhuma fibra tem as duas pontas")),
        qPrintable(job.checks.missing.join('\n')));
    QCOMPARE(job.status(), 1);
}

// A fibre with one usable end is judged on that end's points: a splice stored as a marker
// without a loss is measured there (0.13 dB), and fails a 0.12 dB limit as check fails it.
void TestCable::oneEndJudgedOnItsPoints()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    Written w = ends(2);
    SorWriter::Event &splice = w.a.events[w.a.events.size() - 3];
    splice.loss = 0;
    splice.reflectance = 0;
    splice.code = "0A9999";
    save(dir.filePath("F02-a.sor"), w.a);
    QVERIFY(QFile::remove(dir.filePath("F02-b.sor")));
    Cable::Options o;
    QString error;
    o.limits = *Acceptance::parseLimits(R"({"splice_loss_max_db": 0.12})", &error);
    const Acceptance::Verdict alone
        = Acceptance::judge(Acceptance::fileLink(Sor::readFile(dir.filePath("F02-a.sor"))),
                            o.limits)
              .verdict;
    QCOMPARE(alone, Acceptance::Verdict::Fail);
    const Cable::Job job = Cable::run({dir.path()}, o);
    const auto f2 = std::find_if(job.fibres.cbegin(), job.fibres.cend(), [](const Cable::Fibre &f) {
        return f.fiber == QLatin1String("F02");
    });
    QVERIFY(f2 != job.fibres.cend());
    QCOMPARE(f2->verdict, Acceptance::Verdict::Fail);
}

void TestCable::sinceBaseline_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("says"); // the one change listed; none: nothing changed
    QTest::newRow("measured again, nothing done") << "none"
                                                  << "";
    QTest::newRow("a splice re-made worse") << "resplice"
                                            << "F03, 1550 nm, emenda 2 (14,0000 km): 0,130 → "
                                               "0,530 dB (+0,400)";
    QTest::newRow("a fibre broken at 18 km") << "broken"
                                             << "F04: comprimento 28,0020 km → 18,0020 km";
    // A splice that gains from B and loses from A: its one-ended value is far from the mean,
    // and only A's against A's says it is unchanged.
    QTest::newRow("the as-built measured from A only") << "one end"
                                                       << "";
}

// Against the as-built, each cell carries its change; what changed by 0.1 dB or more is listed
// once, and the job then exits 1.
void TestCable::sinceBaseline()
{
    QFETCH(QString, what);
    QFETCH(QString, says);
    QTemporaryDir base;
    QTemporaryDir now;
    writeCable(base.path());
    writeCable(now.path());
    if (what == "one end") {
        Written w = ends(1);
        w.a.events[0].loss = 500;  // the 6 km splice from A
        w.b.events[2].loss = -200; // and from B, the third event from that end
        save(base.filePath("F01-a.sor"), w.a);
        saveEnds(now.path(), 1, w);
        for (int i = 1; i <= Fibres; ++i)
            QVERIFY(QFile::remove(base.filePath(QStringLiteral("F0%1-b.sor").arg(i))));
    } else if (what == "resplice") {
        Written w = ends(3);
        for (SorWriter::Trace *t : {&w.a, &w.b}) {
            // The 14 km splice is the second event from either end.
            QVERIFY(std::abs(t->events[1].time - SorWriter::timeFor(14000, t->groupIndex))
                    < SorWriter::timeFor(10, t->groupIndex));
            t->events[1].loss += 400;
        }
        saveEnds(now.path(), 3, w);
    } else if (what == "broken") {
        const Written w = ends(4, 18000);
        saveEnds(now.path(), 4, w);
    }
    Cable::Job job = Cable::run({now.path()}, {});
    Cable::compareWithBaseline(job, Cable::run({base.path()}, {}), base.path(), 0.1);
    QVERIFY(job.baseline);
    const Cable::SinceBaseline &since = *job.baseline;
    QVERIFY2(since.changes == (says.isEmpty() ? QStringList() : QStringList{says}),
             qPrintable(since.changes.join('\n')));
    QVERIFY(since.newClosures.isEmpty() && since.goneClosures.isEmpty());
    QCOMPARE(since.closureOf, QVector<int>({1, 2, 3}));
    int withChange = 0;
    for (const Cable::Cell &c : job.matrix) {
        if (!c.changeDb)
            continue;
        ++withChange;
        const double expected = what == "resplice" && c.fiber == "F03" && c.closure == 2 ? 0.4 : 0;
        QVERIFY2(
            std::abs(*c.changeDb - expected) < 0.002,
            qPrintable(QStringLiteral("%1 %2: %3").arg(c.fiber).arg(c.closure).arg(*c.changeDb)));
    }
    // Only a cell without a loss now (past the break) has no change.
    QCOMPARE(withChange, job.matrix.size() - (what == "broken" ? 1 : 0));
    QCOMPARE(job.status(), says.isEmpty() ? 0 : 1);

    // The command says it in its table and its JSON.
    QString out;
    QString err;
    QCOMPARE(runCapturing({"cable", now.path(), "--baseline", base.path(), "--json"}, out, err),
             says.isEmpty() ? 0 : 1);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    const QJsonObject baseline = json.value("baseline").toObject();
    QCOMPARE(baseline.value("verdict").toString(),
             says.isEmpty() ? QStringLiteral("sem mudança") : QStringLiteral("mudou"));
    QVERIFY(json.value("matrix").toArray().first().toObject().contains("change_db"));
    QCOMPARE(runCapturing({"cable", now.path(), "--baseline", base.path()}, out, err),
             says.isEmpty() ? 0 : 1);
    QVERIFY2(out.contains("Mudança desde a linha de base em 1550 nm"), qPrintable(out));
    if (!says.isEmpty())
        QVERIFY2(out.contains("  " + says), qPrintable(out));
    // The workbook's sheet and the PDF's page say it too.
    if (what == "resplice" && Cable::xlsxAvailable()) {
        const QString book = now.filePath("cabo.xlsx");
        const QString pdf = now.filePath("cabo.pdf");
        QCOMPARE(runCapturing(
                     {"cable", now.path(), "--baseline", base.path(), "--xlsx", book, "-o", pdf},
                     out,
                     err),
                 1);
        QProcess reader;
        reader.start("/usr/bin/python3",
                     {"-c",
                      "import sys, openpyxl\n"
                      "ws = openpyxl.load_workbook(sys.argv[1])['Desde a base']\n"
                      "for r in ws.iter_rows(values_only=True):\n"
                      "    print('|'.join('' if v is None else str(v) for v in r))\n",
                      book});
        QVERIFY(reader.waitForFinished(30000));
        const QString sheet = QString::fromUtf8(reader.readAllStandardOutput());
        QVERIFY2(sheet.contains("F03|1550|2|0.13|0.53|0.4"), qPrintable(sheet));
        QVERIFY2(sheet.contains("F01|1550|2|0.13|0.13|0\n"), qPrintable(sheet));
        QVERIFY2(sheet.contains(says), qPrintable(sheet));
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
        QVERIFY(text.waitForFinished(30000));
        const QString pages = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(pages.contains("Desde a linha de base"), qPrintable(pages.left(2000)));
        QVERIFY2(pages.contains("F03, 1550 nm, emenda 2"), qPrintable(pages.left(4000)));
    }
    QCOMPARE(runCapturing({"cable", now.path(), "--baseline", base.filePath("nada")}, out, err), 2);
    QVERIFY2(err.contains("pasta ou arquivo não encontrado"), qPrintable(err));
}

// A trace of another cable put in the job's folder is set aside with its reason (in the table,
// the JSON and the PDF), never made a fibre of this one; one named from the other end is this
// cable's.
void TestCable::oneCable()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    Written foreign = ends(7);
    foreign.a.cableId = "CB-9";
    save(dir.filePath("F07-a.sor"), foreign.a);
    Written turned = ends(5);
    turned.b.cableId = "cb-1"; // the same cable, written otherwise
    save(dir.filePath("F05-b.sor"), turned.b);
    Written swapped = ends(4);
    swapped.b.cableId = "1-CB"; // and named from its other end
    save(dir.filePath("F04-b.sor"), swapped.b);
    QString out;
    QString err;
    const QString pdf = dir.filePath("cabo.pdf");
    QCOMPARE(runCapturing({"cable", dir.path(), "--json", "-o", pdf}, out, err), 1);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    QCOMPARE(json.value("fibres").toArray().size(), Fibres);
    const QJsonArray unusable = json.value("unusable_files").toArray();
    QCOMPARE(unusable.size(), 1);
    QCOMPARE(unusable.first().toObject().value("file").toString(), QStringLiteral("F07-a.sor"));
    const QString why = unusable.first().toObject().value("problem").toString();
    QVERIFY2(why.contains("CB-9") && why.contains("CB-1"), qPrintable(why));
    QVERIFY2(err.contains("F07-a.sor"), qPrintable(err));
    QCOMPARE(runCapturing({"cable", dir.path()}, out, err), 1);
    QVERIFY2(out.contains("Não usado: F07-a.sor: " + why), qPrintable(out));
    QVERIFY2(pdfPages(pdf).join('\n').contains("F07-a.sor"), "not in the PDF");
}

void TestCable::reelsProposed_data()
{
    QTest::addColumn<double>("receiveReel"); // metres; 0: none
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("proposed"); // empty: nothing proposed
    QTest::newRow("both reels, no option")
        << 1000.0 << QStringList()
        << "parece haver bobinas de ~1,0 km: use --launch 1000 --receive 1000";
    QTest::newRow("both reels given")
        << 1000.0 << QStringList{"--launch", "1000", "--receive", "1000"} << "";
    QTest::newRow("both said to be the cable's")
        << 1000.0 << QStringList{"--launch", "0", "--receive", "0"} << "";
    QTest::newRow("a launch reel alone")
        << 0.0 << QStringList()
        << "parece haver uma bobina de lançamento de ~1,0 km: use --launch 1000";
}

// Reels at the ends (a reflection at the same distance from each end on every fibre) are no
// closures of the cable: the job proposes the options that leave them out, and does not pass
// until they are given (or said to be the cable's with 0).
void TestCable::reelsProposed()
{
    QFETCH(double, receiveReel);
    QFETCH(QStringList, options);
    QFETCH(QString, proposed);
    QTemporaryDir dir;
    for (int i = 1; i <= 4; ++i)
        saveEnds(dir.path(), i, SorWriter::cableFibre(i, 28000, 300, 1000, receiveReel, 1, -45));
    QString out;
    QString err;
    const int status = runCapturing(QStringList{"cable", dir.path(), "--json"} + options, out, err);
    const QJsonObject checks
        = QJsonDocument::fromJson(out.toUtf8()).object().value("checks").toObject();
    const QStringList cords = checks.value("cords").toVariant().toStringList();
    QCOMPARE(cords.join('|'), proposed);
    QCOMPARE(status, proposed.isEmpty() ? 0 : 1);
    QCOMPARE(runCapturing(QStringList{"cable", dir.path()} + options, out, err), status);
    if (!proposed.isEmpty())
        QVERIFY2(out.contains(proposed), qPrintable(out));
}

// The instrument's own front connector is not the cable's: its reflectance is shown, never
// judged, and its loss (no backscatter before it) is "não medido", never 0.
void TestCable::frontConnectorNotJudged()
{
    QTemporaryDir dir;
    for (int i = 1; i <= 4; ++i)
        saveEnds(dir.path(), i, SorWriter::cableFibre(i, 28000, 300, 0, 0, 1, -45));
    QFile limits(dir.filePath("limites.json"));
    QVERIFY(limits.open(QIODevice::WriteOnly));
    limits.write(
        R"({"splice_loss_max_db": 0.3, "connector_loss_max_db": 0.75, "reflectance_max_db": -48})");
    limits.close();
    const QString pdf = dir.filePath("cabo.pdf");
    QString out;
    QString err;
    QCOMPARE(runCapturing({"cable", dir.path(), "--limits", limits.fileName(), "--json", "-o", pdf},
                          out,
                          err),
             0);
    const QJsonArray fibres
        = QJsonDocument::fromJson(out.toUtf8()).object().value("fibres").toArray();
    QCOMPARE(fibres.size(), 4);
    for (const QJsonValue &v : fibres) {
        const QJsonObject f = v.toObject();
        QCOMPARE(f.value("verdict").toString(), QStringLiteral("APROVADO"));
        const QJsonObject front = f.value("front_connector").toObject();
        QVERIFY(front.value("loss_db").isNull());
        QVERIFY(std::abs(front.value("reflectance_db").toDouble() + 45) < 0.5);
        QCOMPARE(front.value("verdict").toString(), QStringLiteral("não julgado"));
    }
    for (const QString &page : pdfPages(pdf)) {
        if (!page.contains("Medida das duas pontas"))
            continue;
        QVERIFY2(page.contains(QRegularExpression("\\n *F +0,0000 +não medido")), qPrintable(page));
        QVERIFY2(!page.contains(QRegularExpression("\\n *F +0,0000 +0,000")), qPrintable(page));
    }
}

// With the cords left out, every page of the PDF tells one story: each fibre's page gives the
// span's length and total loss that the summary and the JSON give; its table has every closure
// of the matrix under the matrix's number (the flags too), with the matrix's values; its
// reasons name the closure as the matrix does; the cover says when, with what and where from
// the cable was measured; and the workbook holds the values as the PDF prints them, with a
// sheet that names the job.
void TestCable::pdfAgreesWithItself()
{
    QTemporaryDir dir;
    for (int i = 1; i <= 4; ++i)
        saveEnds(dir.path(), i, SorWriter::cableFibre(i, 28000, 300, 1000, 1000, 1, -45));
    // Fibre 2's second splice stored by neither end: only its points give it.
    Written w = SorWriter::cableFibre(2, 28000, 300, 1000, 1000, 1, -45);
    w.a.events.removeAt(3);
    w.b.events.removeAt(w.b.events.size() - 4);
    saveEnds(dir.path(), 2, w);
    QFile limits(dir.filePath("limites.json"));
    QVERIFY(limits.open(QIODevice::WriteOnly));
    limits.write(
        R"({"name": "cliente", "splice_loss_max_db": 0.125, "connector_loss_max_db": 0.75})");
    limits.close();
    const QString pdf = dir.filePath("cabo.pdf");
    const QString book = dir.filePath("cabo.xlsx");
    QString out;
    QString err;
    QStringList arguments{"cable",
                          dir.path(),
                          "--launch",
                          "1000",
                          "--receive",
                          "1000",
                          "--limits",
                          limits.fileName(),
                          "--json",
                          "-o",
                          pdf,
                          "--client",
                          "Prefeitura de Pedra Azul"};
    if (Cable::xlsxAvailable())
        arguments << "--xlsx" << book;
    QCOMPARE(runCapturing(arguments, out, err), 1);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    const QJsonArray closures = json.value("closures").toArray();
    QCOMPARE(closures.size(), 3);
    QStringList titles;
    for (const QJsonValue &c : closures)
        titles << (c.toObject().value("kind").toString() == "connector" ? "C" : "")
                      + QString::number(c.toObject().value("number").toInt());
    QCOMPARE(titles, QStringList({"1", "2", "C3"}));
    const QStringList pages = pdfPages(pdf);
    const QString cover = pages.first();
    for (const char *said : {"Medição: 20/11/2026",
                             "Equipamento: otdr sample generator SIM-OTDR, série 000001",
                             "Ponta A: CENTRAL",
                             "Ponta B: POSTE",
                             "1550 nm, pulso 300 ns",
                             "Data do relatório: "})
        QVERIFY2(cover.contains(QString::fromUtf8(said)), qPrintable(said + ("\n" + cover)));
    QString summary;
    for (const QString &page : pages) {
        if (page.contains("Compr. (km)"))
            summary = page;
    }
    int fibrePages = 0;
    for (const QJsonValue &v : json.value("fibres").toArray()) {
        const QJsonObject f = v.toObject();
        const QString fiber = f.value("fiber").toString();
        const QString length = Sor::decimal(f.value("length_m").toDouble() / 1000, 3);
        const QString loss = Sor::decimal(f.value("total_loss_db").toDouble(), 3);
        QVERIFY2(summary.contains(QRegularExpression(fiber + " +" + length + " +" + loss)),
                 qPrintable(summary));
        for (const QString &page : pages) {
            if (!page.contains("Fibra " + fiber + " do cabo"))
                continue;
            ++fibrePages;
            QVERIFY2(page.contains(QString::fromUtf8("(de A, 20/11/2026 09:00 UTC)")),
                     qPrintable(page));
            QVERIFY2(page.contains("Comprimento do enlace: " + length + " km")
                         && page.contains("Perda total (média): " + loss + " dB"),
                     qPrintable(page));
            // Every closure, as the matrix numbers it and with the matrix's mean.
            for (const QJsonValue &m : json.value("matrix").toArray()) {
                const QJsonObject cell = m.toObject();
                if (cell.value("fiber").toString() != fiber)
                    continue;
                const QString title = titles.at(cell.value("closure").toInt() - 1);
                const QString mean = Sor::decimal(cell.value("loss_db").toDouble(), 3);
                QVERIFY2(page.contains(QRegularExpression("\\n *" + title + " +\\d+,\\d{4} .* "
                                                          + mean + "\\*? ")),
                         qPrintable(title + " " + mean + "\n" + page));
            }
            QVERIFY2(!page.contains(QRegularExpression("evento \\d")), qPrintable(page));
            QVERIFY2(page.contains("emenda 2: perda 0,130 dB acima do limite"), qPrintable(page));
        }
        QVERIFY2(f.value("reasons").toVariant().toStringList().join('\n').contains("emenda 2"),
                 qPrintable(f.value("reasons").toVariant().toStringList().join('\n')));
    }
    QCOMPARE(fibrePages, 4);
    if (!Cable::xlsxAvailable())
        return;
    const QMap<QString, QStringList> sheets = workbookSheets(book);
    QVERIFY2(sheets.contains("Trabalho"), qPrintable(sheets.keys().join('|')));
    const QString job = sheets.value("Trabalho").join('\n');
    for (const char *row : {"Cabo|CB-1",
                            "Cliente|Prefeitura de Pedra Azul",
                            "Medição|20/11/2026",
                            "Equipamento|otdr sample generator SIM-OTDR, série 000001",
                            "Ponta A|CENTRAL",
                            "Ponta B|POSTE",
                            "Comprimentos de onda e pulsos|1550 nm, pulso 300 ns",
                            "Cordões|lançamento 1000 m, recepção 1000 m",
                            "Limites|cliente",
                            "perda de emenda máx.|0,125 dB",
                            "Programa|otdr 1."})
        QVERIFY2(job.contains(QString::fromUtf8(row)), qPrintable(row + ("\n" + job)));
    // Each mean as the matrix page prints it.
    const QStringList matrix = sheets.value("1550 nm");
    for (const QString &row : matrix.mid(2, 4)) {
        const QStringList cells = row.split('|');
        for (int c = 1; c < cells.size(); ++c) {
            if (cells.at(c) == "ausente")
                continue;
            const double v = cells.at(c).toDouble();
            QCOMPARE(v, QString::number(v, 'f', 3).toDouble());
        }
    }
    // One wavelength: no bend could be checked.
    QVERIFY2(sheets.value("Fibras").value(1).split('|').value(5) == QString::fromUtf8("—"),
             qPrintable(sheets.value("Fibras").join('\n')));
    QVERIFY2(summary.contains(QString::fromUtf8(" — ")), qPrintable(summary));
}

// An event of one fibre alone, at no closure (a bend one end stores), is named "x1" with its
// place wherever it is said: its reason, its page's table and its flag.
void TestCable::ownEventNamed()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    Written w = ends(2);
    SorWriter::Event bend;
    bend.time = SorWriter::timeFor(10000, w.a.groupIndex);
    bend.loss = 600;
    bend.attenuation = 190;
    w.a.events.insert(1, bend);
    for (int k = 0; k < w.a.events.size(); ++k)
        w.a.events[k].number = qint16(k + 1);
    saveEnds(dir.path(), 2, w);
    const QString pdf = dir.filePath("cabo.pdf");
    QFile limits(dir.filePath("limites.json"));
    QVERIFY(limits.open(QIODevice::WriteOnly));
    limits.write(R"({"splice_loss_max_db": 0.2, "connector_loss_max_db": 0.5})");
    limits.close();
    QString out;
    QString err;
    QCOMPARE(runCapturing({"cable", dir.path(), "--limits", limits.fileName(), "--json", "-o", pdf},
                          out,
                          err),
             1);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    QCOMPARE(json.value("closures").toArray().size(), 3);
    const QJsonObject f02 = json.value("fibres").toArray().at(1).toObject();
    QCOMPARE(f02.value("verdict").toString(), QStringLiteral("REPROVADO"));
    const QString reasons = f02.value("reasons").toVariant().toStringList().join('\n');
    QVERIFY2(reasons.startsWith("evento x1 (10,0000 km, fora das emendas): perda 0,"),
             qPrintable(reasons));
    QString page;
    for (const QString &p : pdfPages(pdf)) {
        if (p.contains("Fibra F02 do cabo"))
            page = p;
    }
    QVERIFY2(page.contains(QRegularExpression("\n *x1 +10,0000 ")), qPrintable(page));
    QVERIFY2(page.contains("evento x1 (10,0000 km, fora das emendas): perda"), qPrintable(page));
    // The flag of A's own event there is the same name; the job's other events keep theirs.
    const Cable::Job job = Cable::run({dir.path()}, {});
    const Cable::FibreTraces traces = Cable::fibreTraces(job, "F02", 1550);
    QVERIFY2(traces.problem.isEmpty(), qPrintable(traces.problem));
    QCOMPARE(traces.flagsA, QStringList({"1", "x1", "2", "C3", "fim"}));
    QCOMPARE(traces.flagsB, QStringList({"", "1", "2", "C3"})); // its end, at A's start, has none
}

// Marks no file's name (nor id) holds are a usage error that says so, not an empty job.
void TestCable::marksNoFileHolds()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    QString out;
    QString err;
    QCOMPARE(runCapturing({"cable", dir.path(), "--pair-by-name", "je,jo"}, out, err), 2);
    QVERIFY2(err.contains("--pair-by-name je,jo: nenhum dos 12 arquivos traz je nem jo"),
             qPrintable(err));
    QVERIFY(out.isEmpty());
}

// A file whose thresholds differ from the others' is named with them in their units.
void TestCable::settingsInTheirUnits()
{
    QTemporaryDir dir;
    writeCable(dir.path());
    Written w = ends(4);
    w.a.lossThreshold = 100;
    w.a.reflectanceThreshold = 64900;
    w.a.endOfFiberThreshold = 65535;
    saveEnds(dir.path(), 4, w);
    const Cable::Job job = Cable::run({dir.path()}, {});
    QCOMPARE(job.checks.settings,
             QStringList({QString::fromUtf8(
                 "F04-a.sor: limiares perda 0,100 dB, refletância -64,9 dB, fim não definido (os "
                 "outros da ponta A em 1550 nm: perda 0,200 dB, refletância -65,0 dB, fim 3,000 "
                 "dB)")}));
}

// The matrix as CSV: a field holding a separator or a quote goes out quoted.
void TestCable::csvQuoted()
{
    QTemporaryDir dir;
    const char *ids[] = {"F;01", "F,02", "F\"03"};
    for (int i = 1; i <= 3; ++i) {
        Written w = ends(i);
        w.a.fiberId = w.b.fiberId = ids[i - 1];
        saveEnds(dir.path(), i, w);
    }
    QString out;
    QString err;
    QCOMPARE(runCapturing({"cable", dir.path(), "--csv"}, out, err), 0);
    QProcess reader;
    reader.start("/usr/bin/python3",
                 {"-c",
                  "import csv, sys\n"
                  "rows = list(csv.reader(sys.stdin))\n"
                  "print('\\n'.join(sorted(set(r[0] for r in rows[1:]))))\n"
                  "print(min(len(r) for r in rows), max(len(r) for r in rows))\n"});
    reader.write(out.toUtf8());
    reader.closeWriteChannel();
    QVERIFY(reader.waitForFinished(30000));
    QCOMPARE(QString::fromUtf8(reader.readAllStandardOutput()),
             QStringLiteral("F\"03\nF,02\nF;01\n10 10\n"));
}

void TestCable::matrixColumnsAligned_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("marked"); // a cell is measured on the points: "*"
    QTest::newRow("a splice one end does not store") << "unseen" << true;
    QTest::newRow("a clean cable") << "" << false;
    QTest::newRow("a fibre broken before the last closures") << "broken" << false;
}

// In the text matrix each cell, marked or not, ends where its column's heading ends (the mark
// hanging after it): a reader follows a column straight down.
void TestCable::matrixColumnsAligned()
{
    QFETCH(QString, fault);
    QFETCH(bool, marked);
    QTemporaryDir dir;
    writeCable(dir.path());
    if (fault == "unseen") {
        Written w = ends(2);
        w.b.events.removeAt(w.b.events.size() - 3);
        save(dir.filePath("F02-b.sor"), w.b);
    } else if (fault == "broken") {
        saveEnds(dir.path(), 4, ends(4, 18000));
    }
    QString out;
    QString err;
    runCapturing({"cable", dir.path()}, out, err);
    const QStringList lines = out.split('\n');
    const int heading = int(lines.indexOf(QRegularExpression("^Fibra +C?1@.*")));
    QVERIFY2(heading > 0, qPrintable(out));
    const QRegularExpression word("\\S+");
    QVector<int> ends;
    for (auto it = word.globalMatch(lines.at(heading)); it.hasNext();)
        ends << int(it.next().capturedEnd());
    QCOMPARE(ends.size(), 4); // "Fibra" and three closures
    int rows = 0;
    bool sawMark = false;
    for (int i = heading + 1; i < lines.size() && lines.at(i).startsWith('F'); ++i, ++rows) {
        QVector<int> cells;
        for (auto it = word.globalMatch(lines.at(i)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const bool mark = m.captured().endsWith('*');
            sawMark = sawMark || mark;
            cells << int(m.capturedEnd()) - (mark ? 1 : 0);
        }
        QCOMPARE(cells.mid(1), ends.mid(1));
        QVERIFY2(!lines.at(i).endsWith(' '), qPrintable(lines.at(i)));
    }
    QCOMPARE(rows, Fibres);
    QCOMPARE(sawMark, marked);
}

QTEST_MAIN(TestCable)
#include "tst_cable.moc"
