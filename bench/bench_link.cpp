// Shots of one fibre made one link, and splitters named, measured: on generated multi-pulse
// sets whose truth is known (every event once, from the right shot, its loss within 0.05 dB),
// on generated PON links (each splitter's ratio named right), and, when ../shared/traces is
// there, on the real pulse ladder (one end, the connector at 3.0 km once, every shot agreeing
// with the merged link within its own resolution) and the real PON traces (each big step named
// as a splitter, or why not).
#include "linkmerge/linkmerge.h"
#include "linkmerge/splitters.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "tracesim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using SorWriter::TrueEvent;

double uniform(std::mt19937 &random, double lo, double hi)
{
    return lo + (hi - lo) * double(random()) / 4294967296.0;
}

LinkMerge::Shot shotOf(const QString &name, const SorWriter::Trace &t)
{
    const Sor::Trace trace = Sor::openTrace(SorWriter::write(t)).trace;
    return LinkMerge::shotOf(name, trace, Analysis::analyze(trace));
}

struct Tally
{
    int events = 0;
    int once = 0;
    int rightShot = 0;
    int lossWithin = 0; // both bands within 0.05 dB
    int values = 0;
    int extra = 0; // merged events that match no true event
    int disagreements = 0;
    int ends = 0;
    std::vector<double> lossErrors;
};

// The multi-pulse set moved along the fibre by a random shift, each shot with its own noise.
void multiPulse(int sets, QTextStream &out)
{
    Tally t;
    QElapsedTimer timer;
    qint64 mergeNs = 0;
    for (int k = 0; k < sets; ++k) {
        std::mt19937 random(quint32(1000 + k));
        const double shift = uniform(random, 0, 600);
        QList<SorWriter::PulseShot> shots = SorWriter::multiPulseShots(quint32(100 + 10 * k));
        QVector<LinkMerge::Shot> merged;
        for (SorWriter::PulseShot &s : shots) {
            for (TrueEvent &e : s.simulation.events) {
                if (e.positionM > 0)
                    e.positionM += shift;
            }
            SorWriter::Trace trace = SorWriter::simulatedTrace(s.simulation);
            trace.lossThreshold = 50;
            trace.cableId = "CB-50";
            trace.fiberId = "F05";
            merged.append(shotOf(s.name, trace));
        }
        timer.start();
        const LinkMerge::Link link = LinkMerge::mergeShots(merged, Acceptance::Limits());
        mergeNs += timer.nsecsElapsed();
        t.disagreements += link.disagreements.size();
        if (qEnvironmentVariableIsSet("LINK_BENCH_SHOW")) {
            for (const LinkMerge::Disagreement &d : link.disagreements)
                out << "    set " << k << ": " << d.text << "\n";
            for (const LinkMerge::LinkEvent &e : link.events)
                out << "    set " << k << " event " << e.distanceM << " from "
                    << link.shots.at(e.placeShot).name << "\n";
        }
        t.ends += link.endM && std::abs(*link.endM - (26000 + shift)) <= 5 ? 1 : 0;
        const QList<TrueEvent> t1310 = SorWriter::multiPulseTruth(1310);
        const QList<TrueEvent> t1550 = SorWriter::multiPulseTruth(1550);
        QVector<bool> used(link.events.size(), false);
        for (int i = 0; i < t1310.size(); ++i) {
            const TrueEvent &e = t1310.at(i);
            if (e.kind == TrueEvent::End || e.positionM == 0)
                continue;
            const double at = e.positionM + shift;
            ++t.events;
            int found = -1, count = 0;
            for (int j = 0; j < link.events.size(); ++j) {
                if (std::abs(link.events.at(j).distanceM - at) <= 5) {
                    found = j;
                    ++count;
                }
            }
            if (count != 1)
                continue;
            ++t.once;
            used[found] = true;
            const LinkMerge::LinkEvent &m = link.events.at(found);
            // The right shot: the shortest pulse whose range holds the event (8 km for 20 ns).
            const int expected = at + 50 < 8000 ? 20 : 200;
            t.rightShot += link.shots.at(m.placeShot).pulseNs == expected ? 1 : 0;
            bool within = true;
            for (const auto &band : {std::make_pair(1310, t1310.at(i).lossDb),
                                     std::make_pair(1550, t1550.at(i).lossDb)}) {
                const LinkMerge::BandValue *v = m.valueAt(band.first);
                const double error = v && v->lossDb ? std::abs(*v->lossDb - band.second) : 99;
                t.lossErrors.push_back(error);
                within = within && error <= 0.05;
            }
            t.lossWithin += within ? 1 : 0;
        }
        for (int j = 0; j < link.events.size(); ++j) {
            const auto kind = link.events.at(j).kind;
            if (!used[j] && kind != LinkMerge::Kind::Launch && kind != LinkMerge::Kind::End)
                ++t.extra;
        }
    }
    std::sort(t.lossErrors.begin(), t.lossErrors.end());
    const auto pct = [](int a, int b) { return b ? QString::number(100.0 * a / b, 'f', 1) : "—"; };
    out << "multi-pulse sets: " << sets
        << " (6 shots each: 20, 200, 2000 ns at 1310 and 1550 nm)\n";
    out << "  true events " << t.events << ", found once " << pct(t.once, t.events)
        << " %, from the right shot " << pct(t.rightShot, t.once) << " %, loss within 0.05 dB at "
        << "both bands " << pct(t.lossWithin, t.once) << " %\n";
    out << "  loss error median "
        << QString::number(t.lossErrors.empty() ? 0 : t.lossErrors[t.lossErrors.size() / 2], 'f', 3)
        << " dB, 95 % "
        << QString::number(
               t.lossErrors.empty() ? 0 : t.lossErrors[t.lossErrors.size() * 95 / 100], 'f', 3)
        << " dB; events that are none " << t.extra << "; ends right " << t.ends << "/" << sets
        << "; disagreements " << t.disagreements << "\n";
    out << "  merge alone: " << QString::number(mergeNs / 1e6 / std::max(1, sets), 'f', 2)
        << " ms per set\n";
}

