// Real traces (../shared/traces beside the project, or --traces DIR), set by set (each folder
// under it: one maker's field traces, other makers' traces) and maker by maker within a set:
// whether each file's own reflective events lie on the reflections in its points once the
// reader has put both on one axis; then the analysis against each file's own events, and
// against splices written into the files' own points. Prints tables; skips with a message when
// the folder is not there, since a fresh clone has no real traces.

#include "analysis/analysis.h"
#include "analysis/eventaxis.h"
#include "onefibre/onefibre.h"
#include "plant.h"
#include "sor/sorreader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <deque>

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
    QStringList missedEvents;
    QStringList missedEnds;
    QStringList extras;
    QStringList impossibles;
    QStringList missedPlants;

    void add(const Figures &o)
    {
        stored += o.stored;
        found += o.found;
        endsStored += o.endsStored;
        endsFound += o.endsFound;
        strongExtra += o.strongExtra;
        impossible += o.impossible;
        undetermined += o.undetermined;
        lossError.insert(lossError.end(), o.lossError.begin(), o.lossError.end());
        planted += o.planted;
        plantedFound += o.plantedFound;
        seconds += o.seconds;
        missedEvents += o.missedEvents;
        missedEnds += o.missedEnds;
        extras += o.extras;
        impossibles += o.impossibles;
        missedPlants += o.missedPlants;
    }
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

// Values no fibre has, among what the analysis reports as results: totals out of range, and
// events or an end outside the span (before its start or past the last point), losing more than
// 20 dB or gaining more than 5 dB.
QStringList impossibleValues(const Sor::Trace &t, const Analysis::Result &r)
{
    QStringList found;
    if (r.totalLossDb && *r.totalLossDb < 0)
        found << QStringLiteral("perda total %1 dB").arg(*r.totalLossDb, 0, 'f', 2);
    if (r.orlDb && (*r.orlDb < 10 || *r.orlDb > 80))
        found << QStringLiteral("ORL %1 dB").arg(*r.orlDb, 0, 'f', 2);
    if (r.fiberEndM && !r.events.empty() && *r.fiberEndM < r.events.front().distanceM)
        found << QStringLiteral("fim antes do primeiro evento");
    const double slack = t.spacingM.value_or(0) + 1e-6;
    const double first = t.offsets && t.offsets->applied ? 0.0 : t.distanceM.front();
    const double last = t.distanceM.back();
    if (r.fiberEndM && (*r.fiberEndM <= first || *r.fiberEndM > last + slack))
        found << QStringLiteral("fim em %1 m, fora do enlace").arg(*r.fiberEndM, 0, 'f', 1);
    double from = r.events.empty() ? 0 : std::min(0.0, r.events.front().distanceM);
    for (size_t k = 0; k < r.events.size(); ++k) {
        const Analysis::Event &e = r.events[k];
        // A deep step is a splitter's where a fibre's backscatter follows it.
        const double next = k + 1 < r.events.size() ? r.events[k + 1].distanceM : HUGE_VAL;
        const bool fibreAfter
            = std::any_of(r.sections.begin(), r.sections.end(), [&](const Analysis::Section &s) {
                  return s.kind == Analysis::SectionKind::Fibre && s.startM >= e.distanceM
                         && s.startM < next;
              });
        const double length = e.distanceM - from;
        if (e.attenuationDbKm && length >= 1000
            && (*e.attenuationDbKm < 0.1 || *e.attenuationDbKm > 1.5))
            found << QStringLiteral("atenuação %1 dB/km antes de %2 m")
                         .arg(*e.attenuationDbKm, 0, 'f', 3)
                         .arg(e.distanceM, 0, 'f', 0);
        if (e.distanceM < first - slack || e.distanceM > last + slack)
            found << QStringLiteral("evento em %1 m, fora do enlace").arg(e.distanceM, 0, 'f', 1);
        if (e.reflectanceDb && *e.reflectanceDb > 0)
            found << QStringLiteral("evento em %1 m reflete %2 dB")
                         .arg(e.distanceM, 0, 'f', 0)
                         .arg(*e.reflectanceDb, 0, 'f', 1);
        if (e.type != Analysis::EventType::End && e.lossMeasured
            && ((e.lossDb > 20 && !fibreAfter) || e.lossDb < -5))
            found << QStringLiteral("evento em %1 m perde %2 dB")
                         .arg(e.distanceM, 0, 'f', 0)
                         .arg(e.lossDb, 0, 'f', 2);
        from = e.distanceM;
    }
    return found;
}

