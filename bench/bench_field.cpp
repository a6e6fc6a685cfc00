// Real field traces (../shared/traces beside the project, or --traces DIR): whether each file's
// own reflective events lie on the reflections in its points once the reader has put both on
// one axis, and how far they lay apart before; then the analysis against each file's own
// events, and against splices written into the files' own points. Prints tables; skips with a
// message when the folder is not there, since a fresh clone has no real traces.

#include "analysis/analysis.h"
#include "analysis/eventaxis.h"
#include "sor/sorreader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

struct Figures
{
    int stored = 0;
    int found = 0;
    int endsStored = 0;
    int endsFound = 0;
    int strongExtra = 0;
    int impossible = 0;
    int undetermined = 0;
    std::vector<double> lossError;
    int planted = 0;
    int plantedFound = 0;
    double seconds = 0;
    QStringList missedEnds;
    QStringList extras;
    QStringList impossibles;
    QStringList missedPlants;
};

// A stored event counts when the trace can show it: past the launch's dead zone, not a marker
// past the measured range, reflective or losing at least 0.1 dB.
bool counted(const Sor::Event &e, double toleranceM)
{
    if (e.outOfRange() || e.distanceM <= toleranceM)
        return false;
    return (e.reflective() && e.measuredReflectanceDb() && *e.measuredReflectanceDb() < 0)
           || std::abs(e.lossDb) >= 0.1;
}

bool endEvent(const Sor::Event &e)
{
    return e.mode() == QLatin1Char('E');
}

// Values no fibre has, among what the analysis reports as results.
QStringList impossibleValues(const Analysis::Result &r)
{
    QStringList found;
    if (r.totalLossDb && *r.totalLossDb < 0)
        found << QStringLiteral("perda total %1 dB").arg(*r.totalLossDb, 0, 'f', 2);
    if (r.orlDb && (*r.orlDb < 10 || *r.orlDb > 80))
        found << QStringLiteral("ORL %1 dB").arg(*r.orlDb, 0, 'f', 2);
    if (r.fiberEndM && !r.events.empty() && *r.fiberEndM < r.events.front().distanceM)
        found << QStringLiteral("fim antes do primeiro evento");
    double from = r.events.empty() ? 0 : std::min(0.0, r.events.front().distanceM);
    for (const Analysis::Event &e : r.events) {
        const double length = e.distanceM - from;
        if (e.attenuationDbKm && length >= 1000
            && (*e.attenuationDbKm < 0.1 || *e.attenuationDbKm > 1.5))
            found << QStringLiteral("atenuação %1 dB/km antes de %2 m")
                         .arg(*e.attenuationDbKm, 0, 'f', 3)
                         .arg(e.distanceM, 0, 'f', 0);
        from = e.distanceM;
    }
    return found;
}

// A splice of lossDb written into the points at index `at`: the power falls over one pulse
// length, as a real splice's does.
void plantSplice(Sor::Trace &t, size_t at, size_t pulse, double lossDb)
{
    const double kept = std::pow(10.0, -lossDb / 5);
    for (size_t i = at; i < t.levelDb.size(); ++i) {
        const double share = std::min(1.0, double(i - at + 1) / double(pulse));
        t.levelDb[i] += 5 * std::log10(1 - (1 - kept) * share);
    }
}

// Clean places for a planted splice: a quarter, a half and three quarters of the way to the
// stored end, moved off any stored event by five pulse lengths, with no "no data" within five
// pulse lengths and the trace 6 dB above the last tenth of its points there.
std::vector<size_t> cleanPlaces(const Sor::Trace &t, double endM, double toleranceM)
{
    std::vector<size_t> places;
    const double dx = *t.spacingM;
    const double x0 = t.distanceM.front();
    const size_t n = t.levelDb.size();
    const double clear = 5 * toleranceM;
    std::vector<double> tail;
    for (size_t i = n - n / 10; i < n; ++i)
        if (std::isfinite(t.levelDb[i]))
            tail.push_back(t.levelDb[i]);
    std::sort(tail.begin(), tail.end());
    const double floor = tail.empty() ? -1e9 : tail[tail.size() / 2];
    for (double share : {0.25, 0.5, 0.75}) {
        double x = share * endM;
        for (int tries = 0; tries < 20; ++tries) {
            bool near = false;
            for (const Sor::Event &e : t.keyEvents->events)
                near = near || std::abs(e.distanceM - x) < clear;
            if (!near)
                break;
            x += clear / 2;
        }
        if (x < clear || x > endM - clear)
            continue;
        const long at = std::lround((x - x0) / dx);
        const long reach = long(clear / dx);
        if (at - reach < 0 || at + reach >= long(n))
            continue;
        bool data = true;
        for (long i = at - reach; i <= at + reach && data; ++i)
            data = std::isfinite(t.levelDb[size_t(i)]) && t.levelDb[size_t(i)] > floor + 6;
        if (data)
            places.push_back(size_t(at));
    }
    return places;
}

