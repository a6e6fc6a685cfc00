// The trace archive's speed, on SQLite and (with --postgresql) on a server:
// - a folder of generated traces indexed, then indexed again unchanged;
// - the archive grown with small traces, then a find by cable and fibre, timed many times;
// - a fibre's history (its as-built and later traces, both ends, two bands) found and opened
//   in the viewer, overlaid;
// - the real traces beside the project indexed, with the damaged ones counted.
#include "archive/archive.h"
#include "plotwidget.h"
#include "sorwriter.h"
#include "tracesim.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QString seconds(qint64 ns)
{
    return QString::number(double(ns) / 1e9, 'f', 2) + " s";
}

QString millis(double ns)
{
    return QString::number(ns / 1e6, 'f', 2) + " ms";
}

SorWriter::Trace baseTrace(int points, quint32 seed, int wavelength)
{
    SorWriter::Simulation s;
    s.spacingM = 2;
    s.points = points;
    s.pulseNs = 300;
    s.wavelengthNm = wavelength;
    s.seed = seed;
    const double end = 0.8 * points * s.spacingM;
    s.events = {{SorWriter::TrueEvent::Step, end / 3, 0.1},
                {SorWriter::TrueEvent::Reflection, end / 2, 0.4, -50},
                {SorWriter::TrueEvent::End, end, 0, -14}};
    return SorWriter::simulatedTrace(s, true);
}

