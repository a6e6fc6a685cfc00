#include "cable/cableparts.h"

#include "analysis/pointloss.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace Cable {

namespace {

// Two measurements of one fibre agree within this everywhere: the same trace saved twice.
constexpr double DuplicateDb = 0.01;
// A fibre longer or shorter than the cable's median by more than this share is flagged.
constexpr double LengthShare = 0.01;
// A fibre's length scale this many deviations from the others', and this share at least, is
// no helix but a mislabel or a wrong group index.
constexpr double ScaleDeviations = 5;
constexpr double ScaleShare = 0.001;

// A measurement's events on A's axis: B's mirrored over its own length.
QVector<Witness> witnessesOf(const File &f)
{
    QVector<Witness> at;
    const Acceptance::Link link = Acceptance::fileLink(f.trace);
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (e.end || e.marker || e.pastEnd)
            continue;
        at.append({f.end == QLatin1Char('A') || !link.lengthM ? e.distanceM
                                                                : *link.lengthM - e.distanceM,
                   f.end});
    }
    return at;
}

// One fibre at one band: its two ends, and what averaging them gave.
struct Measured
{
    const File *a = nullptr;
    const File *b = nullptr;
    // Each end's trace with its points, taken from the bytes read for this fibre.
    std::shared_ptr<const Sor::Trace> pointsA;
    std::shared_ptr<const Sor::Trace> pointsB;
    std::optional<Acceptance::TwoWay> twoWay;
    Acceptance::Link link; // averaged, or the one end's
};

Measured measure(const File *a, const File *b, double toleranceM)
{
    Measured m;
    m.a = a;
    m.b = b;
    if (a)
        m.pointsA = std::make_shared<const Sor::Trace>(Sor::read(a->bytes));
    if (b)
        m.pointsB = std::make_shared<const Sor::Trace>(Sor::read(b->bytes));
    if (a && b) {
        const Acceptance::Link la = Acceptance::fileLink(*m.pointsA);
        const Acceptance::Link lb = Acceptance::fileLink(*m.pointsB);
        const Acceptance::Measurement ma = Acceptance::measurementOf(a->name, *m.pointsA, la);
        const Acceptance::Measurement mb = Acceptance::measurementOf(b->name, *m.pointsB, lb);
        if (Acceptance::directionsProblem(ma, mb).isEmpty()) {
            m.twoWay = Acceptance::averageDirections(ma, mb, toleranceM);
            m.link = Acceptance::averagedLink(*m.twoWay, la, lb);
            return m;
        }
    }
    m.link = Acceptance::fileLink((a ? a : b)->trace);
    return m;
}

// Where a distance from A lies on B's own axis.
std::optional<double> onB(const Measured &m, double fromA)
{
    if (m.twoWay && m.twoWay->lengthAM && m.twoWay->lengthBM && *m.twoWay->lengthAM > 0) {
        const double la = *m.twoWay->lengthAM;
        const double lb = *m.twoWay->lengthBM;
        return lb - (fromA - m.twoWay->shiftM) * lb / la;
    }
    const std::optional<double> length = Acceptance::fileLink(m.b->trace).lengthM;
    if (!length)
        return std::nullopt;
    return *length - fromA;
}

// One end's loss at a closure (at closureM on A's axis): the event it stores there, else
// measured on its points, else why not.
void endLoss(const File *file,
             const Measured &m,
             double closureM,
             double toleranceM,
             std::optional<double> &loss,
             How &how,
             QString &why)
{
    if (!file) {
        why = QStringLiteral("sem o arquivo dessa ponta");
        return;
    }
    const bool isA = file == m.a;
    if (m.twoWay) {
        for (const Acceptance::TwoWayEvent &e : m.twoWay->events) {
            if (std::abs(e.distanceM - closureM) > toleranceM)
                continue;
            const std::optional<double> &value = isA ? e.lossAbDb : e.lossBaDb;
            if (value) {
                loss = value;
                how = (isA ? e.measuredA : e.measuredB) ? How::Measured : How::Found;
                return;
            }
        }
    } else {
        const Acceptance::Link link = Acceptance::fileLink(file->trace);
        for (const Acceptance::JudgedEvent &e : link.events) {
            const double fromA = isA || !link.lengthM ? e.distanceM : *link.lengthM - e.distanceM;
            if (!e.end && e.lossDb && std::abs(fromA - closureM) <= toleranceM) {
                loss = e.lossDb;
                how = How::Found;
                return;
            }
        }
    }
    const std::optional<double> there = isA ? std::optional<double>(closureM) : onB(m, closureM);
    if (!there) {
        why = QStringLiteral("o fim da fibra não é conhecido nessa ponta");
        return;
    }
    const Acceptance::Link own = Acceptance::fileLink(isA ? *m.pointsA : *m.pointsB);
    if (own.lengthM && *there >= *own.lengthM) {
        why = QStringLiteral("depois do fim da fibra nessa ponta");
        return;
    }
    const Analysis::PointLoss measured = Analysis::lossAt(isA ? *m.pointsA : *m.pointsB, *there);
    loss = measured.db;
    how = loss ? How::Measured : How::Absent;
    why = measured.why;
}

