#include "cable/cableparts.h"

#include "acceptance/verdictorder.h"

#include "sor/sortext.h"

#include <cmath>

namespace Cable {

namespace {

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

// An instrument's own front connector: shown with its reflectance, its loss not measured (no
// backscatter lies before it), never judged.
Connector frontConnector(const Acceptance::JudgedEvent &e, double atM)
{
    Connector c{atM, std::nullopt, e.reflectanceDb, Acceptance::Verdict::NoLimits};
    c.judged = false;
    return c;
}

// A fibre's end as the comparisons take it: its name, its points and the events it stores.
Acceptance::Measurement measurementOf(const File *file,
                                      const std::shared_ptr<const Sor::Trace> &points)
{
    return Acceptance::measurementOf(file->name, points, Acceptance::fileLink(*points));
}

// Its page shows the first band measured from both ends, else the first.
int pageBandOf(const QMap<int, Measured> &byBand)
{
    for (auto band = byBand.cbegin(); band != byBand.cend(); ++band) {
        if (band.value().a && band.value().b)
            return band.key();
    }
    return byBand.firstKey();
}

// Every band is judged: a fibre that fails at 1550 nm fails, whatever 1310 nm says; so does
// one whose cords' connectors break the limit.
void worstVerdict(Fibre &summary, const QMap<int, Acceptance::Judgement> &judged)
{
    for (auto band = judged.cbegin(); band != judged.cend(); ++band) {
        summary.verdict = Acceptance::worse(summary.verdict, band.value().verdict);
        for (const QString &reason : band.value().reasons)
            summary.reasons << (judged.size() > 1
                                    ? QStringLiteral("%1 nm: %2").arg(band.key()).arg(reason)
                                    : reason);
    }
    for (const auto &cord :
         {std::make_pair(QStringLiteral("lançamento"), summary.launchConnector),
          std::make_pair(QStringLiteral("recepção"), summary.receiveConnector)}) {
        if (!cord.second || cord.second->verdict != Acceptance::Verdict::Fail)
            continue;
        summary.verdict = Acceptance::Verdict::Fail;
        summary.reasons << QStringLiteral("conector do cordão de %1 (%2): fora do limite")
                               .arg(cord.first, Sor::kilometres(cord.second->distanceM));
    }
}

// Bends: the A end at its shortest band against each longer one; none with one band.
std::optional<int> bendsOf(const QMap<int, Measured> &byBand, double toleranceM, const Options &o)
{
    const Measured &first = byBand.first();
    if (byBand.size() <= 1 || !first.a)
        return std::nullopt;
    int bends = 0;
    const Acceptance::Measurement shorter = measurementOf(first.a, first.pointsA);
    for (auto band = std::next(byBand.cbegin()); band != byBand.cend(); ++band) {
        const Measured &m = band.value();
        if (!m.a)
            continue;
        const Acceptance::Measurement longer = measurementOf(m.a, m.pointsA);
        if (Acceptance::wavelengthsProblem(shorter, longer).isEmpty())
            bends += Acceptance::compareWavelengths(shorter, longer, o.bendThresholdDb, toleranceM)
                         .bends();
    }
    return bends;
}

} // namespace

Cords cordsOf(const Measured &m, const Options &o)
{
    Cords c;
    c.launchM = o.launchM.value_or(0);
    c.receiveM = o.receiveM.value_or(0);
    // A user offset puts the axis' 0 at a launch reel's end: its connector is there.
    const File *a = m.a;
    c.launchAtStart = !o.launchM && a && a->trace.offsets && a->trace.offsets->applied
                      && a->trace.offsets->userM > 0;
    return c;
}

Span spanOf(const Measured &m, const Cords &cords, double toleranceM)
{
    Span span;
    span.link = m.link;
    Acceptance::Link &link = span.link;
    const std::optional<double> length = link.lengthM;
    // One end alone is judged on its own axis: B's cords lie the other way round.
    const bool fromB = !m.a && m.b;
    const double launchM = fromB ? cords.receiveM : cords.launchM;
    const double receiveM = fromB ? cords.launchM : cords.receiveM;
    const bool launchAtStart = !fromB && cords.launchAtStart;
    double cordsDb = 0;
    QVector<Acceptance::JudgedEvent> kept;
    std::optional<double> firstSection;
    std::optional<double> lastSection;
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (!firstSection && !e.end)
            firstSection = e.attenuationDbKm;
        if (e.end)
            lastSection = e.attenuationDbKm;
    }
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (e.end) {
            kept.append(e);
            continue;
        }
        // The cords' events and their connectors (those are judged apart, as connectors).
        const bool launchSide = launchM > 0 && e.distanceM <= launchM + toleranceM;
        const bool receiveSide
            = receiveM > 0 && length && e.distanceM >= *length - receiveM - toleranceM;
        if (launchSide || receiveSide || (launchAtStart && e.distanceM <= toleranceM))
            continue;
        // Each instrument's own front connector: at the start, and at the far end from B.
        if (!launchAtStart && launchM <= 0 && e.distanceM <= toleranceM && kept.isEmpty()
            && (e.reflective || e.distanceM < 1)) {
            (fromB ? span.frontB : span.frontA) = frontConnector(e, e.distanceM);
            continue;
        }
        if (m.a && m.b && receiveM <= 0 && length && e.reflective
            && e.distanceM >= *length - toleranceM) {
            span.frontB = frontConnector(e, e.distanceM);
            continue;
        }
        kept.append(e);
    }
    // B's front connector lies at A's far end.
    if (fromB && length && span.frontB)
        span.frontB->distanceM = *length - span.frontB->distanceM;
    if (launchM > 0 && firstSection)
        cordsDb += launchM / 1000 * *firstSection;
    if (receiveM > 0 && lastSection)
        cordsDb += receiveM / 1000 * *lastSection;
    link.events = kept;
    if (length)
        link.lengthM = *length - launchM - receiveM;
    if (link.totalLossDb)
        link.totalLossDb = *link.totalLossDb - cordsDb;
    return span;
}