// A planted splice counts where it stands this many step noises clear.
constexpr double MeasurableSteps = 5;

void analyseFile(const QString &name, const Sor::Trace &t, bool withPlants, Figures &f)
{
    const double tolerance = std::max(Sor::eventToleranceM(t), 3 * t.spacingM.value_or(0));
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
        if (!found) {
            f.missedEvents << QStringLiteral("%1 @%2 m (%3 dB, %4)")
                                  .arg(name)
                                  .arg(e.distanceM, 0, 'f', 0)
                                  .arg(e.lossDb, 0, 'f', 3)
                                  .arg(e.code);
            continue;
        }
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
    // A file without an event table says nothing of what its trace holds: nothing is extra.
    for (const Analysis::Event &e : t.keyEvents ? r.events : std::vector<Analysis::Event>()) {
        const bool strong
            = (e.reflectanceDb && *e.reflectanceDb >= -50) || std::abs(e.lossDb) >= 0.3;
        // The launch's own zone counts for neither side: a file may or may not store its
        // front connector.
        if (!strong || e.type == Analysis::EventType::End || e.distanceM <= tolerance)
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
    const QStringList impossible = impossibleValues(t, r);
    f.impossible += impossible.size();
    for (const QString &v : impossible)
        f.impossibles << name + QStringLiteral(": ") + v;
    if (!withPlants || !storedEnd || !t.spacingM)
        return;
    const size_t pulse
        = size_t(std::max(1.0, std::round((tolerance - 2 * *t.spacingM) / *t.spacingM)));
    // A splice under the loss threshold the file's instrument used is no event by design.
    const double threshold = Analysis::thresholdsFor(t).lossDb;
    for (size_t at : Plant::cleanPlaces(t, *storedEnd, tolerance)) {
        const double noise = Plant::stepNoiseAt(t, at, pulse);
        for (double loss : {0.1, 0.2, 0.5}) {
            if (loss < threshold || loss < MeasurableSteps * noise)
                continue;
            Sor::Trace planted = t;
            Plant::plantSplice(planted, at, pulse, loss);
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

QString percent(int part, int whole)
{
    return whole ? QStringLiteral("%1/%2 (%3 %)")
                       .arg(part)
                       .arg(whole)
                       .arg(100.0 * part / whole, 0, 'f', 0)
                 : QStringLiteral("-");
}

// Far enough to find a launch reel's kilometre and one maker's 1,071 m.
constexpr double SearchM = 1500;

QString metres(const std::optional<double> &m)
{
    return m ? QString::number(*m, 'f', 1) : QStringLiteral("-");
}

// The maker a file names (SupParams' supplier), compared without regard to case or spaces.
QString makerOf(const Sor::Trace &t)
{
    const QString supplier = t.supplier ? t.supplier->supplier.simplified() : QString();
    return supplier.isEmpty() ? QStringLiteral("(unnamed)") : supplier;
}

void eventAxis(const QString &folder, const QStringList &files, bool list, QTextStream &out)
{
    int judged = 0;
    int onAxis = 0;
    int movedFiles = 0;
    double worstRaw = 0;
    double worst = 0;
    QStringList off;
    if (list)
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
        const double tolerance = Sor::eventToleranceM(trace);
        const QString name = QDir(folder).relativeFilePath(path);
        if (list) {
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
}

void summary(const Figures &f, int files, QTextStream &out)
{
    out << "| measure | value | goal (field set; other makers) |\n| --- | --- | --- |\n";
    out << "| stored events found (within pulse length + 2 samples) | " << share(f.found, f.stored)
        << " | >= 95 %; >= 90 % |\n";
    out << "| fibre end found | " << share(f.endsFound, f.endsStored) << " | >= 95 %; >= 90 % |\n";
    out << "| strong events the file does not store, per file | "
        << QString::number(double(f.strongExtra) / std::max(1, files), 'f', 2)
        << " | <= 0.3; <= 0.5 |\n";
    out << "| loss error on found non-reflective events, median | "
        << QString::number(median(f.lossError), 'f', 3) << " dB | <= 0.03 dB |\n";
    out << "| impossible values | " << f.impossible << " | 0 |\n";
    out << "| values left out as not determined (with a warning) | " << f.undetermined << " | |\n";
    out << "| planted splices (0.1, 0.2, 0.5 dB) found, loss within 0.05 dB | "
        << share(f.plantedFound, f.planted) << " | >= 95 % |\n";
    out << "| analysis of the " << files << " files, one core | "
        << QString::number(f.seconds, 'f', 3) << " s | |\n";
}

void names(const Figures &f, QTextStream &out)
{
    out << "\nstored events missed: " << f.missedEvents.join(QStringLiteral("; ")) << "\n";
    out << "\nends missed: " << f.missedEnds.join(QStringLiteral("; ")) << "\n";
    out << "\nstrong events not stored: " << f.extras.join(QStringLiteral("; ")) << "\n";
    out << "\nimpossible values: " << f.impossibles.join(QStringLiteral("; ")) << "\n";
    out << "\nplanted splices missed: " << f.missedPlants.join(QStringLiteral("; ")) << "\n";
}

// Shots of one fibre in a set: files of one folder with the same instrument, cable and fibre
// ids and comment (a pulse ladder, two wavelengths saved together, shots repeated), kept where
// their ends do not say they are two fibres. Each group's agreement: every event of 0.3 dB or
// reflecting in each shot whose pulse resolves it, one end within the coarsest resolution.
void oneFibre(const QString &folder, const QStringList &files, QTextStream &out)
{
    std::deque<Sor::Trace> traces;
    QMap<QString, std::vector<OneFibre::Shot>> groups;
    for (const QString &path : files) {
        traces.push_back(Sor::readFile(path));
        const Sor::Trace &t = traces.back();
        if (t.points() == 0 || !t.general)
            continue;
        const QString key = QFileInfo(path).path() + QLatin1Char('|') + makerOf(t)
                            + QLatin1Char('|') + t.general->cableId + QLatin1Char('|')
                            + t.general->fiberId + QLatin1Char('|') + t.general->comment
                            + QLatin1Char('|') + t.general->locationA;
        groups[key].push_back({QDir(folder).relativeFilePath(path), &t, Analysis::analyze(t)});
    }
    out << "| group | shots | events that agree | ends (spread, tolerance) | one story |\n"
           "| --- | --- | --- | --- | --- |\n";
    int told = 0;
    int oneStory = 0;
    for (const std::vector<OneFibre::Shot> &shots : groups) {
        if (shots.size() < 2 || !OneFibre::notOneFibre(shots, true).isEmpty())
            continue;
        const OneFibre::Agreement a = OneFibre::compare(shots);
        const auto agreeing = std::count_if(a.features.begin(),
                                            a.features.end(),
                                            [](const OneFibre::Feature &f) { return f.agrees; });
        ++told;
        oneStory += a.oneStory();
        out << "| " << shots.front().name << " and others | " << shots.size() << " | " << agreeing
            << "/" << a.features.size() << " | " << (a.endsAgree ? "agree" : "disagree") << " ("
            << QString::number(a.endSpreadM, 'f', 1) << " m, "
            << QString::number(a.toleranceM, 'f', 1) << " m) | "
            << (a.oneStory() ? "yes" : "no: " + a.disagreements.join(QStringLiteral("; ")))
            << " |\n";
    }
    out << "\nGroups of shots of one fibre telling one story: " << oneStory << " of " << told
        << "\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption tracesOption(
        "traces",
        "The folder of real traces: each folder under it is a set (or it is one set itself).",
        "DIR",
        QStringLiteral(OTDR_FIELD_TRACES));
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
        const double pulseM = Sor::eventToleranceM(t) - 2 * t.spacingM.value_or(1);
        const auto i = std::lower_bound(t.distanceM.begin(), t.distanceM.end(), at);
        if (parts.value(2).toDouble() != 0)
            Plant::plantSplice(t,
                               size_t(i - t.distanceM.begin()),
                               size_t(std::max(1.0, std::round(pulseM / *t.spacingM))),
                               parts.value(2).toDouble());
        const Analysis::Result r = Analysis::analyze(t);
        for (const Analysis::Event &e : r.events)
            out << QString::number(e.distanceM, 'f', 1) << " " << Analysis::typeName(e.type) << " "
                << QString::number(e.lossDb, 'f', 3) << "\n";
        return 0;
    }
    const QString root = QDir::cleanPath(parser.value(tracesOption));
    if (!QDir(root).exists()) {
        out << "skipped: " << root << " not found\n";
        return 0;
    }
    QStringList sets;
    for (const QString &name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        sets << QDir(root).filePath(name);
    if (sets.isEmpty())
        sets << root;
    Figures everything;
    int everyFile = 0;
    for (const QString &folder : sets) {
        const QStringList files = Plant::tracesIn(folder);
        if (files.isEmpty())
            continue;
        out << "\n## " << QDir(root).relativeFilePath(folder) << ": " << files.size()
            << " real traces\n\nEvent axis\n\n";
        eventAxis(folder, files, parser.isSet(listOption), out);
        QMap<QString, Figures> perMaker;
        QMap<QString, int> filesPerMaker;
        QMap<QString, QString> makerName;
        for (const QString &path : files) {
            const Sor::Trace trace = Sor::readFile(path);
            if (trace.points() == 0)
                continue;
            const QString maker = makerOf(trace);
            const QString key = maker.toLower().remove(QLatin1Char(' '));
            makerName.insert(key, maker);
            ++filesPerMaker[key];
            analyseFile(QDir(folder).relativeFilePath(path), trace, true, perMaker[key]);
        }
        Figures all;
        out << "\nAnalysis against the files' own events, by maker (SupParams' supplier)\n\n";
        out << "| maker | files | stored events found | fibre end found | strong events not "
               "stored, per file | impossible values | planted splices found |\n"
               "| --- | --- | --- | --- | --- | --- | --- |\n";
        for (auto it = perMaker.cbegin(); it != perMaker.cend(); ++it) {
            const Figures &f = it.value();
            const int count = filesPerMaker.value(it.key());
            out << "| " << makerName.value(it.key()) << " | " << count << " | "
                << percent(f.found, f.stored) << " | " << percent(f.endsFound, f.endsStored)
                << " | " << QString::number(double(f.strongExtra) / count, 'f', 2) << " | "
                << f.impossible << " | " << percent(f.plantedFound, f.planted) << " |\n";
            all.add(f);
        }
        out << "\nThe whole set\n\n";
        summary(all, files.size(), out);
        if (parser.isSet(namesOption))
            names(all, out);
        everything.add(all);
        everyFile += files.size();
        out << "\nShots of one fibre against each other\n\n";
        oneFibre(folder, files, out);
    }
    out << "\n## Every set together\n\n";
    out << "| measure | value | goal |\n| --- | --- | --- |\n";
    out << "| analysis of the " << everyFile << " files, one core | "
        << QString::number(everything.seconds, 'f', 3) << " s | < 2 s |\n";
    return 0;
}
