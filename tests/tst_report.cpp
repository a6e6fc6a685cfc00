#include "report/pdfpage.h"
#include "report/report.h"
#include "sortoolrun.h"
#include "sorwriter.h"
#include "tracesim.h"
#include "version/version.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The report a client receives, read back from the PDF as a reader's text.
class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagination_data();
    void pagination();
    void batch();
    void limitsThatCannotBeUsed();
    void bothEnds();
    void unreadableFilesInABatch();
    void neverOverATrace_data();
    void neverOverATrace();
    void longTracePages_data();
    void longTracePages();
    void marginColumn_data();
    void marginColumn();
    void longNames_data();
    void longNames();
    void refusedPairs_data();
    void refusedPairs();
    void csvNumbers_data();
    void csvNumbers();
    void longFibrePages_data();
    void longFibrePages();
    void longChangeLists_data();
    void longChangeLists();

private:
    QString write(const QString &name, const QByteArray &bytes);
    int run(const QStringList &arguments);
    QString text(const QString &pdf);
    struct Word
    {
        QRectF box;
        QString text;
    };
    // Each page's words where the reader sees them (points), and the page's height.
    QVector<QVector<Word>> words(const QString &pdf, double *pageHeight);
    // A word over another or in the footer's band, on any page of the PDF; empty where none is.
    QString laidOutBadly(const QString &pdf, int *pages);
    // A pair of a fibre's ends with a 0.3 dB splice every 38 km / splices, over 40 km.
    void writeSplicedPair(const QString &name, int splices);

    QTemporaryDir dir;
    QString out;
    QString err;
};

void TestReport::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable("pdftotext").isEmpty(),
             "pdftotext (poppler-utils) reads the report back; ./build.sh test installs it");
    const auto bytes = [](const char *name) {
        return SorWriter::write(SorWriter::readerCase(QString::fromUtf8(name)).trace);
    };
    write("a.sor", bytes("whole file, CCITT-FALSE"));
    write("b.sor", bytes("before the value, XMODEM"));
    write("damaged.sor", bytes("known maker, checksum wrong"));
    write("cut.sor", bytes("whole file, CCITT-FALSE").left(400));
    // Fails only the 0.4 dB connector of each trace (the splice is 0.1 dB).
    write("limits.json", R"({"name": "cliente", "connector_loss_max_db": 0.35,
                             "splice_loss_max_db": 0.3})");
    write("typo.json", R"({"splice_loss_max": 0.3})");
    for (SorWriter::Case c : SorWriter::twoEndedSamples()) {
        write(c.name, SorWriter::write(c.trace));
        // Two ends named as one fibre's whose ids say they are two fibres.
        if (c.name == "1550-ab.sor")
            write("outra-je.sor", SorWriter::write(c.trace));
        if (c.name == "1550-ba.sor") {
            SorWriter::Trace other = c.trace;
            other.fiberId = "08";
            write("outra-jo.sor", SorWriter::write(other));
        }
        // Without ids, only the names can pair them.
        c.trace.cableId.clear();
        c.trace.fiberId.clear();
        if (c.name.startsWith("1550"))
            write(QString(c.name).replace("-ab", "-je").replace("-ba", "-jo"),
                  SorWriter::write(c.trace));
        if (c.name == "1310-ab.sor")
            write("mixed-je.sor", SorWriter::write(c.trace));
        if (c.name == "1550-ba.sor")
            write("mixed-jo.sor", SorWriter::write(c.trace));
    }
}

QString TestReport::write(const QString &name, const QByteArray &bytes)
{
    return writeInto(dir, name, bytes);
}

int TestReport::run(const QStringList &arguments)
{
    return runCapturing(arguments, out, err);
}

QString TestReport::text(const QString &pdf)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

void TestReport::pagination_data()
{
    QTest::addColumn<int>("traces");
    QTest::addColumn<int>("summaryPages");
    QTest::newRow("none") << 0 << 1;
    QTest::newRow("the closing lines still fit under the rows") << 19 << 1;
    QTest::newRow("they go on a page of their own") << 20 << 2;
    QTest::newRow("rows over two pages, closing lines under them") << 40 << 2;
}

