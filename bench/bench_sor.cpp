// Measures the SOR reader and the plot on generated traces: reading and checking many traces,
// one long trace, and a PNG of it. Prints a table; asserts nothing about time.

#include "sor/sorreader.h"
#include "sorwriter.h"
#include "traceplot/plotpainter.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

// Half of them carry the checksum that the reader tries last, so every method is paid for.
QByteArray longTrace(int points, quint16 wavelength, bool lastMethod = false)
{
    SorWriter::Fibre fibre{points * 1.0 / 1000.0 * 0.9, 0.2, {{3.0, 0.1, 0}, {20.0, 0.5, 3.0}}};
    SorWriter::Trace trace = SorWriter::fibreTrace(fibre, 1.0, points, wavelength);
    if (lastMethod)
        trace.checksum = SorWriter::Checksum::XmodemBefore;
    return SorWriter::write(trace);
}

template<typename F>
double medianMs(int runs, F &&work)
{
    QVector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption tracesOption("traces", "Traces read and checked.", "N", "1000");
    const QCommandLineOption pointsOption("points", "Points per trace.", "N", "30000");
    const QCommandLineOption longOption("long", "Points of the long trace.", "N", "200000");
    parser.addOptions({tracesOption, pointsOption, longOption});
    parser.process(app);
    const int count = parser.value(tracesOption).toInt();
    const int points = parser.value(pointsOption).toInt();
    const int longPoints = parser.value(longOption).toInt();
    QTextStream out(stdout);

    // Distinct files, as a folder of downloads would hold.
    QList<QByteArray> files;
    for (int i = 0; i < count; ++i)
        files.append(longTrace(points, quint16(1310 + (i % 2) * 240), i % 2));
    int sound = 0;
    QElapsedTimer all;
    all.start();
    for (const QByteArray &file : files)
        sound += Sor::read(file).damaged() ? 0 : 1;
    const double allMs = all.nsecsElapsed() / 1e6;

    const QByteArray big = longTrace(longPoints, 1550);
    Sor::Trace trace;
    const double readMs = medianMs(21, [&] { trace = Sor::read(big); });
    QTemporaryDir dir;
    const QVector<TracePlot::Series> series{{&trace, "long.sor", TracePlot::seriesColour(0)}};
    bool saved = true;
    const double plotMs = medianMs(7, [&] {
        saved = TracePlot::save(dir.filePath("plot.png"), series, QSize(1600, 900)) && saved;
    });

    out << "SOR reader benchmark (one core)\n\n| measure | value | goal |\n| --- | --- | --- |\n";
    out << "| read and check " << count << " traces of " << points << " points ("
        << files.first().size() / 1024 << " KB each) | " << QString::number(allMs, 'f', 1)
        << " ms | < 1000 ms for 1000 |\n";
    out << "| read a trace of " << longPoints << " points, median | "
        << QString::number(readMs, 'f', 2) << " ms | < 5 ms |\n";
    out << "| 1600x900 PNG plot of it, median | " << QString::number(plotMs, 'f', 1)
        << " ms | < 100 ms |\n";
    out << "\nsound traces: " << sound << " of " << count
        << "; plot saved: " << (saved ? "yes" : "NO") << "\n";
    return sound == count && saved && trace.points() == longPoints ? 0 : 1;
}
