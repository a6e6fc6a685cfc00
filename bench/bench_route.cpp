// Where a real trace's closures and end lie in the street, on a route built from the trace's own
// events with a known excess fibre length (1.2 %), cord (25 m) and slack loops (20 m at each
// closure, 12 m at every fourth pole), the route's footage rounded to the metre with a tape's
// error of up to 2 m: each closure held out of the calibration in turn and placed,
// and the end, against 5 m + 0.05 % of the distance.
#include "acceptance/verdict.h"
#include "plant.h"
#include "route/tracelocate.h"
#include "sor/sorreader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

constexpr double Efl = 0.012;
constexpr double OffsetM = 25;
constexpr double PoleEveryM = 800;
constexpr double LoopM = 12;
constexpr int LoopEvery = 4;
constexpr double TapeM = 2; // the footage's error, either way
constexpr double ClosureLoopM = 20;

double goal(double m)
{
    return 5 + 0.0005 * m;
}

struct Figures
{
    int traces = 0;
    int heldOut = 0;
    int heldOutWithin = 0;
    int ends = 0;
    int endsWithin = 0;
    std::vector<double> errors;
    QStringList misses;
};

// The route the crew would have drawn for this fibre: a closure at each event with its own loop
// (the splice in its middle), poles every 800 m with a loop at every fourth (none where a
// closure's loop takes its place), every distance to the metre with the tape's error.
Route::Route routeFor(const QVector<double> &closuresM,
                      double endM,
                      QRandomGenerator &random,
                      QVector<double> &truthRouteM,
                      double &endRouteM)
{
    Route::Route route;
    const auto add = [&](const QString &name, Route::Kind kind, double at, double slack) {
        Route::Point p;
        p.name = name;
        p.kind = kind;
        p.routeM = at;
        p.slackM = slack;
        route.points.append(p);
    };
    const auto tape = [&](double m) {
        return std::max(0.0, std::round(m + (random.generateDouble() * 2 - 1) * TapeM));
    };
    add(QStringLiteral("ORIGEM"), Route::Kind::Origin, 0, 0);
    truthRouteM.clear();
    double slack = 0; // the loops passed, in cable metres
    int pole = 1;
    // Poles whose place (and loop) comes before a cable position.
    const auto polesBefore = [&](double cableM) {
        while (pole * PoleEveryM + slack < cableM) {
            const double at = pole * PoleEveryM;
            double loop = pole % LoopEvery == 0 ? LoopM : 0;
            if (at + slack + loop > cableM)
                loop = 0; // the closure's own loop is here
            add(QStringLiteral("P-%1").arg(pole), Route::Kind::Pole, at, loop);
            slack += loop;
            ++pole;
        }
    };
    for (int c = 0; c < closuresM.size(); ++c) {
        const double cable = (closuresM.at(c) - OffsetM) / (1 + Efl);
        polesBefore(cable - ClosureLoopM / 2);
        const double at = cable - slack - ClosureLoopM / 2;
        truthRouteM << at;
        add(QStringLiteral("CEO-%1").arg(c + 1), Route::Kind::Splice, tape(at), ClosureLoopM);
        slack += ClosureLoopM;
    }
    const double endCable = (endM - OffsetM) / (1 + Efl);
    polesBefore(endCable);
    endRouteM = endCable - slack;
    add(QStringLiteral("FIM"), Route::Kind::Box, endRouteM + 200, 0);
    std::stable_sort(route.points.begin(), route.points.end(), [](const auto &a, const auto &b) {
        return a.routeM < b.routeM;
    });
    return route;
}