// count traces in folder: labelled cable prefix + number, 48 fibres a cable, each unique.
void writeTraces(const QString &folder, const QString &prefix, int count, int points, int first)
{
    QDir().mkpath(folder);
    QVector<SorWriter::Trace> bases;
    for (int k = 0; k < 8; ++k)
        bases << baseTrace(points, quint32(k + 1), k % 2 ? 1310 : 1550);
    for (int i = 0; i < count; ++i) {
        const int n = first + i;
        SorWriter::Trace t = bases.at(n % 8);
        t.cableId
            = QStringLiteral("%1-%2").arg(prefix).arg(n / 96, 4, 10, QLatin1Char('0')).toLatin1();
        t.fiberId = QByteArray("F") + QByteArray::number((n / 2) % 48 + 1).rightJustified(2, '0');
        t.locationA = n % 2 ? "PONTA-B" : "PONTA-A";
        t.buildCondition = n % 5 ? "CC" : "BC";
        t.dateTime = 1700000000u + quint32(n) * 600u;
        QFile f(
            QStringLiteral("%1/%2-%3.sor").arg(folder).arg(prefix).arg(n, 6, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write(SorWriter::write(t));
    }
}

// A fibre measured over the years: as-built and two later campaigns, from both ends, at two
// bands.
void writeHistory(const QString &folder, int points)
{
    QDir().mkpath(folder);
    int k = 0;
    for (const char *condition : {"BC", "CC", "RC"}) {
        for (const char *end : {"CENTRAL", "POSTE"}) {
            for (int wavelength : {1310, 1550}) {
                SorWriter::Trace t = baseTrace(points, quint32(100 + k), wavelength);
                t.cableId = "CB-HIST";
                t.fiberId = "F01";
                t.locationA = end;
                t.buildCondition = condition;
                t.dateTime = 1600000000u + quint32(k) * 86400u * 90u;
                QFile f(QStringLiteral("%1/hist-%2.sor").arg(folder).arg(k++));
                if (f.open(QIODevice::WriteOnly))
                    f.write(SorWriter::write(t));
            }
        }
    }
}

void run(const QString &label,
         const QString &db,
         const QString &work,
         int traces,
         int findTraces,
         int points,
         const QString &real)
{
    QString why;
    auto archive = Archive::Archive::open(db, &why);
    if (!archive) {
        out() << label << ": " << why << "\n";
        return;
    }
    if (archive->count() > 0) {
        out() << label << ": the archive is not empty (" << archive->count()
              << " traces): give a new one\n";
        return;
    }
    QElapsedTimer timer;
    timer.start();
    const Archive::AddResult first = archive->add({work + "/traces"});
    const qint64 addNs = timer.nsecsElapsed();
    timer.restart();
    const Archive::AddResult again = archive->add({work + "/traces"});
    const qint64 againNs = timer.nsecsElapsed();
    out() << label << ": " << first.files << " traces of " << points << " points indexed in "
          << seconds(addNs) << " (" << first.newTraces << " new, " << first.errors.size()
          << " errors); again unchanged in " << seconds(againNs) << " (" << again.read
          << " read)\n";
    archive->add({work + "/history"});
    if (findTraces > traces) {
        timer.restart();
        const Archive::AddResult more = archive->add({work + "/more"});
        out() << label << ": grown by " << more.newTraces << " small traces in "
              << seconds(timer.nsecsElapsed()) << " to " << archive->count() << "\n";
    }
    // Finds by cable and fibre, spread over the archive.
    QVector<double> times;
    QRandomGenerator random(7);
    int hits = 0;
    const int all = archive->count();
    for (int i = 0; i < 50; ++i) {
        Archive::Query q;
        const int n = int(random.bounded(quint32(std::max(1, all - 20))));
        q.cable = QStringLiteral("%1-%2")
                      .arg(n < traces ? "CB" : "SM")
                      .arg(n / 96, 4, 10, QLatin1Char('0'));
        q.fiber = QStringLiteral("F%1").arg((n / 2) % 48 + 1, 2, 10, QLatin1Char('0'));
        timer.restart();
        hits += archive->find(q).size();
        times << double(timer.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    out() << label << ": find by cable and fibre over " << all << " traces: median "
          << millis(times.at(times.size() / 2)) << ", slowest " << millis(times.last()) << " ("
          << hits << " traces found by 50 finds)\n";
    // A fibre's history, found and overlaid in the viewer.
    {
        ViewerWindow window;
        timer.restart();
        QStringList paths;
        for (const Archive::Record &r : archive->history("F01", "CB-HIST"))
            paths << r.path();
        const qint64 foundNs = timer.nsecsElapsed();
        const int opened = window.openFiles(paths);
        window.plot()->grab();
        out() << label << ": history of a fibre (" << opened << " traces of " << points
              << " points) found in " << millis(double(foundNs)) << ", overlaid in the viewer in "
              << seconds(timer.nsecsElapsed()) << "\n";
    }
    if (!real.isEmpty() && QDir(real).exists()) {
        timer.restart();
        const Archive::AddResult r = archive->add({real});
        out() << label << ": real traces: " << r.files << " files indexed in "
              << seconds(timer.nsecsElapsed()) << ", " << r.errors.size() << " errors, "
              << r.damaged << " damaged\n";
    }
    out().flush();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The trace archive: indexing, finding, a fibre's history.");
    parser.addHelpOption();
    const QCommandLineOption tracesOption("traces", "Generated traces to index.", "N", "10000");
    const QCommandLineOption findOption(
        "find-traces", "The archive grown to this many for the finds.", "N", "100000");
    const QCommandLineOption pointsOption(
        "points", "Points of each generated trace.", "N", "16000");
    const QCommandLineOption pgOption(
        "postgresql", "The same on this (empty) server database.", "postgresql://…");
    const QCommandLineOption realOption(
        "real", "Folder of real traces.", "DIR", QStringLiteral(OTDR_FIELD_TRACES));
    parser.addOptions({tracesOption, findOption, pointsOption, pgOption, realOption});
    parser.process(app);
    const int traces = parser.value(tracesOption).toInt();
    const int findTraces = parser.value(findOption).toInt();
    const int points = parser.value(pointsOption).toInt();
    QTemporaryDir work;
    QElapsedTimer timer;
    timer.start();
    writeTraces(work.filePath("traces"), "CB", traces, points, 0);
    writeHistory(work.filePath("history"), points);
    if (findTraces > traces)
        writeTraces(work.filePath("more"), "SM", findTraces - traces, 200, traces);
    out() << "generated: " << traces << " traces of " << points << " points and "
          << std::max(0, findTraces - traces) << " of 200 written in "
          << seconds(timer.nsecsElapsed()) << "\n";
    out().flush();
    run("SQLite",
        work.filePath("arquivo.sqlite"),
        work.path(),
        traces,
        findTraces,
        points,
        parser.value(realOption));
    if (parser.isSet(pgOption))
        run("PostgreSQL",
            parser.value(pgOption),
            work.path(),
            traces,
            findTraces,
            points,
            parser.value(realOption));
    return 0;
}