// Files whose settings differ from the rest of the same end and band.
QStringList settingsChecks(const QVector<const File *> &files)
{
    QMap<QString, QVector<const File *>> groups;
    for (const File *f : files)
        groups[QStringLiteral("%1 %2").arg(f->end).arg(f->bandNm)].append(f);
    QStringList found;
    using Setting = std::function<QString(const File &)>;
    const QList<QPair<QString, Setting>> settings{
        {QStringLiteral("pulso"),
         [](const File &f) {
             return f.trace.fixed && !f.trace.fixed->pulseWidthsNs.isEmpty()
                        ? QStringLiteral("%1 ns").arg(f.trace.fixed->pulseWidthsNs.first())
                        : QString();
         }},
        {QStringLiteral("alcance"),
         [](const File &f) {
             return f.trace.rangeM ? Sor::kilometres(*f.trace.rangeM) : QString();
         }},
        {QStringLiteral("espaçamento"),
         [](const File &f) {
             return f.trace.spacingM ? Sor::decimal(*f.trace.spacingM, 3) + QStringLiteral(" m")
                                     : QString();
         }},
        {QStringLiteral("tempo de média"),
         [](const File &f) {
             return f.trace.fixed && f.trace.fixed->averagingTime
                        ? QStringLiteral("%1 s").arg(*f.trace.fixed->averagingTime / 10.0)
                        : QString();
         }},
        {QStringLiteral("índice de grupo"),
         [](const File &f) {
             return f.trace.groupIndex ? Sor::decimal(*f.trace.groupIndex, 5) : QString();
         }},
        {QStringLiteral("limiares"), [](const File &f) {
             return f.trace.fixed ? QStringLiteral("%1/%2/%3")
                                        .arg(f.trace.fixed->lossThreshold)
                                        .arg(f.trace.fixed->reflectanceThreshold)
                                        .arg(f.trace.fixed->endOfFiberThreshold)
                                  : QString();
         }}};
    for (const auto &group : groups) {
        if (group.size() < 3) // two files cannot say which one is odd
            continue;
        for (const auto &setting : settings) {
            QVector<QString> values;
            for (const File *f : group)
                values << setting.second(*f);
            const QString usual = mostCommon(values);
            for (int i = 0; i < group.size(); ++i) {
                if (values.at(i) != usual)
                    found << QStringLiteral("%1: %2 %3 (os outros da ponta %4 em %5 nm: %6)")
                                 .arg(group.at(i)->name,
                                      setting.first,
                                      values.at(i).isEmpty() ? QStringLiteral("—") : values.at(i))
                                 .arg(group.at(i)->end)
                                 .arg(group.at(i)->bandNm)
                                 .arg(usual.isEmpty() ? QStringLiteral("—") : usual);
            }
        }
    }
    return found;
}