// The pages the PDF holds (its page tree, read back): the summary, its legend and signature
// lines at the end of the last summary page, then one page per trace; every page is numbered
// "página N de M" with the real total and names the release that wrote it.
void TestReport::pagination()
{
    QFETCH(int, traces);
    QFETCH(int, summaryPages);
    QStringList files;
    for (int i = 0; i < traces; ++i)
        files << dir.filePath("a.sor");
    const QVector<Report::Entry> entries = Report::judgeFiles(files, Report::Options());
    Report::Options options;
    options.company = QStringLiteral("ACME Redes");
    const QString pdf = dir.filePath(QStringLiteral("paginas-%1.pdf").arg(traces));
    QVERIFY(Report::writePdf(entries, {}, options, pdf, nullptr));
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY(info.waitForFinished(30000));
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    const QRegularExpressionMatch pages = QRegularExpression("Pages: +(\\d+)").match(infoText);
    QVERIFY(pages.hasMatch());
    // The document and each page's footer name the build that wrote them.
    QVERIFY2(QRegularExpression("Creator: +" + Version::label() + "\n").match(infoText).hasMatch(),
             qPrintable(infoText));
    QCOMPARE(pages.captured(1).toInt(), summaryPages + traces);
    QCOMPARE(Report::pageCount(traces), summaryPages + traces);
    const QStringList pageTexts = text(pdf).split(QChar('\f'), Qt::SkipEmptyParts);
    QCOMPARE(pageTexts.size(), summaryPages + traces);
    for (int p = 0; p < pageTexts.size(); ++p) {
        QVERIFY2(pageTexts.at(p).contains(
                     QStringLiteral("página %1 de %2").arg(p + 1).arg(summaryPages + traces)),
                 qPrintable(pageTexts.at(p)));
        QVERIFY(pageTexts.at(p).contains("ACME Redes"));
        QVERIFY2(pageTexts.at(p).contains(QStringLiteral("otdr ") + Version::number()),
                 qPrintable(pageTexts.at(p)));
        QCOMPARE(pageTexts.at(p).contains("Cliente"), p == summaryPages - 1);
    }
}