void analyseFile(const QString &name, const Sor::Trace &t, bool withPlants, Figures &f)
{
    const double tolerance = std::max(Analysis::eventToleranceM(t), 3 * t.spacingM.value_or(0));
    QElapsedTimer timer;
    timer.start();
    const Analysis::Result r = Analysis::analyze(t);
    f.seconds += timer.nsecsElapsed() / 1e9;
    const QVector<Sor::Event> stored = t.keyEvents ? t.keyEvents->events : QVector<Sor::Event>();
    auto nearestFound = [&](double x) -> const Analysis::Event * {
        const Analysis::Event *best = nullptr;
        for (const Analysis::Event &e : r.events) {
            if (std::abs(e.distanceM - x) <= tolerance
                && (!best || std::abs(e.distanceM - x) < std::abs(best->distanceM - x)))
                best = &e;
        }
        return best;
    };
    std::optional<double> storedEnd;
    for (const Sor::Event &e : stored) {
        if (endEvent(e))
            storedEnd = e.distanceM;
        if (!counted(e, tolerance))
            continue;
        ++f.stored;
        const Analysis::Event *found = nearestFound(e.distanceM);
        if (!found)
            continue;
        ++f.found;
        if (!e.reflective() && !endEvent(e) && found->type != Analysis::EventType::End)
            f.lossError.push_back(std::abs(found->lossDb - e.lossDb));
    }
    if (storedEnd) {
        ++f.endsStored;
        if (r.fiberEndM && std::abs(*r.fiberEndM - *storedEnd) <= tolerance)
            ++f.endsFound;
        else
            f.missedEnds << QStringLiteral("%1 (%2 m, encontrado %3)")
                                .arg(name)
                                .arg(*storedEnd, 0, 'f', 0)
                                .arg(r.fiberEndM ? QString::number(*r.fiberEndM, 'f', 0)
                                                 : QStringLiteral("nenhum"));
    }
    for (const Analysis::Event &e : r.events) {
        const bool strong
            = (e.reflectanceDb && *e.reflectanceDb >= -50) || std::abs(e.lossDb) >= 0.3;
        if (!strong || e.type == Analysis::EventType::End)
            continue;
        bool known = false;
        for (const Sor::Event &s : stored)
            known = known || std::abs(s.distanceM - e.distanceM) <= tolerance;
        if (!known) {
            ++f.strongExtra;
            f.extras << QStringLiteral("%1 @%2 m").arg(name).arg(e.distanceM, 0, 'f', 0);
        }
    }
    f.undetermined += int(r.warnings.size());
    const QStringList impossible = impossibleValues(r);
    f.impossible += impossible.size();
    for (const QString &v : impossible)
        f.impossibles << name + QStringLiteral(": ") + v;
    if (!withPlants || !storedEnd || !t.spacingM)
        return;
    const size_t pulse
        = size_t(std::max(1.0, std::round((tolerance - 2 * *t.spacingM) / *t.spacingM)));
    for (size_t at : cleanPlaces(t, *storedEnd, tolerance)) {
        for (double loss : {0.1, 0.2, 0.5}) {
            Sor::Trace planted = t;
            plantSplice(planted, at, pulse, loss);
            const Analysis::Result p = Analysis::analyze(planted);
            const double x = planted.distanceM[at];
            ++f.planted;
            bool ok = false;
            const Analysis::Event *nearest = nullptr;
            for (const Analysis::Event &e : p.events) {
                ok = ok
                     || (std::abs(e.distanceM - x) <= tolerance
                         && std::abs(e.lossDb - loss) <= 0.05);
                if (!nearest || std::abs(e.distanceM - x) < std::abs(nearest->distanceM - x))
                    nearest = &e;
            }
            if (ok)
                ++f.plantedFound;
            else
                f.missedPlants << QStringLiteral("%1 %2 dB @%3 m (nearest %4 m, %5 dB)")
                                      .arg(name)
                                      .arg(loss)
                                      .arg(x, 0, 'f', 0)
                                      .arg(nearest ? nearest->distanceM : 0, 0, 'f', 0)
                                      .arg(nearest ? nearest->lossDb : 0, 0, 'f', 3);
        }
    }
}

