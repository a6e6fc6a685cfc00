#include "sor/soredit.h"
#include "sor/sorreader.h"
#include "sorwriter.h"
#include "traceset/traceset.h"
#include "tracesim.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The traces a viewer has open, driven without a window.
class TestTraceSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openAndClose();
    void eventsShownAndJudged();
    void exports();
    void editIdentification();
    void pairing();

private:
    QString write(const QString &name, const QByteArray &bytes);

    QTemporaryDir dir;
    QByteArray sound;
};

void TestTraceSet::initTestCase()
{
    sound = SorWriter::write(SorWriter::readerCase("whole file, CCITT-FALSE").trace);
}

QString TestTraceSet::write(const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(bytes);
    return file.fileName();
}

// What cannot be shown is named with its reason; a trace keeps its colour while it is open,
// and a colour freed by a closed trace is the next one given.
void TestTraceSet::openAndClose()
{
    TraceSet set;
    QStringList failures;
    QCOMPARE(set.open({write("a.sor", sound),
                       dir.path(),
                       dir.filePath("missing.sor"),
                       write("text.sor", "not a trace"),
                       write("b.sor", sound),
                       write("c.sor", sound)},
                      &failures),
             3);
    QCOMPARE(failures.size(), 3);
    QVERIFY2(failures.at(0).endsWith(": é uma pasta"), qPrintable(failures.at(0)));
    QCOMPARE(failures.at(1), QStringLiteral("missing.sor: arquivo não encontrado"));
    QVERIFY(failures.at(2).startsWith("text.sor: "));
    QCOMPARE(set.size(), 3);
    QCOMPARE(set.close(0), dir.filePath("a.sor"));
    QCOMPARE(set.close(7), QString());
    QCOMPARE(set.size(), 2);
    QCOMPARE(set.at(0).colour, 1);
    QCOMPARE(set.at(1).colour, 2);
    QCOMPARE(set.open({dir.filePath("a.sor")}), 1);
    QCOMPARE(set.at(2).colour, 0);
    const QVector<TracePlot::Series> series = set.series(1);
    QCOMPARE(series.size(), 3);
    QCOMPARE(series.at(1).label, QStringLiteral("c.sor"));
    QCOMPARE(series.at(1).colour, TracePlot::seriesColour(2));
    QVERIFY(series.at(1).emphasised && !series.at(0).emphasised && !series.at(2).emphasised);
}

// The analysis' events stand in for the file's until these are asked for again; with limits,
// each shown event has its verdict, the fibre end none.
void TestTraceSet::eventsShownAndJudged()
{
    SorWriter::Simulation fibre;
    fibre.pulseNs = 1000;
    fibre.spacingM = 5;
    fibre.points = 12000;
    fibre.launchSnrDb = 35;
    fibre.events = {{SorWriter::TrueEvent::Reflection, 15000, 0.5, -45},
                    {SorWriter::TrueEvent::End, 40000, 0, -14}};
    SorWriter::Trace written = SorWriter::simulatedTrace(fibre);
    written.withEvents = true;
    written.events = {SorWriter::Event{}};
    TraceSet set;
    QCOMPARE(set.open({write("fibre.sor", SorWriter::write(written))}), 1);
    QCOMPARE(set.at(0).shown().keyEvents->events.size(), 1);
    QVERIFY(set.eventVerdicts(0).isEmpty());
    Analysis::Thresholds thresholds;
    thresholds.lossDb = 0.2;
    set.reanalyze(0, thresholds);
    QCOMPARE(set.thresholds().lossDb, 0.2);
    QCOMPARE(set.at(0).shown().keyEvents->events.size(), 2);
    QCOMPARE(set.at(0).trace.keyEvents->events.size(), 1); // the file's stay as read
    QVERIFY(set.series().first().label.endsWith("(análise)"));
    set.setLimits(Acceptance::parseLimits(R"({"connector_loss_max_db": 0.3})", nullptr));
    const QStringList verdicts = set.eventVerdicts(0);
    QCOMPARE(verdicts.size(), 2);
    QVERIFY2(verdicts.at(0).startsWith("REPROVADO"), qPrintable(verdicts.at(0)));
    QCOMPARE(verdicts.at(1), QString());
    set.showFileEvents(0);
    QCOMPARE(set.at(0).shown().keyEvents->events.size(), 1);
    QCOMPARE(set.series().first().label, QStringLiteral("fibre.sor"));
}

