// Real field traces (../shared/traces beside the project, or --traces DIR): whether each file's
// own reflective events lie on the reflections in its points once the reader has put both on
// one axis, and how far they lay apart before. Prints a table; skips with a message when the
// folder is not there, since a fresh clone has no real traces.

#include "analysis/eventaxis.h"
#include "sor/sorreader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

// Far enough to find a launch reel's kilometre and one maker's 1,071 m.
constexpr double SearchM = 1500;

QString metres(const std::optional<double> &m)
{
    return m ? QString::number(*m, 'f', 1) : QStringLiteral("-");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption tracesOption(
        "traces", "The folder of real traces.", "DIR", QStringLiteral(OTDR_FIELD_TRACES));
    const QCommandLineOption listOption("list", "A line for every file.");
    parser.addOptions({tracesOption, listOption});
    parser.process(app);
    QTextStream out(stdout);
    const QString folder = parser.value(tracesOption);
    if (!QDir(folder).exists()) {
        out << "skipped: " << QDir::cleanPath(folder) << " not found\n";
        return 0;
    }
    QStringList files;
    QDirIterator it(folder,
                    {QStringLiteral("*.sor"), QStringLiteral("*.SOR")},
                    QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    std::sort(files.begin(), files.end());

    int judged = 0;
    int onAxis = 0;
    int movedFiles = 0;
    double worstRaw = 0;
    double worst = 0;
    QStringList off;
    if (parser.isSet(listOption))
        out << "file | span start (m) | shift before (m) | shift now (m) | tolerance (m)\n";
    for (const QString &path : files) {
        const Sor::Trace trace = Sor::readFile(path);
        const std::optional<double> now = Analysis::eventAxisShiftM(trace, SearchM);
        // Before: the points from 0 at the first point, as they were drawn.
        Sor::Trace raw = trace;
        const double start
            = trace.offsets && trace.offsets->applied ? trace.offsets->spanStartM : 0;
        for (double &x : raw.distanceM)
            x += start;
        const std::optional<double> before = Analysis::eventAxisShiftM(raw, SearchM);
        const double tolerance = Analysis::eventToleranceM(trace);
        const QString name = QDir(folder).relativeFilePath(path);
        if (parser.isSet(listOption)) {
            out << name << " | " << QString::number(start, 'f', 1) << " | " << metres(before)
                << " | " << metres(now) << " | " << QString::number(tolerance, 'f', 1) << "\n";
        }
        if (!now)
            continue;
        ++judged;
        if (start != 0)
            ++movedFiles;
        worst = std::max(worst, std::abs(*now));
        if (before)
            worstRaw = std::max(worstRaw, std::abs(*before));
        if (std::abs(*now) <= tolerance)
            ++onAxis;
        else
            off << QStringLiteral("%1 (%2 m)").arg(name, metres(now));
    }
    out << "Event axis on " << files.size() << " real traces in " << QDir::cleanPath(folder)
        << "\n\n";
    out << "| measure | value | goal |\n| --- | --- | --- |\n";
    out << "| files with a reflective event to place | " << judged << " | |\n";
    out << "| of them moved by their offsets | " << movedFiles << " | |\n";
    out << "| largest shift that lays the events on the reflections, before | "
        << QString::number(worstRaw, 'f', 1) << " m | |\n";
    out << "| the same on one axis | " << QString::number(worst, 'f', 1) << " m | |\n";
    out << "| files on one axis (shift within pulse length + 2 samples) | " << onAxis << " of "
        << judged << " | all |\n";
    if (!off.isEmpty())
        out << "\noff the axis: " << off.join(QStringLiteral(", ")) << "\n";
    return 0;
}