// The event nearest a place, within the tolerance, as a connector judged by the limits.
std::optional<Connector> connectorAt(const Acceptance::Link &link,
                                     double atM,
                                     double toleranceM,
                                     const Acceptance::Limits &limits)
{
    const Acceptance::JudgedEvent *best = nullptr;
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (!e.end && std::abs(e.distanceM - atM) <= toleranceM
            && (!best || std::abs(e.distanceM - atM) < std::abs(best->distanceM - atM)))
            best = &e;
    }
    if (!best)
        return std::nullopt;
    Connector c{best->distanceM, best->lossDb, best->reflectanceDb, Acceptance::Verdict::NoLimits};
    Acceptance::Link alone;
    Acceptance::JudgedEvent e = *best;
    e.reflective = true;
    e.sectionM.reset(); // its section is the cord's: not judged here
    e.attenuationDbKm.reset();
    alone.events = {e};
    alone.lengthM = 1; // judged for its own values, not for the link's
    Acceptance::Limits connectorLimits;
    connectorLimits.connectorLossMaxDb = limits.connectorLossMaxDb;
    connectorLimits.reflectanceMaxDb = limits.reflectanceMaxDb;
    if (connectorLimits.checksAnything())
        c.verdict = Acceptance::judge(alone, connectorLimits).events.value(0).verdict;
    return c;
}

// The link of the span alone: the cords' events and fibre left out, their connectors kept.
Acceptance::Link spanLink(Acceptance::Link link, double launchM, double receiveM, double toleranceM)
{
    if (launchM <= 0 && receiveM <= 0)
        return link;
    const std::optional<double> length = link.lengthM;
    double cordsDb = 0;
    QVector<Acceptance::JudgedEvent> kept;
    std::optional<double> firstSection;
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (!firstSection && !e.end)
            firstSection = e.attenuationDbKm;
        const bool beforeSpan = launchM > 0 && e.distanceM < launchM - toleranceM;
        const bool afterSpan
            = receiveM > 0 && length && !e.end && e.distanceM > *length - receiveM + toleranceM;
        if (!beforeSpan && !afterSpan)
            kept.append(e);
    }
    if (launchM > 0 && firstSection)
        cordsDb += launchM / 1000 * *firstSection;
    std::optional<double> lastSection;
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (e.end)
            lastSection = e.attenuationDbKm;
    }
    if (receiveM > 0 && lastSection)
        cordsDb += receiveM / 1000 * *lastSection;
    link.events = kept;
    if (length)
        link.lengthM = *length - launchM - receiveM;
    if (link.totalLossDb)
        link.totalLossDb = *link.totalLossDb - cordsDb;
    return link;
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
            const int pulse = f.trace.fixed && !f.trace.fixed->pulseWidthsNs.isEmpty()
                                  ? f.trace.fixed->pulseWidthsNs.first()
                                  : 0;
            g.toleranceM = std::max(
                {g.toleranceM,
                 Sor::pulseLengthM(pulse, f.trace.groupIndex.value_or(Sor::DefaultGroupIndex)),
                 3 * f.trace.spacingM.value_or(0)});
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
            p.closures.append({int(p.closures.size()) + 1, w.atM, 0});
    }
    for (auto it = byFibre.cbegin(); it != byFibre.cend(); ++it)
        p.scale.insert(it.key(), 1.0);
    return p;
}

// One fibre's cells at every closure and band: each end's loss at its own place of the closure.
void fillCells(Job &job,
               const QString &fiber,
               const QMap<int, Measured> &byBand,
               double scale,
               const Options &o)
{
    for (const Closure &c : job.closures) {
        for (auto band = byBand.cbegin(); band != byBand.cend(); ++band) {
            const Measured &m = band.value();
            Cell cell;
            cell.fiber = fiber;
            cell.bandNm = band.key();
            cell.closure = c.number;
            const double here = c.distanceM * scale;
            endLoss(m.a, m, here, job.toleranceM, cell.lossAbDb, cell.howAb, cell.whyAb);
            endLoss(m.b, m, here, job.toleranceM, cell.lossBaDb, cell.howBa, cell.whyBa);
            if (cell.lossAbDb && cell.lossBaDb)
                cell.lossDb = (*cell.lossAbDb + *cell.lossBaDb) / 2;
            else
                cell.lossDb = cell.lossAbDb ? cell.lossAbDb : cell.lossBaDb;
            if (o.limits.spliceLossMaxDb)
                cell.verdict = !cell.lossDb ? Acceptance::Verdict::Unknown
                               : *cell.lossDb > *o.limits.spliceLossMaxDb
                                   ? Acceptance::Verdict::Fail
                                   : Acceptance::Verdict::Pass;
            job.matrix.append(cell);
        }
    }
}

