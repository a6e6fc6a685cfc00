#include "cable/cableparts.h"

#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace Cable {

namespace {

// A measurement's events on A's axis: B's mirrored over its own length.
QVector<Witness> witnessesOf(const File &f)
{
    QVector<Witness> at;
    const Acceptance::Link link = Acceptance::fileLink(f.trace);
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (e.end || e.marker || e.pastEnd)
            continue;
        at.append(
            {f.end == QLatin1Char('A') || !link.lengthM ? e.distanceM : *link.lengthM - e.distanceM,
             f.end,
             e.reflective});
    }
    return at;
}

// The usable files by fibre, band and end (A, B), and the tolerance from the coarsest of them.
struct Grouped
{
    QVector<const File *> usable;
    QMap<QString, QMap<int, QPair<const File *, const File *>>> byFibre;
    double toleranceM = 0;
    QVector<int> bands; // ascending
};

Grouped grouped(const QVector<File> &files, const Options &o)
{
    Grouped g;
    g.toleranceM = o.toleranceM;
    QSet<int> bands;
    for (const File &f : files) {
        if (!f.problem.isEmpty() || f.repeated)
            continue;
        g.usable << &f;
        bands.insert(f.bandNm);
        auto &ends = g.byFibre[f.fiber][f.bandNm];
        (f.end == QLatin1Char('A') ? ends.first : ends.second) = &f;
        if (o.toleranceM <= 0) {
            g.toleranceM = std::max(
                {g.toleranceM, Sor::pulseLengthM(f.trace), 3 * f.trace.spacingM.value_or(0)});
        }
    }
    g.bands = QVector<int>(bands.cbegin(), bands.cend());
    std::sort(g.bands.begin(), g.bands.end());
    return g;
}

// The closures: a reference trace's events, or where the fibres agree once each fibre's length
// scale is taken out; and each fibre's scale.
Placement placed(const Grouped &g, const Options &o, double cableLength)
{
    const double launch = o.launchM.value_or(0);
    const double receive = o.receiveM.value_or(0);
    QMap<QString, FibreEvents> byFibre;
    for (const File *f : g.usable) {
        FibreEvents &events = byFibre[f->fiber];
        events.events << witnessesOf(*f);
        const std::optional<double> length = Acceptance::fileLink(f->trace).lengthM;
        if (length && (!events.lengthM || f->end == QLatin1Char('A')))
            events.lengthM = length;
    }
    if (o.referencePath.isEmpty())
        return placeClosures(byFibre, g.toleranceM, launch, cableLength - receive);
    Placement p;
    File ref;
    ref.trace = Sor::readFile(o.referencePath);
    ref.end = QLatin1Char('A');
    for (const Witness &w : witnessesOf(ref)) {
        if (w.atM > launch + g.toleranceM && w.atM < cableLength - receive - g.toleranceM)
            p.closures.append({int(p.closures.size()) + 1, w.atM, 0, w.reflective, QString()});
    }
    for (auto it = byFibre.cbegin(); it != byFibre.cend(); ++it)
        p.scale.insert(it.key(), 1.0);
    return p;
}

