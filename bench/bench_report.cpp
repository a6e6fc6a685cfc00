// The report of a 144-fibre cable measured at two wavelengths: 288 traces of 30,000 points,
// judged by the generic single-mode limits and written as one PDF; its time and its size.
#include "measure.h"
#include "report/report.h"
#include "tracesim.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char *argv[])
{
    useOffscreenUnlessSet();
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption tracesOption("traces", "Traces in the report.", "N", "288");
    const QCommandLineOption reanalyzeOption("reanalyze", "Judge the analysis' events.");
    parser.addOptions({tracesOption, reanalyzeOption});
    parser.process(app);
    const int count = parser.value(tracesOption).toInt();
    QTextStream out(stdout);

    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < count; ++i) {
        SorWriter::Simulation s;
        s.seed = quint32(i + 1);
        s.wavelengthNm = i % 2 ? 1550 : 1310;
        s.attenuationDbKm = i % 2 ? 0.19 : 0.33;
        s.spacingM = 1;
        s.pulseNs = 100;
        s.events = {{SorWriter::TrueEvent::Step, 6000, 0.08, 0},
                    {SorWriter::TrueEvent::Reflection, 12000, 0.4, -45},
                    {SorWriter::TrueEvent::End, 25000, 0, -14}};
        SorWriter::Trace t = SorWriter::simulatedTrace(s);
        t.cableId = "CABO-144";
        t.fiberId = QByteArray("F") + QByteArray::number(i / 2 + 1);
        QFile file(dir.filePath(QStringLiteral("F%1_%2.sor")
                                    .arg(i / 2 + 1, 3, 10, QLatin1Char('0'))
                                    .arg(s.wavelengthNm)));
        file.open(QIODevice::WriteOnly);
        file.write(SorWriter::write(t));
        files << file.fileName();
    }
    Report::Options options;
    options.limits = *Acceptance::preset(QStringLiteral("monomodo-generico"));
    options.reanalyze = parser.isSet(reanalyzeOption);
    const QString pdf = dir.filePath("relatorio.pdf");
    const double cpu = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QVector<Report::Entry> entries = Report::judgeFiles(files, options);
    const QVector<Report::Fibre> fibres = Report::pairFibres(entries, options);
    QString error;
    if (!Report::writePdf(entries, fibres, options, pdf, &error)) {
        out << "report failed: " << error << "\n";
        return 1;
    }
    out << QString("report of %1 traces of 30000 points: %2 s of processor (%3 s wall), %4 pages, "
                   "%5 MB\n")
               .arg(count)
               .arg(processCpuSeconds() - cpu, 0, 'f', 2)
               .arg(wall.elapsed() / 1000.0, 0, 'f', 2)
               .arg(Report::pageCount(count, fibres.size()))
               .arg(QFileInfo(pdf).size() / 1e6, 0, 'f', 1);
    return 0;
}