// The fibre's figures at its first band, judged on the averaged values of the span; its cords'
// connectors; its bends.
Fibre summarised(const QString &fiber,
                 const QMap<int, Measured> &byBand,
                 double toleranceM,
                 const Options &o)
{
    const double launch = o.launchM.value_or(0);
    const double receive = o.receiveM.value_or(0);
    Fibre summary;
    summary.fiber = fiber;
    for (const Measured &m : byBand) {
        for (const File *f : {m.a, m.b}) {
            if (f) {
                summary.files << f->name;
                if (summary.cable.isEmpty())
                    summary.cable = f->cable;
            }
        }
    }
    const Measured &first = byBand.first();
    if (launch > 0)
        summary.launchConnector = connectorAt(first.link, launch, toleranceM, o.limits);
    if (receive > 0 && first.link.lengthM)
        summary.receiveConnector
            = connectorAt(first.link, *first.link.lengthM - receive, toleranceM, o.limits);
    const Acceptance::Link span = spanLink(first.link, launch, receive, toleranceM);
    summary.lengthM = span.lengthM;
    summary.totalLossDb = span.totalLossDb;
    summary.orlDb = span.orlDb;
    const Acceptance::Judgement j = Acceptance::judge(span, o.limits);
    summary.verdict = j.verdict;
    summary.reasons = j.reasons;
    for (const auto &cord :
         {std::make_pair(QStringLiteral("lançamento"), summary.launchConnector),
          std::make_pair(QStringLiteral("recepção"), summary.receiveConnector)}) {
        if (!cord.second || cord.second->verdict != Acceptance::Verdict::Fail)
            continue;
        summary.verdict = Acceptance::Verdict::Fail;
        summary.reasons << QStringLiteral("conector do cordão de %1 (%2): fora do limite")
                               .arg(cord.first, Sor::kilometres(cord.second->distanceM));
    }
    // Bends: the A end at its shortest band against each longer one.
    if (byBand.size() > 1 && first.a) {
        const Acceptance::Measurement shorter = Acceptance::measurementOf(
            first.a->name, *first.pointsA, Acceptance::fileLink(*first.pointsA));
        for (auto band = std::next(byBand.cbegin()); band != byBand.cend(); ++band) {
            const Measured &m = band.value();
            if (!m.a)
                continue;
            const Acceptance::Measurement longer = Acceptance::measurementOf(
                m.a->name, *m.pointsA, Acceptance::fileLink(*m.pointsA));
            if (Acceptance::wavelengthsProblem(shorter, longer).isEmpty())
                summary.bends
                    += Acceptance::compareWavelengths(shorter, longer, o.bendThresholdDb, toleranceM)
                           .bends();
        }
    }
    if (summary.bends > 0 && summary.verdict == Acceptance::Verdict::Pass)
        summary.reasons << QStringLiteral("%1 curvatura(s)").arg(summary.bends);
    // What told its ends apart.
    if (first.a && first.b) {
        summary.pairing = Acceptance::endsFromTraces(
            Acceptance::measurementOf(first.a->name, *first.pointsA, Acceptance::fileLink(*first.pointsA)),
            Acceptance::measurementOf(first.b->name, *first.pointsB, Acceptance::fileLink(*first.pointsB)),
            toleranceM);
    }
    return summary;
}

// What a fibre lacks that the job has, and whether its length is the cable's.
void fibreChecks(Job &job,
                 const QString &fiber,
                 const QMap<int, Measured> &byBand,
                 const Fibre &summary,
                 bool twoEnded,
                 double spanLength)
{
    for (int band : job.bands) {
        const auto it = byBand.constFind(band);
        if (it == byBand.cend()) {
            job.checks.missing << QStringLiteral("fibra %1: nada em %2 nm").arg(fiber).arg(band);
            continue;
        }
        if (!it.value().a)
            job.checks.missing
                << QStringLiteral("fibra %1: falta a ponta A em %2 nm").arg(fiber).arg(band);
        if (twoEnded && !it.value().b)
            job.checks.missing
                << QStringLiteral("fibra %1: falta a ponta B em %2 nm").arg(fiber).arg(band);
    }
    if (summary.lengthM && spanLength > 0
        && std::abs(*summary.lengthM - spanLength) > LengthShare * spanLength) {
        job.checks.lengthOutliers
            << QStringLiteral("fibra %1: %2, %3 % da mediana do cabo (%4)")
                   .arg(fiber,
                        Sor::kilometres(*summary.lengthM),
                        Sor::decimal(100 * (*summary.lengthM - spanLength) / spanLength, 1),
                        Sor::kilometres(spanLength));
    }
}

