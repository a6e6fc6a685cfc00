#include "baseline/baseline.h"
#include "analysis/eventsource.h"

#include "acceptance/twoway.h"
#include "analysis/analysis.h"
#include "baseline/changetext.h"
#include "baseline/pointdifference.h"
#include "baseline/samefibre.h"
#include "baseline/stepmeter.h"
#include "sor/samepoints.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace Baseline {

namespace {

// A stretch whose attenuation is compared is a kilometre at least.
constexpr double SectionM = 1000;
// Two traces whose levels agree within this (dB) at every point are one measurement, whatever
// their event tables and axes say.
constexpr double SamePointsDb = 0.01;

// The trace's own events, or the analysis' where it stores none.
Acceptance::Link linkOf(const Sor::Trace &t)
{
    const Acceptance::Link stored = Acceptance::fileLink(t);
    const bool any = Analysis::storesEvents(t);
    if (t.levelDb.empty() || (any && stored.lengthM))
        return stored;
    const Acceptance::Link analysed = Acceptance::analysedLink(
        t, Analysis::analyze(t, Analysis::thresholdsFor(t, Analysis::ThresholdChoice())));
    if (!any)
        return analysed;
    // Events stored without an end: the end where the analysis finds it, so that nothing past it
    // is compared.
    Acceptance::Link kept = stored;
    kept.lengthM = analysed.lengthM;
    return kept;
}

// A trace's events that can change (not its end, a marker or past the end), and where they are.
struct Events
{
    Acceptance::Link link;
    QVector<int> kept; // into link.events
    QVector<double> at;
    const Acceptance::JudgedEvent &event(int k) const { return link.events.at(kept.at(k)); }
};

Events eventsOf(Acceptance::Link link)
{
    Events events;
    events.link = std::move(link);
    for (int i = 0; i < events.link.events.size(); ++i) {
        const Acceptance::JudgedEvent &e = events.link.events.at(i);
        if (!e.end && !e.marker && !e.pastEnd) {
            events.kept << i;
            events.at << e.distanceM;
        }
    }
    return events;
}

// The two traces' events, paired by place.
struct Paired
{
    Events base;
    Events now;
    Acceptance::Matching matching;
};

QString instrumentOf(const Sor::Trace &t)
{
    return t.supplier
               ? QStringLiteral("%1 %2 %3")
                     .arg(t.supplier->supplier, t.supplier->mainframe, t.supplier->mainframeSerial)
                     .simplified()
               : QString();
}

// How they were measured, where it differs.
QStringList measurementNotes(const Sor::Trace &base, const Sor::Trace &now)
{
    QStringList notes;
    if (Sor::firstPulseNs(base) != Sor::firstPulseNs(now))
        notes << QStringLiteral("pulso %1 ns e %2 ns")
                     .arg(Sor::firstPulseNs(base))
                     .arg(Sor::firstPulseNs(now));
    const double sb = base.spacingM.value_or(0);
    const double sn = now.spacingM.value_or(0);
    if (std::abs(sb - sn) > 1e-3)
        notes << QStringLiteral("espaçamento %1 m e %2 m")
                     .arg(Sor::decimal(sb, 3), Sor::decimal(sn, 3));
    if (base.rangeM && now.rangeM && std::abs(*base.rangeM - *now.rangeM) > 1)
        notes << QStringLiteral("alcance %1 e %2")
                     .arg(Sor::kilometres(*base.rangeM), Sor::kilometres(*now.rangeM));
    const QString ib = instrumentOf(base);
    const QString in = instrumentOf(now);
    if (ib != in)
        notes << QStringLiteral("equipamentos diferentes (%1; %2)")
                     .arg(ib.isEmpty() ? QStringLiteral("—") : ib,
                          in.isEmpty() ? QStringLiteral("—") : in);
    const std::optional<double> wb = base.wavelengthNm;
    const std::optional<double> wn = now.wavelengthNm;
    if (wb && wn && std::abs(*wb - *wn) > Acceptance::SameBandNm)
        notes << QStringLiteral("comprimentos de onda diferentes, comparados por --force");
    return notes;
}

QString wavelengthProblem(const Sor::Trace &base, const Sor::Trace &now)
{
    const std::optional<double> wb = base.wavelengthNm;
    const std::optional<double> wn = now.wavelengthNm;
    if (!wb || !wn || std::abs(*wb - *wn) <= Acceptance::SameBandNm)
        return QString();
    return QStringLiteral("os comprimentos de onda diferem (%1 e %2); --force compara "
                          "assim mesmo")
        .arg(Sor::wavelengthText(*wb), Sor::wavelengthText(*wn));
}

// The distance within which two events are one: the longer pulse's length and two samples of
// the coarser trace, unless the user gives one; three metres at least.
double toleranceOf(const Sor::Trace &base, const Sor::Trace &now, const Options &o)
{
    const double spacing = std::max(base.spacingM.value_or(0), now.spacingM.value_or(0));
    const double tolerance
        = o.toleranceM > 0
              ? o.toleranceM
              : std::max(Sor::pulseLengthM(base), Sor::pulseLengthM(now)) + 2 * spacing;
    return std::max(tolerance, 3.0);
}

// A reason the two are not one fibre from one end refuses the comparison, unless forced:
// then it is a note.
bool refused(Comparison &c, const QString &problem, bool force)
{
    if (problem.isEmpty())
        return false;
    if (!force) {
        c.problem = problem + QStringLiteral("; --force compara assim mesmo");
        return true;
    }
    c.notes << problem + QStringLiteral(", comparados por --force");
    return false;
}

Scope scopeOf(const Sor::Trace &base,
              const Sor::Trace &now,
              const Paired &p,
              const Comparison &c,
              double thresholdDb)
{
    Scope s;
    s.thresholdDb = thresholdDb;
    s.toleranceM = c.toleranceM;
    const double pulse = std::max(Sor::pulseLengthM(base), Sor::pulseLengthM(now));
    s.spacingM = std::max(base.spacingM.value_or(0), 1e-3);
    s.window = std::max(StepPoints, int(std::lround(StepPulses * pulse / s.spacingM)));
    // Where the now trace's fibre ends first, nothing after is compared event by event.
    s.reachM = std::min(p.base.link.lengthM.value_or(1e12),
                        p.now.link.lengthM.value_or(1e12) + c.shiftM);
    const double windowM = s.window * s.spacingM;
    s.settledM = std::max(
        {2 * c.toleranceM,
         launchEndM(base, firstEventM(p.base.at, c.toleranceM, s.reachM), thresholdDb, windowM)
             + c.toleranceM,
         launchEndM(now, firstEventM(p.now.at, c.toleranceM, s.reachM), thresholdDb, windowM)
             + c.toleranceM + c.shiftM});
    s.firstEventM = 0.3 * s.reachM;
    for (double x : p.base.at) {
        if (x > s.settledM + c.toleranceM)
            s.firstEventM = std::min(s.firstEventM, x);
    }
    return s;
}

// Places whose changes the events already say, or whose reflections the difference does not
// measure as steps: a step of the points within the event's pulse and the step's windows
// is its. An unchanged splice claims its own pulse only: a new bend beside it is a change.
struct Quiet
{
    double x = 0;
    bool wide = true;
};

// An event both traces have: its loss, its reflectance and the section before it.
Quiet matchedChanges(QVector<Change> &changes,
                     const Acceptance::JudgedEvent &eb,
                     const Acceptance::JudgedEvent &en,
                     const StepMeter &meter,
                     const Scope &s)
{
    const int before = int(changes.size());
    if (eb.lossDb && en.lossDb
        && std::abs(*en.lossDb - *eb.lossDb) >= meter.least(eb.distanceM) - 1e-9
        && meter.shown(eb.distanceM))
        changes.append(lossChanged(eb, en));
    if (eb.reflectanceDb && en.reflectanceDb
        && std::abs(*en.reflectanceDb - *eb.reflectanceDb) >= ReflectanceThresholdDb - 1e-9)
        changes.append(reflectanceChanged(eb, en));
    // The section before it, where both measure a kilometre or more of it.
    if (eb.sectionM && *eb.sectionM >= SectionM && eb.attenuationDbKm && en.attenuationDbKm
        && std::abs(*en.attenuationDbKm - *eb.attenuationDbKm) * *eb.sectionM / 1000
               >= s.thresholdDb - 1e-9)
        changes.append(attenuationChanged(eb, en));
    const bool listed = std::any_of(changes.cbegin() + before, changes.cend(), [](const Change &x) {
        return x.kind == Kind::Loss || x.kind == Kind::Reflectance;
    });
    return {eb.distanceM, listed || eb.reflective || en.reflective};
}

// An event only one trace has stands where the points show it, before the shorter fibre's end
// (past it, the end says it).
bool loneStands(const Acceptance::JudgedEvent &e, double at, const StepMeter &meter, const Scope &s)
{
    return !(at > s.reachM - s.toleranceM) && meter.stands(e, at);
}

// What the events say changed, in their order along the fibre, and the places they claim.
QVector<Quiet> eventChanges(Comparison &c, const Paired &p, const StepMeter &meter, const Scope &s)
{
    QVector<Quiet> quiet;
    for (const Acceptance::Match &match : p.matching.matches) {
        if (match.a >= 0 && match.b >= 0) {
            quiet << matchedChanges(
                c.changes, p.base.event(match.a), p.now.event(match.b), meter, s);
        } else if (match.b >= 0) {
            const Acceptance::JudgedEvent &en = p.now.event(match.b);
            const double at = en.distanceM + c.shiftM;
            quiet << Quiet{at, true};
            if (loneStands(en, at, meter, s))
                c.changes.append(eventNew(en, at));
        } else if (match.a >= 0) {
            const Acceptance::JudgedEvent &eb = p.base.event(match.a);
            quiet << Quiet{eb.distanceM, true};
            if (loneStands(eb, eb.distanceM, meter, s))
                c.changes.append(eventGone(eb));
        }
    }
    return quiet;
}

// The step at i is the largest within a window either side: one step, one place.
bool largestAround(const std::vector<double> &step, size_t i, size_t w)
{
    for (size_t k = i > w ? i - w : 0; k < std::min(step.size(), i + w + 1); ++k) {
        if (k != i && !std::isnan(step[k])
            && (std::abs(step[k]) > std::abs(step[i])
                || (std::abs(step[k]) == std::abs(step[i]) && k < i)))
            return false;
    }
    return true;
}

// Every step of the difference away from the events.
void pointsChanges(Comparison &c,
                   const QVector<Quiet> &quiet,
                   const StepMeter &meter,
                   const Scope &s)
{
    const Difference &d = c.difference;
    const size_t n = d.deltaDb.size();
    if (n <= size_t(4 * s.window))
        return;
    const std::vector<double> step = meter.stepsAlong();
    const double guard = s.toleranceM + s.window * s.spacingM;
    for (size_t i = 0; i < n; ++i) {
        const double x = d.distanceM[i];
        if (std::isnan(step[i]) || std::abs(step[i]) < s.thresholdDb
            || std::abs(step[i]) < meter.least(x))
            continue;
        const bool nearEvent = std::any_of(quiet.cbegin(), quiet.cend(), [&](const Quiet &e) {
            return std::abs(e.x - x) <= (e.wide ? guard : s.toleranceM);
        });
        if (!largestAround(step, i, size_t(s.window)) || nearEvent)
            continue;
        // The difference falls where the now trace loses more.
        c.changes.append(pointsStep(x, -step[i]));
    }
}

} // namespace