QMap<int, Acceptance::Judgement>
judgedBands(const QMap<int, Measured> &byBand, const Job &job, double scale, const Options &o)
{
    QMap<int, Acceptance::Judgement> judged;
    for (auto band = byBand.cbegin(); band != byBand.cend(); ++band) {
        const Measured &m = band.value();
        Span span = spanOf(m, cordsOf(m, o), job.toleranceM);
        // One end alone from B: its events named at their places from A.
        const bool fromB = !m.a && m.b;
        const std::optional<double> length = m.link.lengthM;
        nameEvents(span.link.events, job, scale, [&](double d) {
            return fromB && length ? *length - d : d;
        });
        judged.insert(band.key(), Acceptance::judge(span.link, o.limits));
    }
    return judged;
}

Fibre summarised(const QString &fiber,
                 const QMap<int, Measured> &byBand,
                 const QMap<int, Acceptance::Judgement> &judged,
                 double toleranceM,
                 const Options &o)
{
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
    summary.pageBand = pageBandOf(byBand);
    summary.events = judged.value(summary.pageBand).events;
    const Measured &first = byBand.first();
    const Cords cords = cordsOf(first, o);
    if (cords.launchM > 0)
        summary.launchConnector = connectorAt(first.link, cords.launchM, toleranceM, o.limits);
    else if (cords.launchAtStart)
        summary.launchConnector = connectorAt(first.link, 0, toleranceM, o.limits);
    if (cords.receiveM > 0 && first.link.lengthM)
        summary.receiveConnector
            = connectorAt(first.link, *first.link.lengthM - cords.receiveM, toleranceM, o.limits);
    const Span span = spanOf(first, cords, toleranceM);
    summary.frontA = span.frontA;
    summary.frontB = span.frontB;
    summary.lengthM = span.link.lengthM;
    summary.totalLossDb = span.link.totalLossDb;
    summary.orlDb = span.link.orlDb;
    worstVerdict(summary, judged);
    summary.bends = bendsOf(byBand, toleranceM, o);
    if (summary.bends.value_or(0) > 0 && summary.verdict == Acceptance::Verdict::Pass)
        summary.reasons << QStringLiteral("%1 curvatura(s)").arg(*summary.bends);
    // What told its ends apart.
    if (first.a && first.b)
        summary.pairing = Acceptance::endsFromTraces(measurementOf(first.a, first.pointsA),
                                                     measurementOf(first.b, first.pointsB),
                                                     toleranceM);
    return summary;
}

} // namespace Cable