double median(std::vector<double> v)
{
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QString share(int part, int whole)
{
    return QStringLiteral("%1 of %2 (%3 %)")
        .arg(part)
        .arg(whole)
        .arg(whole ? 100.0 * part / whole : 0, 0, 'f', 1);
}

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
    const QCommandLineOption namesOption("names", "Name the files behind each miss.");
    const QCommandLineOption plantOption(
        "plant", "Analyse FILE with a splice of DB dB planted at M metres.", "FILE,M,DB");
    parser.addOptions({tracesOption, listOption, namesOption, plantOption});
    parser.process(app);
    QTextStream out(stdout);
    if (parser.isSet(plantOption)) {
        const QStringList parts = parser.value(plantOption).split(QLatin1Char(','));
        Sor::Trace t = Sor::readFile(parts.value(0));
        const double at = parts.value(1).toDouble();
        const double pulseM = Analysis::eventToleranceM(t) - 2 * t.spacingM.value_or(1);
        const auto i = std::lower_bound(t.distanceM.begin(), t.distanceM.end(), at);
        if (parts.value(2).toDouble() != 0)
            plantSplice(t,
                        size_t(i - t.distanceM.begin()),
                        size_t(std::max(1.0, std::round(pulseM / *t.spacingM))),
                        parts.value(2).toDouble());
        const Analysis::Result r = Analysis::analyze(t);
        for (const Analysis::Event &e : r.events)
            out << QString::number(e.distanceM, 'f', 1) << " " << Analysis::typeName(e.type) << " "
                << QString::number(e.lossDb, 'f', 3) << "\n";
        return 0;
    }
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

    Figures f;
    for (const QString &path : files) {
        const Sor::Trace trace = Sor::readFile(path);
        if (trace.points() > 0)
            analyseFile(QDir(folder).relativeFilePath(path), trace, true, f);
    }
    out << "\nAnalysis against the files' own events\n\n";
    out << "| measure | value | goal |\n| --- | --- | --- |\n";
    out << "| stored events found (within pulse length + 2 samples) | " << share(f.found, f.stored)
        << " | >= 95 % |\n";
    out << "| fibre end found | " << share(f.endsFound, f.endsStored) << " | >= 95 % |\n";
    out << "| strong events the file does not store, per file | "
        << QString::number(double(f.strongExtra) / std::max<qsizetype>(1, files.size()), 'f', 2)
        << " | <= 0.3 |\n";
    out << "| loss error on found non-reflective events, median | "
        << QString::number(median(f.lossError), 'f', 3) << " dB | <= 0.03 dB |\n";
    out << "| impossible values | " << f.impossible << " | 0 |\n";
    out << "| values left out as not determined (with a warning) | " << f.undetermined << " | |\n";
    out << "| planted splices (0.1, 0.2, 0.5 dB) found, loss within 0.05 dB | "
        << share(f.plantedFound, f.planted) << " | >= 95 % |\n";
    out << "| analysis of the " << files.size() << " files | " << QString::number(f.seconds, 'f', 3)
        << " s | < 1 s |\n";
    if (parser.isSet(namesOption)) {
        out << "\nends missed: " << f.missedEnds.join(QStringLiteral("; ")) << "\n";
        out << "\nstrong events not stored: " << f.extras.join(QStringLiteral("; ")) << "\n";
        out << "\nimpossible values: " << f.impossibles.join(QStringLiteral("; ")) << "\n";
        out << "\nplanted splices missed: " << f.missedPlants.join(QStringLiteral("; ")) << "\n";
    }
    return 0;
}