// A limits file that fails exactly one event of each trace: that event, its trace and the
// summary say so; a damaged file cannot be judged, an unreadable one has its page; the PDF is
// text a reader can search, one page per trace after the summary.
void TestReport::batch()
{
    const QString pdf = dir.filePath("relatorio.pdf");
    const QString csv = dir.filePath("resumo.csv");
    const QStringList files{dir.filePath("a.sor"),
                            dir.filePath("b.sor"),
                            dir.filePath("damaged.sor"),
                            dir.filePath("cut.sor")};
    QCOMPARE(run(QStringList{"report"} + files
                 + QStringList{"-o",
                               pdf,
                               "--limits",
                               dir.filePath("limits.json"),
                               "--company",
                               "ACME Redes",
                               "--operator",
                               "J. Silva",
                               "--csv",
                               csv}),
             1);
    const QString t = text(pdf);
    QVERIFY2(t.contains("ACME Redes") && t.contains("J. Silva") && t.contains("Limites: cliente"),
             qPrintable(t));
    QVERIFY2(t.contains("4 traços: 0 APROVADO, 2 REPROVADO, 2 INDETERMINADO"), qPrintable(t));
    // the failing event of each trace whose events were read (in the reasons on its page), and
    // the limits
    QCOMPARE(t.count("perda de conector máx. 0,350 dB"), 3 + 1);
    QVERIFY2(t.simplified().contains(
                 "evento 2: perda 0,400 dB acima do limite (perda de conector máx. 0,350 dB)"),
             qPrintable(t));
    QVERIFY(t.contains(QRegularExpression(
        "2 +1,2000 +reflexivo +0,400 +-43,00 +0,300 \\(trecho curto\\) +REPROVADO")));
    // Sections of 600 m: their attenuation is shown, marked, and not judged.
    QVERIFY(t.contains(QRegularExpression(
        "1 +0,6000 +não reflexivo +0,100 +0,300 \\(trecho curto\\) +0,200 dB +APROVADO")));
    QVERIFY2(t.contains("danificado: a soma de verificação não confere"), qPrintable(t));
    QVERIFY2(t.contains("Este arquivo não pôde ser lido"), qPrintable(t));
    QVERIFY(err.contains("cut.sor"));
    QCOMPARE(t.count(QChar('\f')), Report::pageCount(4));
    QFile summary(csv);
    QVERIFY(summary.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(summary.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines.at(1).startsWith("a.sor,CABO,F01,1310,") && lines.at(1).endsWith(",REPROVADO"));
    QVERIFY(lines.at(3).endsWith(",INDETERMINADO"));

    // "sem limites" judges nothing: no trace passes or fails, and the exit status is 0.
    QCOMPARE(run({"report",
                  dir.filePath("a.sor"),
                  dir.filePath("b.sor"),
                  "-o",
                  pdf,
                  "--preset",
                  "sem limites"}),
             0);
    QVERIFY(text(pdf).simplified().contains(
        "2 traços: 0 APROVADO, 0 REPROVADO, 0 INDETERMINADO, 2 SEM LIMITES"));
}

// A limits file that cannot be used is an error naming the key, and no PDF is written.
void TestReport::limitsThatCannotBeUsed()
{
    const QString pdf = dir.filePath("nunca.pdf");
    QCOMPARE(
        run({"report", dir.filePath("a.sor"), "-o", pdf, "--limits", dir.filePath("typo.json")}),
        2);
    QVERIFY2(err.contains("chave desconhecida: \"splice_loss_max\""), qPrintable(err));
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(run({"report", dir.filePath("a.sor"), "-o", "/nonexistent/dir/r.pdf"}), 2);
    // Said in the user's words, not Qt's English.
    QVERIFY2(err.contains("a pasta /nonexistent/dir não existe"), qPrintable(err));
}

// One fibre from both ends at two wavelengths: a page per fibre judged on averaged losses (the
// gainer passes, the bend fails at 1550 nm), the bend flagged in the summary; without ids the
// names pair the ends, and a pair of two wavelengths is refused on its page.
void TestReport::bothEnds()
{
    const QString pdf = dir.filePath("fibras.pdf");
    QStringList files;
    for (const char *name : {"1310-ab.sor", "1310-ba.sor", "1550-ab.sor", "1550-ba.sor"})
        files << dir.filePath(name);
    QCOMPARE(
        run(QStringList{"report"} + files
            + QStringList{"-o", pdf, "--preset", "monomodo-generico", "--client", "Vila Nova"}),
        1);
    QString t = text(pdf);
    // The limits by their name for people; the fibre by what its files name; the client signs.
    QVERIFY2(t.contains("Limites: Monomodo genérico (TIA-568.3-D"), qPrintable(t));
    QVERIFY2(!t.contains("monomodo-generico"), qPrintable(t));
    QVERIFY2(t.contains(QString::fromUtf8("Fibra 07 do cabo CB-12: CENTRAL ↔ POSTE 14")),
             qPrintable(t));
    QVERIFY2(t.contains("Cliente: Vila Nova"), qPrintable(t));
    QVERIFY2(t.contains("2 fibras medidas das duas pontas (perdas médias): 1 APROVADO, 1 "
                        "REPROVADO, 0"),
             qPrintable(t));
    QCOMPARE(t.count(QChar('\f')), Report::pageCount(4, 2));
    QCOMPARE(t.count(QRegularExpression("1 +4,0000 +-0,050 +0,250 +0,100 +ambas +APROVADO")), 2);
    QVERIFY(t.contains(QRegularExpression("4 +19,0000 +0,950 +0,950 +0,950 +ambas +REPROVADO")));
    QVERIFY(t.contains(QRegularExpression("1310-ab.sor +CB-12 .* 19,000 km +APROVADO +APROVADO")));
    QVERIFY(t.contains(QRegularExpression("1550-ba.sor +CB-12 .* 5,002 km +REPROVADO +REPROVADO")));
    QVERIFY(t.contains("Curvaturas: 4 traços"));
    // A threshold above the bend's 0.83 dB flags none.
    QCOMPARE(run(QStringList{"report"} + files
                 + QStringList{"-o", pdf, "--preset", "monomodo-generico", "--threshold", "0,9"}),
             1);
    QVERIFY(!text(pdf).contains("Curvaturas:"));

    files.clear();
    for (const char *name : {"1550-je.sor", "1550-jo.sor", "mixed-je.sor", "mixed-jo.sor"})
        files << dir.filePath(name);
    QCOMPARE(run(QStringList{"report"} + files + QStringList{"-o", pdf, "--pair-by-name", "je,jo"}),
             1);
    t = text(pdf);
    // Without limits nothing passes or fails: the refused pair is undetermined.
    QVERIFY2(t.simplified().contains("1 fibra medida das duas pontas (perdas médias): 0 "
                                     "APROVADO, 0 REPROVADO, 0 INDETERMINADO, 1 SEM LIMITES"),
             qPrintable(t));
    QVERIFY2(t.simplified().contains("Par recusado: os comprimentos de onda diferem: 1310 nm"),
             qPrintable(t));
    QVERIFY2(err.contains("não são as duas pontas de uma fibra"), qPrintable(err));
    QCOMPARE(run(QStringList{"report"} + files + QStringList{"-o", pdf, "--pair-by-name", "je"}),
             2);
}

// A missing file and a folder in the list do not stop the batch: each gets its page saying
// why, the others are judged, and the exit status says a file failed.
void TestReport::unreadableFilesInABatch()
{
    const QString pdf = dir.filePath("lote.pdf");
    QCOMPARE(run({"report",
                  dir.filePath("a.sor"),
                  dir.filePath("sumiu.sor"),
                  dir.path(),
                  "-o",
                  pdf,
                  "--limits",
                  dir.filePath("limits.json")}),
             1);
    const QString t = text(pdf).simplified();
    QVERIFY2(t.contains("Este arquivo não pôde ser lido: arquivo não encontrado"), qPrintable(t));
    QVERIFY2(t.contains("Este arquivo não pôde ser lido: é uma pasta"), qPrintable(t));
    QVERIFY2(t.contains("3 traços: 0 APROVADO, 1 REPROVADO, 2 INDETERMINADO"), qPrintable(t));
    QVERIFY2(err.contains("sumiu.sor") && err.contains("é uma pasta"), qPrintable(err));
}

void TestReport::neverOverATrace_data()
{
    QTest::addColumn<QStringList>("arguments"); // "%1" stands for the folder
    QTest::addColumn<QString>("named");         // the file the message names
    QTest::newRow("a report over one of its traces")
        << QStringList{"report", "%1/a.sor", "%1/b.sor", "-o", "%1/b.sor"} << "b.sor";
    QTest::newRow("a summary over one of its traces")
        << QStringList{"report", "%1/a.sor", "-o", "%1/r.pdf", "--csv", "%1/a.sor"} << "a.sor";
    QTest::newRow("a plot over its trace")
        << QStringList{"plot", "%1/b.sor", "-o", "%1/b.sor"} << "b.sor";
    QTest::newRow("a report over any trace, named in capitals")
        << QStringList{"report", "%1/a.sor", "-o", "%1/novo.SOR"} << "novo.SOR";
    QTest::newRow("the same trace by another path")
        << QStringList{"plot", "%1/a.sor", "-o", "%1/./a.sor"} << "a.sor";
}

// No output is ever written over a trace: the status is 2, the message names the file, and
// every trace keeps its bytes.
void TestReport::neverOverATrace()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    for (QString &a : arguments)
        a.replace(QStringLiteral("%1"), dir.path());
    QFile a(dir.filePath("a.sor"));
    QFile b(dir.filePath("b.sor"));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray before = a.readAll() + b.readAll();
    a.close();
    b.close();
    QCOMPARE(run(arguments), 2);
    QVERIFY2(err.contains(named), qPrintable(err));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll() + b.readAll(), before);
    QVERIFY(!QFileInfo::exists(dir.filePath("novo.SOR")));
    QVERIFY(!QFileInfo::exists(dir.filePath("r.pdf")));
}