QString kindKey(Kind kind)
{
    switch (kind) {
    case Kind::Loss:
        return QStringLiteral("loss");
    case Kind::Reflectance:
        return QStringLiteral("reflectance");
    case Kind::New:
        return QStringLiteral("new");
    case Kind::Gone:
        return QStringLiteral("gone");
    case Kind::Attenuation:
        return QStringLiteral("attenuation");
    case Kind::End:
        return QStringLiteral("end");
    case Kind::Trace:
        return QStringLiteral("trace");
    }
    return QString();
}

QString Comparison::verdict() const
{
    if (samePoints)
        return QStringLiteral("os pontos são iguais");
    return changed() ? QStringLiteral("mudou") : QStringLiteral("sem mudança");
}

Comparison compare(const Sor::Trace &base, const Sor::Trace &now, const Options &o)
{
    Comparison c;
    if (!o.force) {
        c.problem = wavelengthProblem(base, now);
        if (!c.problem.isEmpty())
            return c;
    }
    c.notes = measurementNotes(base, now);
    c.toleranceM = toleranceOf(base, now, o);
    // Only one fibre, seen from one end, can have changed: anything else would list as changes
    // what are two fibres' differences.
    if (refused(c, labelProblem(base, now), o.force))
        return c;
    if (Sor::samePoints(base, now, SamePointsDb)) {
        c.samePoints = true;
        return c;
    }
    Acceptance::Link lb = linkOf(base);
    Acceptance::Link ln = linkOf(now);
    if (refused(c, fibreProblem(base, lb, now, ln, c.toleranceM), o.force))
        return c;
    c.lengthBeforeM = lb.lengthM;
    c.lengthAfterM = ln.lengthM;
    c.lossBeforeDb = lb.totalLossDb;
    c.lossAfterDb = ln.totalLossDb;
    c.orlBeforeDb = lb.orlDb;
    c.orlAfterDb = ln.orlDb;
    Paired p{eventsOf(std::move(lb)), eventsOf(std::move(ln)), {}};
    p.matching = Acceptance::matchPositions(p.base.at, p.now.at, c.toleranceM, c.toleranceM);
    c.shiftM = p.matching.shiftM;
    const Scope s = scopeOf(base, now, p, c, o.thresholdDb);
    c.shiftM = shiftForPoints(base, now, s, c.shiftM);
    c.difference = pointDifference(base, now, s, c.shiftM);
    const StepMeter meter(c.difference, s);
    const QVector<Quiet> quiet = eventChanges(c, p, meter, s);
    const std::optional<double> before = p.base.link.lengthM;
    const std::optional<double> after = p.now.link.lengthM;
    if (before && after && std::abs(*after + c.shiftM - *before) > c.toleranceM)
        c.changes.append(endMoved(*before, *after + c.shiftM));
    pointsChanges(c, quiet, meter, s);
    std::stable_sort(c.changes.begin(), c.changes.end(), [](const Change &a, const Change &b) {
        return a.distanceM < b.distanceM;
    });
    return c;
}

} // namespace Baseline