void measure(const QString &path, Figures &f, QRandomGenerator &random)
{
    const Sor::Opened opened = Sor::openTrace(path);
    if (!opened.usable())
        return;
    const Route::TraceEvents events = Route::eventsOf(opened.trace);
    if (events.analysed || !events.endM)
        return;
    // The closures: the stored events past the launch, each a pulse length from another and
    // further than its loop.
    QVector<double> closures;
    for (double d : events.eventsM) {
        if (d > 3 * events.toleranceM && d < *events.endM - events.toleranceM
            && (closures.isEmpty()
                || d - closures.last() > std::max(events.toleranceM, 3 * ClosureLoopM)))
            closures << d;
    }
    if (closures.size() < 3)
        return;
    ++f.traces;
    QVector<double> truth;
    double endTruth = 0;
    const Route::Route full = routeFor(closures, *events.endM, random, truth, endTruth);
    const Route::Located all = Route::locateTrace(QString(), opened.trace, full, {}, {});
    for (const Route::Position &p : all.positions) {
        if (!p.end)
            continue;
        ++f.ends;
        const double error = std::abs(p.routeM - endTruth);
        if (error <= goal(endTruth))
            ++f.endsWithin;
        else
            f.misses << QStringLiteral("%1: fim a %2 m do certo")
                            .arg(QFileInfo(path).fileName())
                            .arg(error, 0, 'f', 1);
    }
    for (int k = 0; k < closures.size(); ++k) {
        Route::Route route = full;
        for (Route::Point &p : route.points) {
            if (p.name == QStringLiteral("CEO-%1").arg(k + 1))
                p.kind = Route::Kind::Other;
        }
        const Route::Located l = Route::locateTrace(QString(), opened.trace, route, {}, {});
        for (const Route::Position &p : l.positions) {
            if (p.end || std::abs(p.otdrM - closures.at(k)) > 1e-6)
                continue;
            ++f.heldOut;
            const double error = std::abs(p.routeM - truth.at(k));
            f.errors.push_back(error);
            if (error <= goal(truth.at(k)))
                ++f.heldOutWithin;
            else if (qEnvironmentVariableIsSet("ROUTE_BENCH_SHOW"))
                QTextStream(stderr) << Route::table(l);
            if (error > goal(truth.at(k)))
                f.misses << QStringLiteral("%1: emenda %2 (%3 m) a %4 m do certo")
                                .arg(QFileInfo(path).fileName())
                                .arg(k + 1)
                                .arg(truth.at(k), 0, 'f', 0)
                                .arg(error, 0, 'f', 1);
        }
    }
}

double percentile(std::vector<double> v, double share)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(std::min<double>(v.size() - 1, std::floor(share * (v.size() - 1) + 0.5)))];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Places each real trace's closures (one held out at a time) and its end on a route built "
        "from its events, and prints how many land within 5 m + 0.05 % of the distance."));
    parser.addHelpOption();
    const QCommandLineOption traces(QStringLiteral("traces"),
                                    QStringLiteral("Folder of the real traces."),
                                    QStringLiteral("DIR"),
                                    QStringLiteral(OTDR_FIELD_TRACES));
    const QCommandLineOption names(QStringLiteral("names"), QStringLiteral("Name each miss."));
    parser.addOptions({traces, names});
    parser.process(app);
    QTextStream out(stdout);
    const QString root = parser.value(traces);
    if (!QDir(root).exists()) {
        out << "skipped: " << root << " not found\n";
        return 0;
    }
    for (const QString &set : {QStringLiteral("field"), QStringLiteral("makers")}) {
        const QString folder = QDir(root).filePath(set);
        if (!QDir(folder).exists())
            continue;
        const QStringList files = Plant::tracesIn(folder);
        Figures f;
        QRandomGenerator random(2026);
        QElapsedTimer timer;
        timer.start();
        for (const QString &file : files)
            measure(file, f, random);
        const double seconds = timer.elapsed() / 1000.0;
        out << set << ": " << f.traces << " traces with 3 or more closures and an end (of "
            << files.size() << ")\n";
        out << set << ": closures held out, placed within 5 m + 0.05 %: " << f.heldOutWithin
            << " of " << f.heldOut << "; error median "
            << QString::number(percentile(f.errors, 0.5), 'f', 1) << " m, p95 "
            << QString::number(percentile(f.errors, 0.95), 'f', 1) << " m\n";
        out << set << ": fibre ends placed within 5 m + 0.05 %: " << f.endsWithin << " of "
            << f.ends << "\n";
        out << set << ": " << QString::number(seconds, 'f', 2) << " s\n";
        if (parser.isSet(names)) {
            for (const QString &miss : f.misses)
                out << "  " << miss << "\n";
        }
    }
    return 0;
}