QVector<QVector<TestReport::Word>> TestReport::words(const QString &pdf, double *pageHeight)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {"-bbox", pdf, "-"});
    tool.waitForFinished(30000);
    const QString html = QString::fromUtf8(tool.readAllStandardOutput());
    QVector<QVector<Word>> pages;
    const QRegularExpression tag(
        "<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">|<word xMin=\"([\\d.]+)\" "
        "yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    for (auto m = tag.globalMatch(html); m.hasNext();) {
        const QRegularExpressionMatch w = m.next();
        if (!w.captured(1).isEmpty()) {
            *pageHeight = w.captured(2).toDouble();
            pages.append(QVector<Word>());
        } else if (!pages.isEmpty()) {
            pages.last().append(
                Word{QRectF(QPointF(w.captured(3).toDouble(), w.captured(4).toDouble()),
                            QPointF(w.captured(5).toDouble(), w.captured(6).toDouble())),
                     w.captured(7)});
        }
    }
    return pages;
}

QString TestReport::laidOutBadly(const QString &pdf, int *count)
{
    double height = 0;
    const QVector<QVector<Word>> pages = words(pdf, &height);
    *count = pages.size();
    const double footer = height - (15 / 25.4 + (Report::Pdf::FooterHeight - 10.0) / 150) * 72;
    for (int p = 0; p < pages.size(); ++p) {
        const QVector<Word> &w = pages.at(p);
        for (int i = 0; i < w.size(); ++i) {
            const bool inFooter = w.at(i).box.bottom() > footer;
            const bool footerWord = w.at(i).box.top() > footer;
            // The messages are made only for a word at fault: Qt 5's QVERIFY2 builds its message
            // on every call, and thousands of pairs of words made the tests crawl under the
            // sanitizers.
            if ((inFooter && !footerWord) || w.at(i).box.bottom() > height)
                return QStringLiteral("page %1: \"%2\" runs into the footer")
                    .arg(p + 1)
                    .arg(w.at(i).text);
            for (int k = i + 1; k < w.size(); ++k) {
                const QRectF both = w.at(i).box.intersected(w.at(k).box);
                if (both.width() * both.height()
                    >= 0.2
                           * std::min(w.at(i).box.width() * w.at(i).box.height(),
                                      w.at(k).box.width() * w.at(k).box.height()))
                    return QStringLiteral("page %1: \"%2\" over \"%3\"")
                        .arg(p + 1)
                        .arg(w.at(i).text, w.at(k).text);
            }
        }
    }
    return QString();
}

void TestReport::writeSplicedPair(const QString &name, int splices)
{
    SorWriter::Simulation s;
    s.spacingM = 2;
    s.points = 25000;
    s.pulseNs = 300;
    s.attenuationDbKm = 0.19;
    s.launchSnrDb = 34;
    s.seed = quint32(splices);
    for (int i = 0; i < splices; ++i)
        s.events.append({SorWriter::TrueEvent::Step, 500.0 + i * 38000.0 / splices, 0.3});
    s.events.append({SorWriter::TrueEvent::End, 40000, 0, -14});
    SorWriter::Simulation back = SorWriter::fromOtherEnd(s);
    // The far end puts the fibre's end a sample further.
    for (SorWriter::TrueEvent &e : back.events)
        e.positionM += s.spacingM;
    for (const SorWriter::Simulation *one : {&s, &back}) {
        SorWriter::Trace t = SorWriter::simulatedTrace(*one, true);
        t.cableId = "CB-9";
        t.fiberId = "03";
        t.locationA = one == &s ? "CENTRAL" : "POSTE 9";
        t.locationB = one == &s ? "POSTE 9" : "CENTRAL";
        write(QStringLiteral("%1-%2.sor").arg(name, one == &s ? "ab" : "ba"), SorWriter::write(t));
    }
}