// Nothing is written over a trace; a CSV and a report are written whole, under the heading
// given; a logo that cannot be read says so and writes nothing.
void TestTraceSet::exports()
{
    TraceSet set;
    const QString trace = write("export.sor", sound);
    QCOMPARE(set.open({trace}), 1);
    QString error;
    QVERIFY(!set.exportCsv(0, trace, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(QFile(trace).size(), qint64(sound.size()));
    QVERIFY(!set.exportCsv(3, dir.filePath("none.csv")));
    QVERIFY2(set.exportCsv(0, dir.filePath("export.csv"), &error), qPrintable(error));
    QFile csv(dir.filePath("export.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readLine().trimmed(), QByteArray("distance_m,level_db"));

    TraceSet::ReportHeading heading{"Cabo 7", "ACME", "J. Silva", dir.filePath("no-logo.png")};
    QVERIFY(!set.exportReport(dir.filePath("r.pdf"), heading, &error));
    QVERIFY2(error.contains("logotipo"), qPrintable(error));
    QVERIFY(!QFile::exists(dir.filePath("r.pdf")));
    heading.logoPath.clear();
    QVERIFY2(set.exportReport(dir.filePath("r.pdf"), heading, &error), qPrintable(error));
    QFile pdf(dir.filePath("r.pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.read(5) == "%PDF-");
    if (!QStandardPaths::findExecutable("pdftotext").isEmpty()) {
        QProcess tool;
        tool.start(QStringLiteral("pdftotext"), {pdf.fileName(), "-"});
        QVERIFY(tool.waitForFinished(30000));
        const QString text = QString::fromUtf8(tool.readAllStandardOutput());
        QVERIFY2(text.contains("Cabo 7") && text.contains("ACME") && text.contains("J. Silva"),
                 qPrintable(text));
    }
    const TracePlot::View view = TracePlot::fullView(set.series());
    QVERIFY(!set.exportImage(trace, QSize(800, 400), view, {}, &error));
    QVERIFY(set.exportImage(dir.filePath("plot.png"), QSize(800, 400), view, {}, &error));
    QCOMPARE(QImage(dir.filePath("plot.png")).size(), QSize(800, 400));
}

// The identification changes in the file, the first original is kept, and the trace shown is
// the one written.
void TestTraceSet::editIdentification()
{
    TraceSet set;
    const QString path = write("edit.sor", sound);
    QCOMPARE(set.open({path}), 1);
    Sor::Edits edits;
    edits.cableId = QStringLiteral("CABO-NOVO");
    QString error;
    QVERIFY2(set.editIdentification(0, edits, false, &error), qPrintable(error));
    QCOMPARE(set.at(0).trace.general->cableId, QStringLiteral("CABO-NOVO"));
    QCOMPARE(Sor::readFile(path).general->cableId, QStringLiteral("CABO-NOVO"));
    QFile backup(Sor::backupPath(path));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), sound);
    edits.cableId = QStringLiteral("OUTRO");
    QVERIFY(set.editIdentification(0, edits, false, &error));
    backup.seek(0);
    QCOMPARE(backup.readAll(), sound); // still the first original
}

// One fibre's four traces: each end points at the other, and two wavelengths are compared
// shorter first whichever is chosen first.
void TestTraceSet::pairing()
{
    TraceSet set;
    QStringList files;
    for (const SorWriter::Case &c : SorWriter::twoEndedSamples())
        files << write(c.name, SorWriter::write(c.trace));
    QCOMPARE(set.open(files), 4); // 1310-ab, 1310-ba, 1550-ab, 1550-ba
    QCOMPARE(set.likelyPartner(TraceSet::Pairing::Directions, 2), 3);
    QCOMPARE(set.likelyPartner(TraceSet::Pairing::Directions, 1), 0);
    QCOMPARE(set.likelyPartner(TraceSet::Pairing::Wavelengths, 2), 0);
    QCOMPARE(set.comparisonOrder(TraceSet::Pairing::Wavelengths, 2, 0), std::make_pair(0, 2));
    QCOMPARE(set.comparisonOrder(TraceSet::Pairing::Directions, 3, 2), std::make_pair(3, 2));
}

QTEST_MAIN(TestTraceSet)
#include "tst_traceset.moc"
