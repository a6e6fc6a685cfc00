#include "acceptance/verdict.h"

#include "analysis/eventsource.h"
#include "analysis/pointloss.h"
#include "sor/sortext.h"

#include <algorithm>

// The link a trace offers for judging: the events and figures its file stores, or those its
// points give the analysis.
namespace Acceptance {

namespace {

// Each section's length: from the event before (or the span's start) to this one.
void measureSections(QVector<JudgedEvent> &events)
{
    double from = 0;
    for (JudgedEvent &e : events) {
        e.sectionM = std::max(0.0, e.distanceM - from);
        from = std::max(from, e.distanceM);
    }
}

// Past the fibre's end nothing is judged.
void markPastEnd(QVector<JudgedEvent> &events)
{
    std::optional<double> end;
    for (const JudgedEvent &e : events) {
        if (e.end && !end)
            end = e.distanceM;
    }
    for (JudgedEvent &e : events)
        e.pastEnd = end && !e.end && e.distanceM > *end;
}

} // namespace

Link fileLink(const Sor::Trace &trace)
{
    Link link;
    link.damaged = trace.damaged();
    link.wavelengthNm = trace.wavelengthNm;
    if (!trace.keyEvents)
        return link;
    for (const Sor::Event &e : trace.keyEvents->events) {
        const QChar mode = e.mode();
        JudgedEvent j;
        j.number = e.number;
        j.distanceM = e.distanceM;
        j.end = mode == QLatin1Char('E');
        j.marker = e.outOfRange();
        j.reflective = e.reflective();
        // An out-of-range marker measures no loss at all; one the user added that stores none
        // is measured on the points, and judged on that.
        if (!j.marker) {
            const Analysis::EventLoss loss = Analysis::eventLoss(trace, e);
            j.lossDb = loss.db;
            j.lossMeasuredHere = loss.measuredHere;
        }
        j.reflectanceDb = e.measuredReflectanceDb();
        // A coefficient of 0 or below is no attenuation a fibre has: not measured.
        if (e.attenuationDbPerKm > 0)
            j.attenuationDbKm = e.attenuationDbPerKm;
        link.events.append(j);
        if (j.end && !link.lengthM)
            link.lengthM = e.distanceM;
    }
    measureSections(link.events);
    markPastEnd(link.events);
    const std::optional<double> total = trace.keyEvents->endToEndLossDb;
    const std::optional<double> orl = trace.keyEvents->opticalReturnLossDb;
    if (total && *total > 0)
        link.totalLossDb = total;
    if (orl && *orl > 0)
        link.orlDb = orl;
    return link;
}

Link analysedLink(const Sor::Trace &trace, const Analysis::Result &result)
{
    Link link;
    link.damaged = trace.damaged();
    link.wavelengthNm = trace.wavelengthNm;
    int number = 0;
    for (const Analysis::Event &e : result.events) {
        JudgedEvent j;
        j.number = ++number;
        j.distanceM = e.distanceM;
        j.end = e.type == Analysis::EventType::End;
        j.reflective = e.type == Analysis::EventType::Reflective;
        if (e.lossMeasured)
            j.lossDb = e.lossDb;
        j.front = number == 1 && j.reflective && !e.lossMeasured
                  && e.distanceM <= Sor::eventToleranceM(trace);
        j.reflectanceDb = e.reflectanceDb;
        if (e.attenuationDbKm && *e.attenuationDbKm > 0)
            j.attenuationDbKm = e.attenuationDbKm;
        link.events.append(j);
    }
    measureSections(link.events);
    link.totalLossDb = result.totalLossDb;
    link.orlDb = result.orlDb;
    if (!result.fiberEndM) {
        link.undetermined = QStringLiteral("enlace: a análise não encontrou o fim da fibra");
        if (!result.endDoubt.isEmpty())
            link.undetermined += QStringLiteral(" (") + result.endDoubt + QLatin1Char(')');
    } else if (*result.fiberEndM <= 0) {
        link.undetermined = QStringLiteral("enlace: o comprimento achado (%1 km) não é positivo")
                                .arg(Sor::decimal(*result.fiberEndM / 1000, 3));
    } else {
        link.lengthM = result.fiberEndM;
    }
    return link;
}

Link eventsLink(Sor::Trace &trace)
{
    if (const std::optional<Analysis::Result> found = Analysis::supplyEvents(trace))
        return analysedLink(trace, *found);
    return fileLink(trace);
}

} // namespace Acceptance