void TestReport::longTracePages_data()
{
    QTest::addColumn<int>("events");   // splices of 0.3 dB along 40 km, then its end
    QTest::addColumn<bool>("failing"); // each splice over its limit: a reason apiece
    QTest::addColumn<bool>("onePage");
    QTest::newRow("a few events, each failing: one page") << 3 << true << true;
    QTest::newRow("more events than its page's table holds") << 40 << false << false;
    QTest::newRow("more reasons than a page holds") << 48 << true << false;
    QTest::newRow("seventy reasons") << 70 << true << false;
}

// A trace with many events or many reasons why it fails: what does not fit on its page carries
// on to the next, headed as its continuation, so that every reason and every event's row is in
// the report once, no text runs over other text or past the page's foot, and every page counts
// the real total.
void TestReport::longTracePages()
{
    QFETCH(int, events);
    QFETCH(bool, failing);
    QFETCH(bool, onePage);
    SorWriter::Fibre fibre;
    fibre.lengthKm = 40;
    for (int i = 0; i < events; ++i)
        fibre.features.append({0.5 + i * 38.0 / events, 0.3, 0});
    const QString name = QStringLiteral("longo-%1.sor").arg(events);
    write(name, SorWriter::write(SorWriter::fibreTrace(fibre, 2.0, 25000, 1550)));
    write("emenda.json",
          failing ? R"({"name": "apertado", "splice_loss_max_db": 0.1})"
                  : R"({"name": "folgado", "splice_loss_max_db": 0.5})");
    const QString pdf = dir.filePath(QStringLiteral("longo-%1.pdf").arg(events));
    QCOMPARE(
        run({"report", dir.filePath(name), "-o", pdf, "--limits", dir.filePath("emenda.json")}),
        failing ? 1 : 0);
    // No word over another, none in the footer's band or past it.
    int pages = 0;
    const QString bad = laidOutBadly(pdf, &pages);
    if (!bad.isEmpty())
        QFAIL(qPrintable(bad));
    const QString t = text(pdf);
    const QStringList pageTexts = t.split(QChar('\f'), Qt::SkipEmptyParts);
    QCOMPARE(pages, pageTexts.size());
    QCOMPARE(pageTexts.size() == 2, onePage);
    // One trace is counted in the singular.
    QVERIFY2(pageTexts.first().contains(failing ? "1 traço: 0 APROVADO, 1 REPROVADO"
                                                : "1 traço: 1 APROVADO, 0 REPROVADO"),
             qPrintable(pageTexts.first()));
    for (int p = 0; p < pageTexts.size(); ++p) {
        QVERIFY2(pageTexts.at(p).contains(
                     QStringLiteral("página %1 de %2").arg(p + 1).arg(pageTexts.size())),
                 qPrintable(pageTexts.at(p)));
        // Each page after the trace's first says whose it carries on.
        QCOMPARE(pageTexts.at(p).contains(name + " (continuação)"), p > 1);
    }
    // Every reason and every event's row (the end's too), each once.
    for (int n = 1; n <= events; ++n) {
        QCOMPARE(t.count(QRegularExpression(QStringLiteral("\\bevento %1: perda 0,300 dB acima do "
                                                           "limite")
                                                .arg(n))),
                 failing ? 1 : 0);
        QCOMPARE(t.count(QRegularExpression(
                     QStringLiteral("\\n *%1 +[\\d,]+ +não reflexivo +0,300 ").arg(n))),
                 1);
    }
    QCOMPARE(t.count(QRegularExpression(
                 QStringLiteral("\\n *%1 +40,0000 +fim da fibra").arg(events + 1))),
             1);
    QVERIFY2(!t.contains("e mais"), qPrintable(t));
}

void TestReport::marginColumn_data()
{
    QTest::addColumn<QString>("limits");
    QTest::addColumn<QString>("row"); // the second event's row, as a reader finds it
    QTest::newRow("far from the limits")
        << R"({"name": "folgado", "splice_loss_max_db": 0.5, "attenuation_max_db_km": {"1550": 0.3}})"
        << "2 +10,0000 +não reflexivo +0,300 +0,200 +0,100 dB/km +APROVADO";
    QTest::newRow("a splice near its limit")
        << R"({"name": "perto", "splice_loss_max_db": 0.32})"
        << "2 +10,0000 +não reflexivo +0,300 +0,200 +0,020 dB ATENÇÃO +APROVADO";
    QTest::newRow("a section near its limit")
        << R"({"name": "perto", "splice_loss_max_db": 0.5, "attenuation_max_db_km": {"1550": 0.21}})"
        << "2 +10,0000 +não reflexivo +0,300 +0,200 +0,010 dB/km ATENÇÃO +APROVADO";
}

// The events' "Margem" column says each margin whole, with its unit and its warning.
void TestReport::marginColumn()
{
    QFETCH(QString, limits);
    QFETCH(QString, row);
    SorWriter::Fibre fibre;
    fibre.lengthKm = 40;
    for (int i = 0; i < 4; ++i)
        fibre.features.append({0.5 + i * 9.5, 0.3, 0});
    write("margem.sor", SorWriter::write(SorWriter::fibreTrace(fibre, 2.0, 25000, 1550)));
    write("margem.json", limits.toUtf8());
    const QString pdf = dir.filePath("margem.pdf");
    QCOMPARE(run({"report",
                  dir.filePath("margem.sor"),
                  "-o",
                  pdf,
                  "--limits",
                  dir.filePath("margem.json")}),
             0);
    const QString t = text(pdf);
    QVERIFY2(t.contains(QRegularExpression("\\n *" + row + "\\n")), qPrintable(t));
}