// Generated PON links: each splitter's loss the ideal share plus a random excess.
void pon(int links, QTextStream &out)
{
    const QList<QList<int>> kinds{{4}, {8}, {32}, {4, 8}};
    int splitters = 0, right = 0, links_ = 0, wholeLinks = 0;
    QStringList misses;
    for (const QList<int> &ways : kinds) {
        int kindRight = 0, kindCount = 0;
        for (int k = 0; k < links; ++k) {
            std::mt19937 random(quint32(5000 + 97 * k + ways.size() * 13 + ways.first()));
            QList<double> losses;
            for (int w : ways)
                losses << 10 * std::log10(double(w))
                              + uniform(random, 0.2, 0.4 + 0.15 * std::log2(double(w)));
            const LinkMerge::Link link = LinkMerge::mergeShots(
                {shotOf("pon.sor",
                        SorWriter::ponTrace(SorWriter::ponLink(losses, quint32(300 + k))))},
                Acceptance::Limits());
            QList<int> named;
            for (const LinkMerge::LinkEvent &e : link.events) {
                if (e.kind == LinkMerge::Kind::Splitter)
                    named << *e.splitterWays;
            }
            ++links_;
            wholeLinks += named == ways ? 1 : 0;
            for (int i = 0; i < ways.size(); ++i) {
                ++splitters;
                ++kindCount;
                bool ok = false;
                for (const LinkMerge::LinkEvent &e : link.events) {
                    ok = ok
                         || (std::abs(e.distanceM - SorWriter::ponSplitterM(i)) <= 15
                             && e.splitterWays == ways.at(i));
                }
                right += ok;
                kindRight += ok;
                if (!ok && misses.size() < 5)
                    misses << QStringLiteral("1:%1 of %2 dB")
                                  .arg(ways.at(i))
                                  .arg(losses.at(i), 0, 'f', 2);
            }
        }
        QStringList w;
        for (int x : ways)
            w << QStringLiteral("1:%1").arg(x);
        out << "  " << w.join(" + ") << ": " << kindRight << "/" << kindCount << " named right\n";
    }
    out << "PON links: " << links_ << ", splitters named right " << right << "/" << splitters
        << " (" << QString::number(100.0 * right / splitters, 'f', 1) << " %), links wholly right "
        << wholeLinks << "/" << links_ << "\n";
    if (!misses.isEmpty())
        out << "  missed: " << misses.join(", ") << "\n";
}

