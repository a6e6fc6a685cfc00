// Measures the SOR reader and the plot on generated traces: reading and checking many traces,
// one long trace, and a PNG of it. Prints a table; asserts nothing about time.

#include "measure.h"
#include "plotwidget.h"
#include "sor/sorreader.h"
#include "sorwriter.h"
#include "traceplot/plotpainter.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
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
    useOffscreenUnlessSet();
    QApplication app(argc, argv);
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
    // What `otdr-sor check` does: the structure and the checksum, the points counted only.
    int checked = 0;
    QElapsedTimer check;
    check.start();
    for (const QByteArray &file : files)
        checked += Sor::read(file, Sor::Detail::Check).damaged() ? 0 : 1;
    const double checkMs = check.nsecsElapsed() / 1e6;
    double megabytes = 0;
    for (const QByteArray &file : files)
        megabytes += file.size() / 1e6;

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
    out << "| the same, as MB of traces a second | "
        << QString::number(megabytes / (allMs / 1000), 'f', 0) << " MB/s | |\n";
    out << "| check them (structure and checksum, points counted, not converted) | "
        << QString::number(megabytes / (checkMs / 1000), 'f', 0) << " MB/s | >= 200 MB/s |\n";
    out << "| read a trace of " << longPoints << " points, median | "
        << QString::number(readMs, 'f', 2) << " ms | < 5 ms |\n";
    out << "| 1600x900 PNG plot of it, median | " << QString::number(plotMs, 'f', 1)
        << " ms | < 100 ms |\n";
    // otdr-view: ten long traces opened, then repainted at 1600x900 while panning across them.
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        QFile file(dir.filePath(QStringLiteral("t%1.sor").arg(i)));
        file.open(QIODevice::WriteOnly);
        file.write(longTrace(longPoints, quint16(1310 + 10 * i)));
        paths << file.fileName();
    }
    ViewerWindow window;
    QElapsedTimer opening;
    opening.start();
    const int opened = window.openFiles(paths);
    const double openMs = opening.nsecsElapsed() / 1e6;
    QList<Sor::Trace> ten;
    QVector<TracePlot::Series> overlay;
    for (const QString &path : qAsConst(paths))
        ten.append(Sor::readFile(path));
    for (int i = 0; i < ten.size(); ++i)
        overlay.append({&ten.at(i), paths.at(i), TracePlot::seriesColour(i)});
    // The widget paints into an image of its size, as into a window's backing store.
    PlotWidget plot;
    plot.resize(1600, 900);
    plot.setSeries(overlay);
    QImage canvas(plot.size(), QImage::Format_ARGB32_Premultiplied);
    const TracePlot::View whole = plot.view();
    QVector<double> paints;
    const double span = (whole.x1 - whole.x0) / 4; // zoomed in, then panned end to end
    for (int step = 0; step <= 40; ++step) {
        const double x0 = whole.x0 + (whole.x1 - whole.x0 - span) * step / 40.0;
        plot.setView({x0, x0 + span, whole.y0, whole.y1});
        QElapsedTimer paint;
        paint.start();
        plot.render(&canvas);
        paints.append(paint.nsecsElapsed() / 1e6);
    }
    plot.showAll();
    QElapsedTimer wholePaint;
    wholePaint.start();
    plot.render(&canvas);
    const double wholeMs = wholePaint.nsecsElapsed() / 1e6;
    std::sort(paints.begin(), paints.end());
    out << "| otdr-view: open ten traces of " << longPoints << " points | "
        << QString::number(openMs, 'f', 1) << " ms | < 300 ms |\n";
    out << "| otdr-view: repaint 1600x900 with ten overlaid, median over a pan | "
        << QString::number(paints.at(paints.size() / 2), 'f', 2) << " ms | < 16 ms |\n";
    out << "| the same, slowest step of the pan | " << QString::number(paints.last(), 'f', 2)
        << " ms | |\n";
    out << "| the same, whole traces | " << QString::number(wholeMs, 'f', 2) << " ms | |\n";
    out << "\nsound traces: " << sound << " of " << count
        << "; plot saved: " << (saved ? "yes" : "NO") << "\n";
    return sound == count && checked == count && saved && trace.points() == longPoints
                   && opened == 10
               ? 0
               : 1;
}