void TestReport::longNames_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("client");
    const QString name = QString::fromUtf8(
        "Companhia Estadual de Telecomunicações do Vale do Rio Grande do Sul — Regional Serra");
    QTest::newRow("the report's summary") << "report" << name;
    QTest::newRow("the cable's cover") << "cable" << name;
    QTest::newRow("a name of one word longer than the page") << "report" << QString(300, 'X');
}

// A long client, company, operator and title are written whole where they are signed and in
// every page's header: no word past the page's margins or over another, none set smaller than
// a readable size.
void TestReport::longNames()
{
    QFETCH(QString, command);
    QFETCH(QString, client);
    QStringList arguments{command};
    if (command == "report") {
        arguments << dir.filePath("a.sor") << dir.filePath("b.sor");
    } else {
        const QString cable = dir.filePath("cabo-longo");
        QVERIFY(QDir().mkpath(cable));
        for (int i = 1; i <= 2; ++i) {
            const SorWriter::CableEnds ends = SorWriter::cableFibre(i);
            write(QStringLiteral("cabo-longo/F0%1-a.sor").arg(i), SorWriter::write(ends.a));
            write(QStringLiteral("cabo-longo/F0%1-b.sor").arg(i), SorWriter::write(ends.b));
        }
        arguments << cable;
    }
    const QString pdf = dir.filePath(command + "-nomes-longos.pdf");
    arguments << QStringList{"-o",
                             pdf,
                             "--preset",
                             "monomodo-generico",
                             "--client",
                             client,
                             "--company",
                             client,
                             "--operator",
                             QString::fromUtf8("José Carlos de Albuquerque Nascimento Filho, "
                                               "técnico de campo da regional"),
                             "--title",
                             QString::fromUtf8("Relatório de certificação OTDR — ") + client};
    QVERIFY2(run(arguments) <= 1, qPrintable(err));
    double height = 0;
    const QVector<QVector<Word>> pages = words(pdf, &height);
    QVERIFY(!pages.isEmpty());
    const double margin = 15 / 25.4 * 72 - 0.5;
    const double width = 595 - margin;
    // The first page holds the signatures; every page the header.
    const QVector<Word> &w = pages.first();
    for (int i = 0; i < w.size(); ++i) {
        const QRectF box = w.at(i).box;
        if (box.left() < margin || box.right() > width || box.top() < margin
            || box.bottom() > height - margin)
            QFAIL(qPrintable(QStringLiteral("\"%1\" past the page's margins").arg(w.at(i).text)));
        if (box.height() < Report::Pdf::ReadablePoints)
            QFAIL(qPrintable(QStringLiteral("\"%1\" smaller than readable").arg(w.at(i).text)));
        for (int k = i + 1; k < w.size(); ++k) {
            const QRectF both = box.intersected(w.at(k).box);
            if (both.width() * both.height()
                >= 0.2
                       * std::min(box.width() * box.height(),
                                  w.at(k).box.width() * w.at(k).box.height()))
                QFAIL(qPrintable(
                    QStringLiteral("\"%1\" over \"%2\"").arg(w.at(i).text, w.at(k).text)));
        }
    }
    for (int p = 1; p < pages.size(); ++p) {
        for (const Word &word : pages.at(p)) {
            if (word.box.right() > width)
                QFAIL(qPrintable(QStringLiteral("page %1: \"%2\" past the page's margin")
                                     .arg(p + 1)
                                     .arg(word.text)));
        }
    }
    // The client's name whole under its signature line: each word, in order, in the right
    // column.
    QStringList signed_;
    for (const Word &word : w) {
        if (word.box.left() > 595 / 2.0 && word.box.top() > height / 3)
            signed_ << word.text;
    }
    // A word broken over lines reads as its pieces.
    const QString said = signed_.join(' ');
    QVERIFY2(said.contains("Cliente: " + client)
                 || QString(said).remove(' ').contains("Cliente:" + client),
             qPrintable(said));
}

