#include "acceptance/twoway.h"

#include "analysis/pointloss.h"

#include <algorithm>
#include <cmath>
#include <numeric>

// One fibre from both ends at one wavelength: B's events mirrored onto A's axis, matched and
// averaged.
namespace Acceptance {

namespace {

double pulseLengthM(const Measurement &m)
{
    return Sor::pulseLengthM(m.pulseNs, m.groupIndex > 0 ? m.groupIndex : Sor::DefaultGroupIndex);
}

std::optional<double> worseReflectance(const std::optional<double> &x,
                                       const std::optional<double> &y)
{
    if (x && y)
        return std::max(*x, *y);
    return x ? x : y;
}

// The mean of the losses given; a gain is a loss given too.
std::optional<double> meanOfLosses(const std::optional<double> &x, const std::optional<double> &y)
{
    if (x && y)
        return (*x + *y) / 2;
    return x ? x : y;
}

// The mean of the attenuations given (0 is none given).
std::optional<double> meanOfGiven(const std::optional<double> &x, const std::optional<double> &y)
{
    const bool hasX = x && *x > 0;
    const bool hasY = y && *y > 0;
    if (hasX && hasY)
        return (*x + *y) / 2;
    return hasX ? x : hasY ? y : std::nullopt;
}

// A non-reflective event's stored reflectance (often 0) is no reflection.
std::optional<double> reflectanceOf(const JudgedEvent *e)
{
    return e && e->reflective ? e->reflectanceDb : std::nullopt;
}

// The backscatter an end's own events leave around a place: from past the dead zone of its event
// before the place to its next event, or its fibre's end.
Analysis::Bounds backscatterAround(const Link &link, double atM, double pulseM)
{
    Analysis::Bounds bounds;
    for (const JudgedEvent &e : link.events) {
        if (std::abs(e.distanceM - atM) <= pulseM)
            continue;
        if (e.distanceM < atM && !e.end)
            bounds.fromM = e.distanceM + (e.reflective ? 3 : 1) * pulseM;
        else if (e.distanceM > atM && !bounds.toM)
            bounds.toM = e.distanceM;
    }
    return bounds;
}

Measurement describedBy(const QString &name, const Sor::Trace &trace, const Link &link)
{
    Measurement m;
    m.name = name;
    m.link = link;
    if (trace.fixed && !trace.fixed->pulseWidthsNs.isEmpty())
        m.pulseNs = trace.fixed->pulseWidthsNs.first();
    m.spacingM = trace.spacingM.value_or(0);
    if (trace.groupIndex && *trace.groupIndex > 1)
        m.groupIndex = *trace.groupIndex;
    if (trace.general) {
        if (trace.general->nominalWavelengthNm > 0)
            m.nominalWavelengthNm = trace.general->nominalWavelengthNm;
        m.cableId = trace.general->cableId.trimmed();
        m.fiberId = trace.general->fiberId.trimmed();
        m.locationA = trace.general->locationA.trimmed();
    }
    return m;
}

} // namespace

Measurement measurementOf(const QString &name, const Sor::Trace &trace, const Link &link)
{
    Measurement m = describedBy(name, trace, link);
    if (trace.points() > 0)
        m.trace = std::make_shared<const Sor::Trace>(trace);
    return m;
}

Measurement
measurementOf(const QString &name, const std::shared_ptr<const Sor::Trace> &trace, const Link &link)
{
    Measurement m = describedBy(name, *trace, link);
    if (trace->points() > 0)
        m.trace = trace;
    return m;
}

double defaultToleranceM(const Measurement &a, const Measurement &b)
{
    return std::max({pulseLengthM(a), pulseLengthM(b), 3 * a.spacingM, 3 * b.spacingM, 1.0});
}

namespace {

// The last of a link's events that is its fibre's end, if any.
const JudgedEvent *endOf(const Link &link)
{
    const JudgedEvent *end = nullptr;
    for (const JudgedEvent &e : link.events) {
        if (e.end)
            end = &e;
    }
    return end;
}

// B's events mirrored onto A's axis (scaled so that the two ends meet), in order along A: they
// come in reverse order once mirrored.
struct EventsOfB
{
    QVector<int> kept;      // B's events to match, as eventsToMatch gives them
    QVector<int> order;     // kept's indices in order along A
    QVector<double> alongA; // their positions on A's axis, in that order
    const JudgedEvent &at(const Link &b, int k) const { return b.events.at(kept.at(order.at(k))); }
};

EventsOfB mirroredOnA(const Link &b, double la, double lb)
{
    EventsOfB m;
    m.kept = eventsToMatch(b);
    QVector<double> mirrored;
    for (int i : m.kept)
        mirrored << (lb - b.events.at(i).distanceM) * la / lb;
    m.order.resize(m.kept.size());
    std::iota(m.order.begin(), m.order.end(), 0);
    std::sort(m.order.begin(), m.order.end(), [&](int x, int y) {
        return mirrored.at(x) < mirrored.at(y);
    });
    for (int k : m.order)
        m.alongA << mirrored.at(k);
    return m;
}

// The two ends being averaged: each one's measurement and fibre length, and the shift that lays
// B's mirrored positions over A's.
struct TwoEnds
{
    const Measurement &a;
    const Measurement &b;
    double la = 0;
    double lb = 0;
    double shiftM = 0;
};

// An end that stores no loss there (below its threshold, or a marker without a value) is
// measured on its own points at the place, as commercial suites do; only where its points
// cannot give it does the other end's value stand alone.
void measureMissingLosses(TwoWayEvent &e, const TwoEnds &ends)
{
    const Measurement &a = ends.a;
    const Measurement &b = ends.b;
    if (!e.lossAbDb && a.trace) {
        const Analysis::PointLoss here = Analysis::lossAt(
            *a.trace, e.distanceM, backscatterAround(a.link, e.distanceM, pulseLengthM(a)));
        e.lossAbDb = here.db;
        e.measuredA = here.db.has_value();
        e.whyNoneA = here.why;
    }
    if (!e.lossBaDb && b.trace) {
        const double onB = ends.lb - (e.distanceM - ends.shiftM) * ends.lb / ends.la;
        const Analysis::PointLoss here
            = Analysis::lossAt(*b.trace, onB, backscatterAround(b.link, onB, pulseLengthM(b)));
        e.lossBaDb = here.db;
        e.measuredB = here.db.has_value();
        e.whyNoneB = here.why;
    }
}

// One place along the fibre as each end saw it (either may not have), averaged. B stores the
// section before it (from A) at the event B saw before it.
TwoWayEvent averagedEvent(const JudgedEvent *fromA,
                          const JudgedEvent *fromB,
                          double distanceM,
                          const JudgedEvent *sectionFromB,
                          const TwoEnds &ends)
{
    TwoWayEvent e;
    e.distanceM = distanceM;
    if (fromA)
        e.lossAbDb = fromA->lossDb;
    if (fromB)
        e.lossBaDb = fromB->lossDb;
    measureMissingLosses(e, ends);
    e.seenFrom = (fromA || e.measuredA) && (fromB || e.measuredB) ? SeenFrom::Both
                 : fromA                                          ? SeenFrom::A
                                                                  : SeenFrom::B;
    // A loss one end does not measure is not averaged in as 0.
    e.lossDb = meanOfLosses(e.lossAbDb, e.lossBaDb);
    e.reflectanceDb = worseReflectance(reflectanceOf(fromA), reflectanceOf(fromB));
    e.reflective = (fromA && fromA->reflective) || (fromB && fromB->reflective);
    e.attenuationDbKm = meanOfGiven(fromA ? fromA->attenuationDbKm : std::nullopt,
                                    sectionFromB ? sectionFromB->attenuationDbKm : std::nullopt);
    return e;
}

} // namespace

TwoWay averageDirections(const Measurement &a, const Measurement &b, double toleranceM)
{
    TwoWay result;
    result.toleranceM = toleranceM > 0 ? toleranceM : defaultToleranceM(a, b);
    result.lengthAM = a.link.lengthM;
    result.lengthBM = b.link.lengthM;
    if (!a.link.lengthM || !b.link.lengthM || *a.link.lengthM <= 0 || *b.link.lengthM <= 0)
        return result;
    const double la = *a.link.lengthM;
    const double lb = *b.link.lengthM;
    result.fiberLengthM = std::max(la, lb);
    if (a.link.totalLossDb && b.link.totalLossDb)
        result.totalLossDb = (*a.link.totalLossDb + *b.link.totalLossDb) / 2;

    const QVector<int> keptA = eventsToMatch(a.link);
    const EventsOfB fromB = mirroredOnA(b.link, la, lb);
    const double maxShift = std::max(5 * result.toleranceM, 0.01 * la);
    const Matching matching
        = matchPositions(positionsOf(a.link, keptA), fromB.alongA, result.toleranceM, maxShift);
    result.shiftM = matching.shiftM;
    const TwoEnds ends{a, b, la, lb, matching.shiftM};
    // B stores each section's attenuation at the event that ends it as B sees it: its first
    // section (at A's far end) at B's first event, and so on, and A's first at B's end.
    const JudgedEvent *sectionFromB = endOf(b.link);
    for (const Match &m : matching.matches) {
        const JudgedEvent *seenA = m.a >= 0 ? &a.link.events.at(keptA.at(m.a)) : nullptr;
        const JudgedEvent *seenB = m.b >= 0 ? &fromB.at(b.link, m.b) : nullptr;
        const double distanceM = seenA ? seenA->distanceM : fromB.alongA.at(m.b) + matching.shiftM;
        result.events.append(averagedEvent(seenA, seenB, distanceM, sectionFromB, ends));
        if (seenB)
            sectionFromB = seenB;
    }
    const JudgedEvent *endOfA = endOf(a.link);
    result.lastSectionDbKm = meanOfGiven(
        endOfA ? endOfA->attenuationDbKm : std::nullopt,
        sectionFromB && !sectionFromB->end ? sectionFromB->attenuationDbKm : std::nullopt);
    return result;
}

Link averagedLink(const TwoWay &twoWay, const Link &a, const Link &b)
{
    Link link;
    link.damaged = a.damaged || b.damaged;
    link.wavelengthNm = a.wavelengthNm;
    link.lengthM = twoWay.fiberLengthM;
    link.totalLossDb = twoWay.totalLossDb;
    if (a.orlDb && b.orlDb)
        link.orlDb = std::min(*a.orlDb, *b.orlDb);
    int number = 0;
    for (const TwoWayEvent &e : twoWay.events) {
        JudgedEvent j;
        j.number = ++number;
        j.distanceM = e.distanceM;
        j.reflective = e.reflective;
        j.lossDb = e.lossDb;
        j.reflectanceDb = e.reflectanceDb;
        j.attenuationDbKm = e.attenuationDbKm;
        link.events.append(j);
    }
    if (twoWay.fiberLengthM) {
        JudgedEvent end;
        end.number = ++number;
        end.end = true;
        end.distanceM = *twoWay.fiberLengthM;
        end.attenuationDbKm = twoWay.lastSectionDbKm;
        link.events.append(end);
    }
    return link;
}

Sor::Trace mirroredTrace(const Sor::Trace &b, const TwoWay &twoWay, MirroredEvents events)
{
    Sor::Trace mirrored = b;
    if (events == MirroredEvents::Dropped)
        mirrored.keyEvents.reset();
    if (!twoWay.lengthAM || !twoWay.lengthBM || *twoWay.lengthBM <= 0) {
        mirrored.keyEvents.reset();
        return mirrored;
    }
    const double scale = *twoWay.lengthAM / *twoWay.lengthBM;
    const auto onA = [&](double x) { return (*twoWay.lengthBM - x) * scale + twoWay.shiftM; };
    std::reverse(mirrored.distanceM.begin(), mirrored.distanceM.end());
    std::reverse(mirrored.levelDb.begin(), mirrored.levelDb.end());
    for (double &x : mirrored.distanceM)
        x = onA(x);
    if (mirrored.keyEvents) {
        // B's own numbers, each at its place on A's axis, in A's order.
        QVector<Sor::Event> &e = mirrored.keyEvents->events;
        std::reverse(e.begin(), e.end());
        for (Sor::Event &event : e)
            event.distanceM = onA(event.distanceM);
    }
    return mirrored;
}

QString seenFromText(SeenFrom seen)
{
    switch (seen) {
    case SeenFrom::Both:
        return QStringLiteral("ambas");
    case SeenFrom::A:
        return QStringLiteral("A");
    case SeenFrom::B:
        return QStringLiteral("B");
    }
    return QString();
}

} // namespace Acceptance
