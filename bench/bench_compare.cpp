// What changed since the as-built, on real traces and on a large generated job:
// - a change of 0.3 and 0.5 dB written into each real trace's own points at a clean place (with
//   the trace's own point noise drawn afresh, as a second measurement has it): found within the
//   tolerance, its size within 0.05 dB, nothing else listed;
// - each real trace cut short at a clean place (its points after it the trace's own floor, its
//   event table ending there): one break, where it is cut;
// - each real trace with its axis moved by a user offset, and saved again without its events:
//   one measurement, "sem mudança";
// - a folder of generated fibre pairs read and compared, timed.
#include "baseline/baseline.h"
#include "plant.h"
#include "sor/sorreader.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>

namespace {

struct Figures
{
    int traces = 0;
    int planted = 0;
    int plantedFound = 0;
    int plantedQuiet = 0; // nothing else listed
    int cut = 0;
    int cutFound = 0;
    int moved = 0;
    int movedSame = 0;
    QStringList misses;
};

// The point-to-point noise of a trace where it is clean: from second differences.
double pointNoise(const Sor::Trace &t, size_t from, size_t to)
{
    std::vector<double> d;
    for (size_t i = from + 1; i + 1 < to && i + 1 < t.levelDb.size(); ++i) {
        const double v = t.levelDb[i - 1] - 2 * t.levelDb[i] + t.levelDb[i + 1];
        if (std::isfinite(v))
            d.push_back(std::abs(v));
    }
    if (d.empty())
        return 0;
    std::nth_element(d.begin(), d.begin() + long(d.size() / 2), d.end());
    return 1.4826 * d[d.size() / 2] / std::sqrt(6.0);
}

void measure(const QString &path, Figures &f, QRandomGenerator &random)
{
    const Sor::Opened opened = Sor::openTrace(path);
    if (!opened.usable() || !opened.trace.spacingM || opened.trace.levelDb.size() < 1000)
        return;
    const Sor::Trace &t = opened.trace;
    const Acceptance::Link link = Acceptance::fileLink(t);
    if (!link.lengthM || !t.keyEvents)
        return;
    ++f.traces;
    const Baseline::Comparison same = Baseline::compare(t, t, {});
    const double tolerance = same.toleranceM;
    const int pulseNs
        = t.fixed && !t.fixed->pulseWidthsNs.isEmpty() ? t.fixed->pulseWidthsNs.first() : 0;
    const size_t pulse = std::max<size_t>(
        1,
        size_t(std::lround(Sor::pulseLengthM(pulseNs, t.groupIndex.value_or(Sor::DefaultGroupIndex))
                           / *t.spacingM)));
    const QString name = QFileInfo(path).fileName();
    for (size_t at : Plant::cleanPlaces(t, *link.lengthM, tolerance)) {
        const double noise = Plant::stepNoiseAt(t, at, pulse);
        const double sigma
            = pointNoise(t, at > 2000 ? at - 2000 : 0, std::min(t.levelDb.size(), at + 2000));
        for (double db : {0.3, 0.5}) {
            // Measurable: the comparison's own rule (five deviations of its step) with both
            // traces' noise in the difference.
            if (db < 5 * noise * std::sqrt(2.0))
                continue;
            Sor::Trace now = t;
            Plant::plantSplice(now, at, pulse, db);
            for (double &level : now.levelDb)
                if (std::isfinite(level))
                    level += sigma * (random.generateDouble() * 2 - 1) * std::sqrt(3.0);
            const Baseline::Comparison c = Baseline::compare(t, now, {});
            ++f.planted;
            const double x = t.distanceM[at];
            bool found = false;
            for (const Baseline::Change &change : c.changes) {
                if (std::abs(change.distanceM - x) <= c.toleranceM && change.delta
                    && std::abs(*change.delta - db) <= 0.05)
                    found = true;
            }
            f.plantedFound += found ? 1 : 0;
            const bool quiet = c.changes.size() == (found ? 1 : 0);
            f.plantedQuiet += found && quiet ? 1 : 0;
            if (!found || !quiet) {
                QStringList said;
                for (const Baseline::Change &change : c.changes)
                    said << change.text;
                said.prepend(QStringLiteral("deslocamento %1 m, níveis %2 dB")
                                 .arg(c.shiftM)
                                 .arg(c.difference.levelShiftDb));
                f.misses << QStringLiteral("%1: %2 dB a %3 m: %4")
                                .arg(name)
                                .arg(db)
                                .arg(x, 0, 'f', 0)
                                .arg(said.isEmpty() ? QStringLiteral("nada")
                                                    : said.join(QStringLiteral("; ")));
            }
        }
    }
    // Cut short at the middle clean place: the floor after it, the events up to it.
    const std::vector<size_t> places = Plant::cleanPlaces(t, *link.lengthM, tolerance);
    if (!places.empty()) {
        const size_t at = places[places.size() / 2];
        Sor::Trace broken = t;
        const size_t n = t.levelDb.size();
        for (size_t i = at; i < n; ++i)
            broken.levelDb[i] = t.levelDb[n - 1 - (i - at) % std::max<size_t>(1, n / 10)];
        QVector<Sor::Event> kept;
        for (const Sor::Event &e : t.keyEvents->events) {
            if (e.distanceM < t.distanceM[at] && !e.code.contains(QLatin1Char('E')))
                kept << e;
        }
        Sor::Event end;
        end.number = int(kept.size()) + 1;
        end.distanceM = t.distanceM[at];
        end.code = QStringLiteral("0E9999");
        kept << end;
        broken.keyEvents->events = kept;
        const Baseline::Comparison c = Baseline::compare(t, broken, {});
        ++f.cut;
        const bool found
            = std::any_of(c.changes.cbegin(), c.changes.cend(), [&](const auto &change) {
                  return change.kind == Baseline::Kind::End
                         && std::abs(*change.after - t.distanceM[at]) <= c.toleranceM;
              });
        f.cutFound += found ? 1 : 0;
        if (!found)
            f.misses << QStringLiteral("%1: cortado a %2 m, não visto")
                            .arg(name)
                            .arg(t.distanceM[at], 0, 'f', 0);
    }
    // The same points on another axis, and without events: one measurement.
    Sor::Trace moved = t;
    for (double &x : moved.distanceM)
        x += 500;
    Sor::Trace bare = t;
    bare.keyEvents.reset();
    for (const Sor::Trace *other : {&moved, &bare}) {
        ++f.moved;
        const Baseline::Comparison c = Baseline::compare(t, *other, {});
        f.movedSame += c.samePoints && !c.changed() ? 1 : 0;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Compares real traces with changes written into them, and a folder of generated pairs."));
    parser.addHelpOption();
    const QCommandLineOption traces(QStringLiteral("traces"),
                                    QStringLiteral("Folder of the real traces."),
                                    QStringLiteral("DIR"),
                                    QStringLiteral(OTDR_FIELD_TRACES));
    const QCommandLineOption pairs(QStringLiteral("pairs"),
                                   QStringLiteral("Generated fibre pairs to compare (0: none)."),
                                   QStringLiteral("N"),
                                   QStringLiteral("48"));
    const QCommandLineOption names(QStringLiteral("names"), QStringLiteral("Name each miss."));
    parser.addOptions({traces, pairs, names});
    parser.process(app);
    QTextStream out(stdout);
    const QString root = parser.value(traces);
    if (!QDir(root).exists()) {
        out << "skipped real traces: " << root << " not found\n";
    } else {
        for (const QString &set : {QStringLiteral("field"), QStringLiteral("makers")}) {
            const QStringList files = Plant::tracesIn(QDir(root).filePath(set));
            Figures f;
            QRandomGenerator random(42);
            QElapsedTimer timer;
            timer.start();
            for (const QString &file : files)
                measure(file, f, random);
            out << set << ": " << f.traces << " traces with events and an end (of " << files.size()
                << ")\n";
            out << set
                << ": planted 0.3/0.5 dB changes found, size within 0.05 dB: " << f.plantedFound
                << " of " << f.planted << "; with nothing else listed: " << f.plantedQuiet << "\n";
            out << set << ": traces cut short, the break found where cut: " << f.cutFound << " of "
                << f.cut << "\n";
            out << set
                << ": one measurement (axis moved, events dropped) said unchanged: " << f.movedSame
                << " of " << f.moved << "\n";
            out << set << ": " << QString::number(timer.elapsed() / 1000.0, 'f', 2) << " s\n";
            if (parser.isSet(names))
                for (const QString &miss : f.misses)
                    out << "  " << miss << "\n";
        }
    }
    const int n = parser.value(pairs).toInt();
    if (n <= 0)
        return 0;
    // A job's folders: each fibre as built and measured again months later, one in ten changed.
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("base"));
    QDir(dir.path()).mkdir(QStringLiteral("agora"));
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < n; ++i) {
        for (int later = 0; later < 2; ++later) {
            SorWriter::Simulation s;
            s.spacingM = 1;
            s.points = 40000;
            s.pulseNs = 100;
            s.launchSnrDb = 34;
            s.seed = quint32(2 * i + later + 1);
            s.events = {{SorWriter::TrueEvent::Step, 9000, 0.1},
                        {SorWriter::TrueEvent::Step, 21000, 0.12},
                        {SorWriter::TrueEvent::End, 36000, 0, -14}};
            if (later && i % 10 == 0)
                s.events.insert(1, SorWriter::TrueEvent(SorWriter::TrueEvent::Step, 15000, 0.4));
            QFile f(QStringLiteral("%1/%2/f%3.sor")
                        .arg(dir.path(), later ? QStringLiteral("agora") : QStringLiteral("base"))
                        .arg(i));
            f.open(QIODevice::WriteOnly);
            f.write(SorWriter::write(SorWriter::simulatedTrace(s, true)));
        }
    }
    out << "generated: " << n << " pairs of 40000 points written in "
        << QString::number(timer.elapsed() / 1000.0, 'f', 1) << " s\n";
    timer.restart();
    int changed = 0;
    qint64 reading = 0;
    QElapsedTimer part;
    for (int i = 0; i < n; ++i) {
        part.start();
        const Sor::Opened a
            = Sor::openTrace(QStringLiteral("%1/base/f%2.sor").arg(dir.path()).arg(i));
        const Sor::Opened b
            = Sor::openTrace(QStringLiteral("%1/agora/f%2.sor").arg(dir.path()).arg(i));
        reading += part.nsecsElapsed();
        changed += Baseline::compare(a.trace, b.trace, {}).changed() ? 1 : 0;
    }
    out << "generated: " << n << " pairs read and compared in "
        << QString::number(timer.elapsed() / 1000.0, 'f', 2) << " s (reading "
        << QString::number(reading / 1e9, 'f', 2) << " s); " << changed << " changed ("
        << (n + 9) / 10 << " were)\n";
    return 0;
}
