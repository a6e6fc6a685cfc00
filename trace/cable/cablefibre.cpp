#include "cable/cableparts.h"

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

// How bad a verdict is, to keep a fibre's worst band's.
int badness(Acceptance::Verdict v)
{
    switch (v) {
    case Acceptance::Verdict::NoLimits:
        return 0;
    case Acceptance::Verdict::Pass:
        return 1;
    case Acceptance::Verdict::Unknown:
        return 2;
    case Acceptance::Verdict::Fail:
        return 3;
    }
    return 0;
}

} // namespace

QMap<int, Acceptance::Judgement>
judgedBands(const QMap<int, Measured> &byBand, double toleranceM, const Options &o)
{
    QMap<int, Acceptance::Judgement> judged;
    for (auto band = byBand.cbegin(); band != byBand.cend(); ++band)
        judged.insert(band.key(),
                      Acceptance::judge(spanLink(band.value().link,
                                                 o.launchM.value_or(0),
                                                 o.receiveM.value_or(0),
                                                 toleranceM),
                                        o.limits));
    return judged;
}

Fibre summarised(const QString &fiber,
                 const QMap<int, Measured> &byBand,
                 const QMap<int, Acceptance::Judgement> &judged,
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
    // Every band is judged: a fibre that fails at 1550 nm fails, whatever 1310 nm says.
    for (auto band = judged.cbegin(); band != judged.cend(); ++band) {
        if (badness(band.value().verdict) > badness(summary.verdict))
            summary.verdict = band.value().verdict;
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
                summary.bends += Acceptance::compareWavelengths(
                                     shorter, longer, o.bendThresholdDb, toleranceM)
                                     .bends();
        }
    }
    if (summary.bends > 0 && summary.verdict == Acceptance::Verdict::Pass)
        summary.reasons << QStringLiteral("%1 curvatura(s)").arg(summary.bends);
    // What told its ends apart.
    if (first.a && first.b) {
        summary.pairing = Acceptance::endsFromTraces(
            Acceptance::measurementOf(
                first.a->name, *first.pointsA, Acceptance::fileLink(*first.pointsA)),
            Acceptance::measurementOf(
                first.b->name, *first.pointsB, Acceptance::fileLink(*first.pointsB)),
            toleranceM);
    }
    return summary;
}

} // namespace Cable