void TestReport::refusedPairs_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("counted"); // the fibres' line, or none
    QTest::addColumn<QString>("refused"); // the refused pairs' line, or none
    QTest::newRow("two sound fibres")
        << QStringList{"1310-ab.sor", "1310-ba.sor", "1550-ab.sor", "1550-ba.sor"}
        << QStringList{"--preset", "monomodo-generico"}
        << "2 fibras medidas das duas pontas (perdas médias): 1 APROVADO, 1 REPROVADO, 0 "
           "INDETERMINADO"
        << "";
    QTest::newRow("a sound fibre and a pair of two wavelengths")
        << QStringList{"1550-je.sor", "1550-jo.sor", "mixed-je.sor", "mixed-jo.sor"}
        << QStringList{"--pair-by-name", "je,jo", "--preset", "monomodo-generico"}
        << "1 fibra medida das duas pontas (perdas médias): 0 APROVADO, 1 REPROVADO, 0 "
           "INDETERMINADO"
        << "1 par recusado: não são as duas pontas de uma fibra";
    QTest::newRow("paired by name, two fibres by their ids")
        << QStringList{"1550-je.sor", "1550-jo.sor", "outra-je.sor", "outra-jo.sor"}
        << QStringList{"--pair-by-name", "je,jo", "--preset", "monomodo-generico"}
        << "1 fibra medida das duas pontas (perdas médias): 0 APROVADO, 1 REPROVADO, 0 "
           "INDETERMINADO"
        << "1 par recusado: não são as duas pontas de uma fibra";
    QTest::newRow("no pair but a refused one")
        << QStringList{"mixed-je.sor", "mixed-jo.sor"} << QStringList{"--pair-by-name", "je,jo"}
        << ""
        << "1 par recusado: não são as duas pontas de uma fibra";
}

// A pair refused as no one fibre's two ends is no fibre measured from both: the summary counts
// it apart, and counts only the fibres it could judge.
void TestReport::refusedPairs()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, arguments);
    QFETCH(QString, counted);
    QFETCH(QString, refused);
    const QString pdf = dir.filePath("pares.pdf");
    QStringList paths;
    for (const QString &f : files)
        paths << dir.filePath(f);
    QCOMPARE(run(QStringList{"report"} + paths + QStringList{"-o", pdf} + arguments), 1);
    const QString t = text(pdf);
    const QString summary = t.left(t.indexOf(QChar('\f'))).simplified();
    if (counted.isEmpty())
        QVERIFY2(!summary.contains("das duas pontas (perdas médias)"), qPrintable(summary));
    else
        QVERIFY2(summary.contains(counted), qPrintable(summary));
    QCOMPARE(summary.contains("recusado"), !refused.isEmpty());
    if (!refused.isEmpty())
        QVERIFY2(summary.contains(refused), qPrintable(summary));
}

namespace {

// The fields of a CSV whose numbers take the decimal mark the separator does not go with.
QString numbersMarkedOtherwise(const QString &csv, QChar separator)
{
    const QRegularExpression other(separator == ',' ? "[0-9],[0-9]" : "[0-9][.][0-9]");
    QStringList wrong;
    QString field;
    bool quoted = false;
    for (const QChar c : csv + '\n') {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == separator || c == '\n')) {
            if (other.match(field).hasMatch())
                wrong << field;
            field.clear();
        } else {
            field += c;
        }
    }
    return wrong.join(" | ");
}

} // namespace

void TestReport::csvNumbers_data()
{
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("row"); // 1310-ab.sor's row
    QTest::newRow("decimal point") << QChar(',')
                                   << "1310-ab.sor,CB-12,07,1310,24.000,8.580,2: 0.450 dB,"
                                      "19.000 km,APROVADO,APROVADO";
    QTest::newRow("decimal comma") << QChar(';')
                                   << "1310-ab.sor;CB-12;07;1310;24,000;8,580;2: 0,450 dB;"
                                      "19,000 km;APROVADO;APROVADO";
}

