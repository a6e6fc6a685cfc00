#include "route/tracelocate.h"
#include "analysis/eventsource.h"

#include "acceptance/verdict.h"
#include "analysis/analysis.h"

#include <cmath>

namespace Route {

TraceEvents eventsOf(const Sor::Trace &trace)
{
    TraceEvents t;
    Acceptance::Link link = Acceptance::fileLink(trace);
    const bool stored = Analysis::storesEvents(trace);
    if (!stored && !trace.levelDb.empty()) {
        const Analysis::Result found
            = Analysis::analyze(trace, Analysis::thresholdsFor(trace, Analysis::ThresholdChoice()));
        link = Acceptance::analysedLink(trace, found);
        t.analysed = true;
    }
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (e.end || e.marker || e.pastEnd)
            continue;
        t.eventsM << e.distanceM;
        t.numbers << e.number;
    }
    t.endM = link.lengthM;
    t.spacingM = trace.spacingM.value_or(0);
    t.pulseM = Sor::pulseLengthM(trace);
    // A closure's event may lie a sample further than an event from its own feature.
    t.toleranceM = std::max(Sor::eventToleranceM(trace) + t.spacingM, 10.0);
    return t;
}

Located locateTrace(const QString &name,
                    const Sor::Trace &trace,
                    const Route &route,
                    const Given &given,
                    const QVector<double> &atM,
                    bool fromFarEnd)
{
    Located l;
    l.name = name;
    const Route &seen = route;
    const Route reversed = route.reversed();
    const Route &along = fromFarEnd ? reversed : seen;
    const TraceEvents t = eventsOf(trace);
    l.calibration = calibrate(along, t.eventsM, given, t.toleranceM);
    if (t.analysed)
        l.calibration.warnings.prepend(
            QStringLiteral("o arquivo não traz eventos: usados os da análise"));
    const auto add = [&](double otdrM, const QString &label, bool end) {
        Position p = place(along, l.calibration, otdrM, label, t.spacingM, t.pulseM);
        p.end = end;
        l.positions.append(fromFarEnd ? forward(route, p) : p);
    };
    for (int i = 0; i < t.eventsM.size(); ++i)
        add(t.eventsM.at(i), QStringLiteral("evento %1").arg(t.numbers.at(i)), false);
    if (t.endM)
        add(*t.endM, QStringLiteral("fim da fibra"), true);
    for (double at : atM)
        add(at, QStringLiteral("a %1 m").arg(QString::number(at, 'f', 0)), false);
    return l;
}

} // namespace Route