// Fibres whose length scale lies far from the others'.
QStringList scaleChecks(const QVector<Fibre> &fibres)
{
    QVector<double> scales;
    for (const Fibre &f : fibres)
        scales << f.lengthScale;
    const double middle = median(scales);
    QVector<double> deviations;
    for (double s : scales)
        deviations << std::abs(s - middle);
    const double spread = 1.4826 * median(deviations);
    QStringList found;
    for (const Fibre &f : fibres) {
        const double off = std::abs(f.lengthScale - middle);
        if (off > ScaleDeviations * spread && off > ScaleShare)
            found << QStringLiteral("fibra %1: escala de comprimento %2 (as outras: %3); rótulo "
                                    "trocado ou índice de grupo errado?")
                         .arg(f.fiber, Sor::decimal(f.lengthScale, 4), Sor::decimal(middle, 4));
    }
    return found;
}

} // namespace

bool samePoints(const Sor::Trace &a, const Sor::Trace &b)
{
    if (a.levelDb.size() != b.levelDb.size())
        return false;
    for (size_t k = 0; k < a.levelDb.size(); ++k) {
        const double x = a.levelDb[k];
        const double y = b.levelDb[k];
        if (!((std::isnan(x) && std::isnan(y)) || std::abs(x - y) <= DuplicateDb))
            return false;
    }
    return true;
}

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

bool Checks::raised() const
{
    return !settings.isEmpty() || !duplicates.isEmpty() || !missing.isEmpty()
           || !lengthOutliers.isEmpty() || !scaleOutliers.isEmpty() || !ends.isEmpty();
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
    return 0;
}

QStringList sorFiles(const QStringList &filesOrFolders)
{
    QStringList found;
    for (const QString &path : filesOrFolders) {
        if (!QFileInfo(path).isDir()) {
            found << path;
            continue;
        }
        QStringList inside;
        QDirIterator it(path,
                        {QStringLiteral("*.sor"), QStringLiteral("*.SOR")},
                        QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            inside << it.next();
        inside.sort();
        found << inside;
    }
    return found;
}

int bandOf(double wavelengthNm)
{
    for (int band : {1310, 1383, 1490, 1550, 1625}) {
        if (std::abs(wavelengthNm - band) <= 30)
            return band;
    }
    return int(std::lround(wavelengthNm));
}

Job run(const QStringList &paths, const Options &o)
{
    Job job;
    job.files = readFiles(paths);
    const QMap<QString, QString> decidedBy = label(job.files, o, job.checks);
    setAsideRepeated(job.files, job.checks);
    const Grouped g = grouped(job.files, o);
    job.toleranceM = g.toleranceM;
    job.bands = g.bands;

    QVector<double> lengths;
    for (const File *f : g.usable) {
        const std::optional<double> length = Acceptance::fileLink(f->trace).lengthM;
        if (length)
            lengths << *length;
    }
    const double cableLength = median(lengths);
    const Placement placement = placed(g, o, cableLength);
    job.closures = placement.closures;
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
        fillCells(job, fibre.key(), byBand, scale, o);
        Fibre summary = summarised(fibre.key(), byBand, job.toleranceM, o);
        summary.lengthScale = scale;
        summary.pairing.decidedBy = decidedBy.value(fibre.key(), summary.pairing.decidedBy);
        fibreChecks(job, fibre.key(), byBand, summary, twoEnded, spanLength);
        job.fibres.append(summary);
    }
    // The bytes served their fibre.
    for (File &f : job.files)
        f.bytes.clear();
    job.checks.settings = settingsChecks(g.usable);
    job.checks.scaleOutliers = scaleChecks(job.fibres);
    return job;
}

} // namespace Cable