// The summary's CSV writes every number with one decimal mark, the one its separator goes with,
// those within a text (the worst event, the bends) too; its columns keep their names.
void TestReport::csvNumbers()
{
    QFETCH(QChar, separator);
    QFETCH(QString, row);
    QStringList files;
    for (const char *name : {"1310-ab.sor", "1310-ba.sor", "1550-ab.sor", "1550-ba.sor"})
        files << dir.filePath(name);
    Report::Options options;
    options.limits = *Acceptance::preset("monomodo-generico");
    QVector<Report::Entry> entries = Report::judgeFiles(files, options);
    Report::pairFibres(entries, options);
    Sor::CsvStyle style;
    if (separator == ';')
        style = Sor::CsvStyle::of(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const QString csv = dir.filePath("resumo.csv");
    QVERIFY(Report::writeCsv(entries, csv, nullptr, style));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.first(), Report::summaryHeader().join(separator));
    QVERIFY2(lines.contains(row), qPrintable(lines.join('\n')));
    // No number with the other mark anywhere.
    QString wrong = numbersMarkedOtherwise(lines.join('\n'), separator);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

    // The command writes it in the user's way, one mark throughout.
    QCOMPARE(run(QStringList{"report"} + files
                 + QStringList{"-o", dir.filePath("resumo.pdf"), "--csv", csv}),
             0);
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(file.readAll());
    const bool comma = written.startsWith(Report::summaryHeader().join(';'));
    QVERIFY2(comma || written.startsWith(Report::summaryHeader().join(',')), qPrintable(written));
    wrong = numbersMarkedOtherwise(written, comma ? ';' : ',');
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void TestReport::longFibrePages_data()
{
    QTest::addColumn<int>("splices");  // of 0.3 dB along 40 km, each over a 0.1 dB limit
    QTest::addColumn<bool>("onePage"); // the fibre's
    QTest::newRow("a few splices: one page") << 3 << true;
    QTest::newRow("twenty: the events' table carries on") << 20 << false;
    QTest::newRow("fifty reasons, the link map on a page of its own") << 50 << false;
    QTest::newRow("a link map taller than a page") << 150 << false;
}

// A fibre measured from both ends with many reasons why it fails: its page carries on to the
// pages after it, headed as its continuation (as a trace's page does), so that every reason and
// every event's row is in the report once, the link map stays inside its page, no text runs over
// other text or into the footer, and every page counts the real total.
void TestReport::longFibrePages()
{
    QFETCH(int, splices);
    QFETCH(bool, onePage);
    const QString name = QStringLiteral("emendas-%1").arg(splices);
    writeSplicedPair(name, splices);
    write("emenda.json", R"({"name": "apertado", "splice_loss_max_db": 0.1})");
    const QString pdf = dir.filePath(name + ".pdf");
    QCOMPARE(run({"report",
                  dir.filePath(name + "-ab.sor"),
                  dir.filePath(name + "-ba.sor"),
                  "-o",
                  pdf,
                  "--limits",
                  dir.filePath("emenda.json")}),
             1);
    int count = 0;
    const QString bad = laidOutBadly(pdf, &count);
    if (!bad.isEmpty())
        QFAIL(qPrintable(bad));
    const QString t = text(pdf);
    const QStringList pageTexts = t.split(QChar('\f'), Qt::SkipEmptyParts);
    QCOMPARE(count, pageTexts.size());
    const QString title = QString::fromUtf8("Fibra 03 do cabo CB-9: CENTRAL ↔ POSTE 9");
    // The summary's page, then the fibre's: the first under its title, the others carrying it on.
    int continued = 0;
    for (int p = 0; p < pageTexts.size(); ++p) {
        QVERIFY2(pageTexts.at(p).contains(
                     QStringLiteral("página %1 de %2").arg(p + 1).arg(pageTexts.size())),
                 qPrintable(pageTexts.at(p)));
        QCOMPARE(pageTexts.at(p).contains(QRegularExpression(title + " *\\n")), p == 1);
        if (pageTexts.at(p).contains(title + " (continuação)")) {
            QCOMPARE(p, 2 + continued);
            ++continued;
        }
    }
    QCOMPARE(continued == 0, onePage);
    QCOMPARE(t.count("Mapa do enlace"), 3);
    // Every reason (on the fibre's page and on each end's) and every event's row, each once.
    for (int n = 1; n <= splices; ++n) {
        QCOMPARE(t.count(QRegularExpression(
                     QStringLiteral("\\bevento %1: perda 0,300 dB acima do limite").arg(n))),
                 3);
        QCOMPARE(
            t.count(QRegularExpression(
                QStringLiteral("\\n *%1 +[\\d,]+ +0,300 +0,300 +0,300 +ambas +REPROVADO").arg(n))),
            1);
    }
    QVERIFY2(!t.contains("e mais"), qPrintable(t));
}

void TestReport::longChangeLists_data()
{
    QTest::addColumn<int>("splices"); // new since the baseline's three
    QTest::addColumn<bool>("onePage");
    QTest::newRow("a few changes: one page") << 6 << true;
    QTest::newRow("fifty: the list carries on") << 50 << false;
    QTest::newRow("a hundred and fifty") << 150 << false;
}

// What changed on a fibre where many splices appeared since its baseline: every change in words
// once, the list carried on to the pages after the pair's, headed as its continuation.
void TestReport::longChangeLists()
{
    QFETCH(int, splices);
    QFETCH(bool, onePage);
    writeSplicedPair(QStringLiteral("base"), 3);
    writeSplicedPair(QStringLiteral("agora"), splices);
    const QString pdf = dir.filePath(QStringLiteral("mudancas-%1.pdf").arg(splices));
    QCOMPARE(run({"compare", dir.filePath("base-ab.sor"), dir.filePath("agora-ab.sor")}), 1);
    const QStringList said = out.split('\n').filter(QRegularExpression("^  evento"));
    QVERIFY(!said.isEmpty());
    QCOMPARE(run({"compare", dir.filePath("base-ab.sor"), dir.filePath("agora-ab.sor"), "-o", pdf}),
             1);
    int count = 0;
    const QString bad = laidOutBadly(pdf, &count);
    if (!bad.isEmpty())
        QFAIL(qPrintable(bad));
    const QString t = text(pdf);
    const QStringList pageTexts = t.split(QChar('\f'), Qt::SkipEmptyParts);
    QCOMPARE(pageTexts.size() == 1, onePage);
    for (int p = 0; p < pageTexts.size(); ++p) {
        QVERIFY2(pageTexts.at(p).contains(
                     QStringLiteral("página %1 de %2").arg(p + 1).arg(pageTexts.size())),
                 qPrintable(pageTexts.at(p)));
        QCOMPARE(pageTexts.at(p).contains("agora-ab.sor desde base-ab.sor (continuação)"), p > 0);
    }
    // Each change the table names, once in the PDF.
    for (const QString &change : said)
        QCOMPARE(t.count(change.trimmed()), 1);
    QVERIFY2(!t.contains("e mais"), qPrintable(t));
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