QStringList filesNamed(const QString &root, const QStringList &patterns)
{
    QStringList found;
    QDirIterator it(root, patterns, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    std::sort(found.begin(), found.end());
    return found;
}

LinkMerge::Shot realShot(const QString &path)
{
    const Sor::Trace trace = Sor::openTrace(path).trace;
    return LinkMerge::shotOf(QFileInfo(path).fileName(), trace, Analysis::analyze(trace));
}

// The pulse ladder: twelve shots of one fibre.
void ladder(const QString &root, QTextStream &out)
{
    const QStringList files = filesNamed(root, {"1310_*ns.sor", "1550_*ns.sor"});
    if (files.size() != 12) {
        out << "pulse ladder: skipped (" << files.size() << " of its 12 files found)\n";
        return;
    }
    QVector<LinkMerge::Shot> shots;
    for (const QString &f : files)
        shots.append(realShot(f));
    const QString problem = LinkMerge::oneFibreProblem(shots, false);
    if (!problem.isEmpty()) {
        out << "pulse ladder: refused: " << problem << "\n";
        return;
    }
    const LinkMerge::Link link = LinkMerge::mergeShots(shots, Acceptance::Limits());
    int ends = 0;
    const LinkMerge::LinkEvent *connector = nullptr;
    int connectors = 0;
    for (const LinkMerge::LinkEvent &e : link.events) {
        ends += e.kind == LinkMerge::Kind::End;
        if (e.kind != LinkMerge::Kind::End && std::abs(e.distanceM - 3000) <= 150) {
            connector = &e;
            ++connectors;
        }
    }
    out << "pulse ladder (12 shots, 20 to 3000 ns, 1310 and 1550 nm): " << link.events.size()
        << " events, " << ends << " end at "
        << (link.endM ? Sor::kilometres(*link.endM) : QStringLiteral("—"))
        << "; events near 3.0 km: " << connectors << "\n";
    if (connector) {
        for (const LinkMerge::BandValue &v : connector->bands) {
            // The shots of the band that resolve it: those whose own event there gives a loss.
            double worst = 0;
            QStringList each;
            for (const LinkMerge::Reading &r : connector->readings) {
                if (link.shots.at(r.shot).band != v.band || !r.lossDb || !v.lossDb)
                    continue;
                worst = std::max(worst, std::abs(*r.lossDb - *v.lossDb));
                each << QStringLiteral("%1 ns %2")
                            .arg(link.shots.at(r.shot).pulseNs)
                            .arg(*r.lossDb, 0, 'f', 3);
            }
            out << "  connector at " << Sor::kilometres(connector->distanceM) << ", " << v.band
                << " nm: merged " << (v.lossDb ? QString::number(*v.lossDb, 'f', 3) : "—")
                << " dB from " << link.shots.at(v.shot).name
                << "; shots reading it: " << each.join(", ") << "; largest difference "
                << QString::number(worst, 'f', 3) << " dB\n";
        }
    }
    // Every shot agrees with the merged link within its own resolution: each of its events
    // (past its dead zone, within its reach) lies on a merged event.
    int agreeing = 0;
    for (int si = 0; si < link.shots.size(); ++si) {
        const LinkMerge::Shot &s = link.shots.at(si);
        QStringList off;
        for (const Analysis::Event &e : s.analysis.events) {
            if (!e.lossMeasured || e.distanceM < s.deadZoneM)
                continue;
            bool on = false;
            for (const LinkMerge::LinkEvent &m : link.events)
                on = on || std::abs(m.distanceM - e.distanceM) <= s.resolutionM;
            if (!on)
                off << Sor::kilometres(e.distanceM);
        }
        agreeing += off.isEmpty();
        if (!off.isEmpty())
            out << "  " << s.name << " has events the link has not: " << off.join(", ") << "\n";
    }
    out << "  shots agreeing with the merged link within their resolution: " << agreeing << "/"
        << link.shots.size() << "; disagreements listed: " << link.disagreements.size() << "\n";
    for (const LinkMerge::Disagreement &d : link.disagreements)
        out << "    " << d.text << "\n";
    for (const QString &n : link.notes)
        out << "  note: " << n << "\n";
}

// The real PON traces: each step of 2.5 dB or more named as a splitter, or why not.
void realPon(const QString &root, QTextStream &out)
{
    const QStringList files = filesNamed(root, {"PON_*.sor", "St4.sor"});
    if (files.isEmpty()) {
        out << "real PON traces: skipped (none found)\n";
        return;
    }
    out << "real PON traces: " << files.size() << "\n";
    for (const QString &f : files) {
        const LinkMerge::Shot shot = realShot(f);
        const LinkMerge::Link link = LinkMerge::mergeShots({shot}, Acceptance::Limits());
        QStringList said;
        for (const LinkMerge::LinkEvent &e : link.events) {
            const std::optional<double> loss = e.lossDb();
            if (e.kind == LinkMerge::Kind::Splitter)
                said << QStringLiteral("%1 km: %2 dB, splitter %3")
                            .arg(e.distanceM / 1000, 0, 'f', 3)
                            .arg(*loss, 0, 'f', 2)
                            .arg(LinkMerge::ratioText(*e.splitterWays));
            else if (loss && *loss >= LinkMerge::SmallestSplitterStepDb)
                said << QStringLiteral("%1 km: not a splitter: %2")
                            .arg(e.distanceM / 1000, 0, 'f', 3)
                            .arg(e.whyNoSplitter);
        }
        // The analysis' end and the drop it takes there.
        for (const Analysis::Event &e : shot.analysis.events) {
            if (e.type == Analysis::EventType::End && e.lossDb >= LinkMerge::SmallestSplitterStepDb)
                said << QStringLiteral("%1 km: the end (a drop of %2 dB into the floor, no "
                                       "backscatter past it)")
                            .arg(e.distanceM / 1000, 0, 'f', 3)
                            .arg(e.lossDb, 0, 'f', 2);
        }
        for (const QString &w : shot.analysis.warnings) {
            if (w.contains(QStringLiteral("perde mais")) || w.contains(QStringLiteral("20")))
                said << QStringLiteral("left out by the analysis: ") + w;
        }
        out << "  " << QFileInfo(f).fileName() << ": "
            << (said.isEmpty() ? QStringLiteral("no step of 2.5 dB or more") : said.join("; "))
            << "\n";
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption setsOption("sets", "Generated multi-pulse sets.", "N", "20");
    const QCommandLineOption linksOption("links", "Generated PON links of each kind.", "N", "100");
    const QCommandLineOption tracesOption(
        "traces", "Real traces' folder.", "DIR", QStringLiteral(OTDR_FIELD_TRACES));
    parser.addOptions({setsOption, linksOption, tracesOption});
    parser.process(app);
    QTextStream out(stdout);
    QElapsedTimer timer;
    timer.start();
    multiPulse(parser.value(setsOption).toInt(), out);
    pon(parser.value(linksOption).toInt(), out);
    const QString root = parser.value(tracesOption);
    if (QDir(root).exists()) {
        ladder(root, out);
        realPon(root, out);
    } else {
        out << "real traces: skipped: " << QDir::cleanPath(root) << " not found\n";
    }
    out << "total: " << QString::number(timer.elapsed() / 1000.0, 'f', 1) << " s\n";
    return 0;
}