// Reels at the ends counted as cable: a connector the fibres share between 100 m and 5 km from
// an end, with no option saying where the cords end (0 says there are none). Their length is
// proposed to the nearest 50 m.
QStringList
reelsSeen(const QVector<Closure> &closures, const Grouped &g, const Options &o, double cableLength)
{
    if (closures.isEmpty())
        return {};
    const auto reel = [](double m) { return m >= 100 && m <= 5000; };
    const auto rounded = [](double m) { return 50 * std::lround(m / 50); };
    const auto shared = [&](const Closure &c) {
        return c.connector && c.fibres * 2 >= std::max<int>(2, g.byFibre.size());
    };
    std::optional<long> launch;
    std::optional<long> receive;
    const Closure &first = closures.first();
    const Closure &last = closures.last();
    if (!o.launchM && shared(first) && reel(first.distanceM))
        launch = rounded(first.distanceM);
    if (!o.receiveM && shared(last) && reel(cableLength - last.distanceM)
        && (closures.size() > 1 || !launch))
        receive = rounded(cableLength - last.distanceM);
    const auto km = [](long m) { return Sor::decimal(m / 1000.0, 1); };
    if (launch && receive)
        return {*launch == *receive
                    ? QStringLiteral("parece haver bobinas de ~%1 km: use --launch %2 --receive %3")
                          .arg(km(*launch))
                          .arg(*launch)
                          .arg(*receive)
                    : QStringLiteral("parece haver bobinas de ~%1 km (lançamento) e ~%2 km "
                                     "(recepção): use --launch %3 --receive %4")
                          .arg(km(*launch), km(*receive))
                          .arg(*launch)
                          .arg(*receive)};
    if (launch)
        return {QStringLiteral("parece haver uma bobina de lançamento de ~%1 km: use --launch %2")
                    .arg(km(*launch))
                    .arg(*launch)};
    if (receive)
        return {QStringLiteral("parece haver uma bobina de recepção de ~%1 km: use --receive %2")
                    .arg(km(*receive))
                    .arg(*receive)};
    return {};
}

// The closures laid on the route (each takes the name of the route's closure it matches), and
// each fibre that ends short located there.
void onRoute(Job &job, const Route::Route &route)
{
    QVector<double> places;
    for (const Closure &c : job.closures)
        places << c.distanceM;
    job.routeCalibration = Route::calibrate(route, places, {}, job.toleranceM);
    for (const Route::Anchor &a : job.routeCalibration->anchors) {
        if (a.flagged)
            continue;
        for (Closure &c : job.closures) {
            if (c.distanceM == a.otdrM)
                c.name = a.name;
        }
    }
    for (QString &line : job.checks.lengthOutliers) {
        for (const Fibre &f : job.fibres) {
            if (!line.startsWith(QStringLiteral("fibra %1:").arg(f.fiber)) || !f.lengthM)
                continue;
            // Its end in the cable's own distance: its length over its own scale.
            const Route::Position end = Route::place(
                route, *job.routeCalibration, *f.lengthM / f.lengthScale, QStringLiteral("fim"), 0);
            line += QStringLiteral("; o fim na rota: %1 (± %2 m)")
                        .arg(Route::whereText(end))
                        .arg(std::lround(end.uncertaintyM));
        }
    }
}

// The cable's length: the median of its usable files' fibre lengths.
double cableLengthOf(const Grouped &g)
{
    QVector<double> lengths;
    for (const File *f : g.usable) {
        const std::optional<double> length = Acceptance::fileLink(f->trace).lengthM;
        if (length)
            lengths << *length;
    }
    return median(lengths);
}

// A cable is accepted on both ends: one end alone is a job half done, or ends not told apart.
void missingEnds(Job &job, bool twoEnded)
{
    if (job.fibres.isEmpty() && !job.files.isEmpty())
        job.checks.missing.prepend(
            QStringLiteral("nenhuma fibra: nenhum dos arquivos pôde ser usado (ver abaixo)"));
    if (!twoEnded && !job.fibres.isEmpty())
        job.checks.missing.prepend(
            QStringLiteral("nenhuma fibra tem as duas pontas: falta a pasta da outra ponta, ou os "
                           "nomes dizem a ponta (--pair-by-name A,B)"));
}

} // namespace

QString howKey(How how)
{
    switch (how) {
    case How::Found:
        return QStringLiteral("found");
    case How::Measured:
        return QStringLiteral("measured");
    case How::Absent:
        return QStringLiteral("absent");
    }
    return QString();
}

QString closureKind(const Closure &closure)
{
    return closure.connector ? QStringLiteral("conector") : QStringLiteral("emenda");
}

QString closureTitle(const Closure &closure)
{
    if (!closure.name.isEmpty())
        return closure.name;
    return (closure.connector ? QStringLiteral("C") : QString()) + QString::number(closure.number);
}

QString closureCounts(const QVector<Closure> &closures)
{
    const auto connectors = std::count_if(
        closures.cbegin(), closures.cend(), [](const Closure &c) { return c.connector; });
    const QString splices = QStringLiteral("Emendas: %1").arg(closures.size() - connectors);
    return connectors > 0 ? QStringLiteral("Conectores: %1   %2").arg(connectors).arg(splices)
                          : splices;
}

bool Checks::raised() const
{
    return !settings.isEmpty() || !duplicates.isEmpty() || !missing.isEmpty()
           || !lengthOutliers.isEmpty() || !scaleOutliers.isEmpty() || !ends.isEmpty()
           || !cords.isEmpty();
}

int Job::status() const
{
    if (checks.raised())
        return 1;
    for (const Fibre &f : fibres) {
        if (f.verdict == Acceptance::Verdict::Fail || f.verdict == Acceptance::Verdict::Unknown)
            return 1;
    }
    for (const File &f : files) {
        if (!f.problem.isEmpty())
            return 1;
    }
    return baseline && baseline->changed() ? 1 : 0;
}

QStringList sorFiles(const QStringList &filesOrFolders)
{
    QStringList found;
    for (const QString &path : filesOrFolders) {
        if (!QFileInfo(path).isDir()) {
            found << path;
            continue;
        }
        found << Sor::sorFilesIn(path);
    }
    return found;
}

Job run(const QStringList &paths, const Options &o)
{
    Job job;
    job.options = o;
    job.files = readFiles(paths);
    const QMap<QString, QString> decidedBy = label(job.files, o, job.checks);
    setAsideRepeated(job.files, job.checks);
    const Grouped g = grouped(job.files, o);
    if (o.pairMarkers.size() == 2 && g.usable.isEmpty() && !job.files.isEmpty())
        job.problem = QStringLiteral("--pair-by-name %1,%2: nenhum dos %3 arquivos traz %1 nem %2 "
                                     "no nome nem na id da fibra")
                          .arg(o.pairMarkers.at(0), o.pairMarkers.at(1))
                          .arg(job.files.size());
    job.toleranceM = g.toleranceM;
    job.bands = g.bands;

    const double cableLength = cableLengthOf(g);
    const Placement placement = placed(g, o, cableLength);
    job.closures = placement.closures;
    job.checks.cords = reelsSeen(job.closures, g, o, cableLength);
    const bool twoEnded = std::any_of(g.usable.cbegin(), g.usable.cend(), [](const File *f) {
        return f->end == QLatin1Char('B');
    });
    const double spanLength = cableLength - o.launchM.value_or(0) - o.receiveM.value_or(0);

    // Fibre by fibre, with only that fibre's points in memory.
    for (auto fibre = g.byFibre.cbegin(); fibre != g.byFibre.cend(); ++fibre) {
        QMap<int, Measured> byBand;
        for (auto band = fibre.value().cbegin(); band != fibre.value().cend(); ++band)
            byBand[band.key()] = measure(band.value().first, band.value().second, job.toleranceM);
        const double scale = placement.scale.value(fibre.key(), 1.0);
        const QMap<int, Acceptance::Judgement> judged = judgedBands(byBand, job, scale, o);
        const QStringList cellReasons = fillCells(job, fibre.key(), byBand, judged, scale, o);
        Fibre summary = summarised(fibre.key(), byBand, judged, job.toleranceM, o);
        if (!cellReasons.isEmpty()) {
            summary.verdict = Acceptance::Verdict::Fail;
            summary.reasons << cellReasons;
        }
        summary.lengthScale = scale;
        summary.pairing.decidedBy = decidedBy.value(fibre.key(), summary.pairing.decidedBy);
        fibreChecks(job, fibre.key(), byBand, summary, twoEnded, spanLength);
        job.fibres.append(summary);
    }
    missingEnds(job, twoEnded);
    if (o.route)
        onRoute(job, *o.route);
    job.checks.settings = settingsChecks(g.usable);
    job.checks.scaleOutliers = scaleChecks(job.fibres);
    return job;
}

} // namespace Cable
