#include "analysis/analysis.h"

#include "analysis/tracedata.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Analysis {

namespace {

// Whether backscatter a fibre gives follows an event: a section of fibre starts after it and
// before the next one.
bool fibreAfter(const Result &r, size_t k)
{
    const double from = r.events[k].distanceM;
    const double to = k + 1 < r.events.size() ? r.events[k + 1].distanceM : HUGE_VAL;
    return std::any_of(r.sections.begin(), r.sections.end(), [&](const Section &s) {
        return s.kind == SectionKind::Fibre && s.startM >= from && s.startM < to;
    });
}

// No reflection returns more light than was sent: such a figure is no reflectance.
void dropImpossibleReflectance(Event &e, QStringList &warnings)
{
    if (!e.reflectanceDb || *e.reflectanceDb <= 0)
        return;
    warnings << QStringLiteral("refletância do evento em %1 m não determinada: a medida "
                               "dá %2 dB, acima de 0 dB")
                    .arg(Sor::decimal(e.distanceM, 1), Sor::decimal(*e.reflectanceDb, 2));
    e.reflectanceDb.reset();
}

// Why event k is no fibre's: outside the span, or losing or gaining more than an event can;
// empty when it may be.
QString whyImpossible(const Result &r, size_t k, double originM, double lastM, double slackM)
{
    const Event &e = r.events[k];
    const bool end = e.type == EventType::End;
    if (e.distanceM < originM - slackM)
        return QStringLiteral("cai antes do início do enlace (%1 m)").arg(Sor::decimal(originM, 1));
    if (e.distanceM > lastM + slackM)
        return QStringLiteral("cai depois do último ponto (%1 m)").arg(Sor::decimal(lastM, 1));
    if (!end && e.lossMeasured && e.lossDb > HighestEventLossDb && !fibreAfter(r, k))
        return QStringLiteral("perde %1 dB, mais que %2 dB")
            .arg(Sor::decimal(e.lossDb, 3), Sor::decimal(HighestEventLossDb, 0));
    if (!end && e.lossMeasured && e.lossDb < -HighestEventGainDb)
        return QStringLiteral("ganha %1 dB, mais que %2 dB")
            .arg(Sor::decimal(-e.lossDb, 3), Sor::decimal(HighestEventGainDb, 0));
    return QString();
}

// An end that is left out, or that does not lie past the span's start and its first event,
// leaves the fibre's end undetermined.
void keepPossibleEnd(Result &r, double originM)
{
    if (r.fiberEndM && *r.fiberEndM <= originM) {
        r.warnings << QStringLiteral("fim da fibra não determinado: %1 m não fica depois do "
                                     "início do enlace (%2 m)")
                          .arg(Sor::decimal(*r.fiberEndM, 1), Sor::decimal(originM, 1));
        r.fiberEndM.reset();
    }
    if (r.fiberEndM && !r.events.empty() && *r.fiberEndM < r.events.front().distanceM) {
        r.warnings << QStringLiteral("fim da fibra não determinado: %1 m cai antes do primeiro "
                                     "evento")
                          .arg(Sor::decimal(*r.fiberEndM, 1));
        r.fiberEndM.reset();
    }
}

void keepPossibleTotals(Result &r)
{
    if (r.totalLossDb && *r.totalLossDb < 0) {
        r.warnings << QStringLiteral("perda total não determinada: a medida dá %1 dB, abaixo de 0")
                          .arg(Sor::decimal(*r.totalLossDb, 3));
        r.totalLossDb.reset();
    }
    if (r.orlDb && (*r.orlDb < LowestOrlDb || *r.orlDb > HighestOrlDb)) {
        r.warnings << QStringLiteral("ORL não determinado: a medida dá %1 dB, fora de %2 a %3 dB")
                          .arg(Sor::decimal(*r.orlDb, 2))
                          .arg(LowestOrlDb)
                          .arg(HighestOrlDb);
        r.orlDb.reset();
    }
}

// A section of a kilometre or more whose attenuation no fibre has keeps none.
void keepPossibleAttenuations(Result &r, double originM)
{
    double from = std::min(originM, r.events.empty() ? originM : r.events.front().distanceM);
    for (size_t i = 0; i < r.events.size(); ++i) {
        Event &e = r.events[i];
        const double length = e.distanceM - from;
        from = e.distanceM;
        if (!e.attenuationDbKm || length < ShortestJudgedSectionM)
            continue;
        if (*e.attenuationDbKm < LowestAttenuationDbKm
            || *e.attenuationDbKm > HighestAttenuationDbKm) {
            r.warnings << QStringLiteral("atenuação do trecho antes do evento %1 não determinada: "
                                         "a medida dá %2 dB/km em %3 km, fora de %4 a %5 dB/km")
                              .arg(i + 1)
                              .arg(Sor::decimal(*e.attenuationDbKm, 3),
                                   Sor::decimal(length / 1000, 3))
                              .arg(Sor::decimal(LowestAttenuationDbKm, 1),
                                   Sor::decimal(HighestAttenuationDbKm, 1));
            e.attenuationDbKm.reset();
        }
    }
}

// Values no fibre has are left out, each with the reason: events and an end outside the span
// (before its start, past the last point), events losing or gaining more than a fibre's event
// can, and totals out of range.
void keepPossibleValues(Result &r, double originM, double lastM, double slackM)
{
    std::vector<Event> kept;
    for (size_t k = 0; k < r.events.size(); ++k) {
        Event e = r.events[k];
        dropImpossibleReflectance(e, r.warnings);
        const QString why = whyImpossible(r, k, originM, lastM, slackM);
        if (why.isEmpty()) {
            kept.push_back(e);
            continue;
        }
        const bool end = e.type == EventType::End;
        r.warnings << QStringLiteral("%1 em %2 m deixado de fora: %3")
                          .arg(end ? QStringLiteral("fim da fibra") : QStringLiteral("evento"),
                               Sor::decimal(e.distanceM, 1),
                               why);
        if (end)
            r.fiberEndM.reset();
    }
    r.events = kept;
    keepPossibleEnd(r, originM);
    keepPossibleTotals(r);
    keepPossibleAttenuations(r, originM);
}

} // namespace

double defaultBackscatterDb(double wavelengthNm)
{
    // Typical of single-mode fibre (G.652), as instruments assume when none is set; elsewhere
    // Rayleigh scattering's fourth power of the wavelength from the 1550 nm value.
    const struct
    {
        double nm;
        double db;
    } known[] = {{1310, -79.4}, {1550, -81.7}, {1625, -82.4}};
    for (const auto &k : known) {
        if (std::abs(wavelengthNm - k.nm) <= 30)
            return k.db;
    }
    if (!(wavelengthNm > 0))
        return -81.7;
    return -81.7 + 40.0 * std::log10(1550.0 / wavelengthNm);
}

// The analysis' events as a file's event table holds them, so that the table and the plot show
// them as they show any: type digit, then "A" for the analysis, "E" for the end.
Sor::KeyEvents asKeyEvents(const Result &result)
{
    Sor::KeyEvents k;
    int number = 0;
    for (const Event &found : result.events) {
        Sor::Event e;
        e.number = ++number;
        e.distanceM = found.distanceM;
        e.lossDb = found.lossDb;
        e.reflectanceDb = found.reflectanceDb;
        e.attenuationDbPerKm = found.attenuationDbKm.value_or(0);
        const QChar type = found.reflectanceDb ? QLatin1Char('1') : QLatin1Char('0');
        const QChar mode = found.type == EventType::End ? QLatin1Char('E') : QLatin1Char('A');
        e.code = QString(type) + mode + QStringLiteral("9999");
        k.events.append(e);
    }
    k.endToEndLossDb = result.totalLossDb;
    k.opticalReturnLossDb = result.orlDb;
    return k;
}

QString typeName(EventType type)
{
    switch (type) {
    case EventType::Reflective:
        return QStringLiteral("reflective");
    case EventType::NonReflective:
        return QStringLiteral("non-reflective");
    case EventType::End:
        return QStringLiteral("end");
    }
    return QString();
}

bool prepare(const Input &input, TraceData &t)
{
    if (!input.levelsDb || input.count < 16 || !(input.spacingM > 0)
        || !std::isfinite(input.spacingM) || input.pulseNs <= 0 || !(input.groupIndex > 1)
        || !std::isfinite(input.groupIndex))
        return false;
    t.spacing = input.spacingM;
    t.origin = std::isfinite(input.originM) ? input.originM : 0;
    t.pulseNs = input.pulseNs;
    t.groupIndex = input.groupIndex;
    t.backscatterDb = input.backscatterDb;
    // Points past the last one with data carry nothing; "no data" inside lies at the lowest level.
    size_t last = input.count;
    while (last > 0 && !std::isfinite(input.levelsDb[last - 1]))
        --last;
    if (last < 16)
        return false;
    t.y.assign(input.levelsDb, input.levelsDb + last);
    t.noData.assign(last, false);
    for (size_t i = 0; i < last; ++i) {
        if (!std::isfinite(t.y[i])) {
            t.noData[i] = true;
            t.y[i] = std::numeric_limits<double>::quiet_NaN();
        }
    }
    markClipped(t);
    double lowest = HUGE_VAL;
    double highest = -HUGE_VAL;
    bool anyMissing = false;
    for (size_t i = 0; i < last; ++i) {
        if (t.noData[i]) {
            anyMissing = true;
        } else {
            lowest = std::min(lowest, t.y[i]);
            highest = std::max(highest, t.y[i]);
        }
    }
    if (!(highest - lowest > 1e-6) || highest - lowest > 1e4)
        return false;
    for (size_t i = 0; anyMissing && i < last; ++i) {
        if (t.noData[i])
            t.y[i] = lowest;
    }
    const double pulseM = Sor::pulseLengthM(input.pulseNs, input.groupIndex);
    const double pulsePoints = pulseM / input.spacingM;
    if (!(pulsePoints < double(t.y.size())))
        return false;
    t.pulse = size_t(std::max(1.0, std::round(pulsePoints)));
    if (input.spanStartM && std::isfinite(*input.spanStartM) && *input.spanStartM > t.origin) {
        const double at = std::round((*input.spanStartM - t.origin) / input.spacingM);
        if (at < double(t.y.size()))
            t.spanStart = size_t(at);
    }
    t.fits = Fits(t.y);
    return true;
}

Result analyze(const Input &input, const Thresholds &thresholds)
{
    Result result;
    result.thresholds = thresholds;
    TraceData t;
    if (!prepare(input, t))
        return result;
    findFloor(t);
    estimateNoise(t);
    scaleNoise(t);
    findLaunch(t);
    steadyNoise(t);
    measureEvents(t, findCandidates(t, thresholds), thresholds, result);
    keepPossibleValues(result,
                       t.origin + double(std::max(t.spanStart, t.panel)) * t.spacing,
                       t.origin + double(input.count - 1) * t.spacing,
                       double(t.pulse + 2) * t.spacing);
    return result;
}

bool inputOf(const Sor::Trace &trace, Input &input)
{
    if (!trace.fixed || trace.fixed->pulseWidthsNs.isEmpty() || !trace.spacingM
        || trace.levelDb.empty())
        return false;
    const Sor::FixedParameters &f = *trace.fixed;
    size_t count = trace.levelDb.size();
    if (f.pointsPerPulse.size() > 1 && f.pointsPerPulse.first() > 0)
        count = std::min(count, size_t(f.pointsPerPulse.first()));
    input.pulseNs = f.pulseWidthsNs.first();
    input.groupIndex = trace.groupIndex.value_or(Sor::DefaultGroupIndex);
    input.spacingM = *trace.spacingM;
    // On the span's axis the front panel lies at minus the user offset: the points before it
    // are the instrument's inside, no fibre, and a launch cable runs from there to 0.
    size_t first = 0;
    if (trace.offsets && trace.offsets->applied) {
        const double panelM = -trace.offsets->userM;
        const double reach = Sor::pulseLengthM(input.pulseNs, input.groupIndex);
        while (first < count && trace.distanceM[first] < panelM - reach)
            ++first;
        if (trace.offsets->userM != 0)
            input.spanStartM = 0.0;
    }
    if (first >= count)
        return false;
    input.levelsDb = trace.levelDb.data() + first;
    input.count = count - first;
    input.originM = trace.distanceM[first];
    input.backscatterDb = f.backscatter != 0
                              ? -std::abs(f.backscatter) / 10.0
                              : defaultBackscatterDb(trace.wavelengthNm.value_or(1550));
    return true;
}

Thresholds thresholdsFor(const Sor::Trace &trace, const ThresholdChoice &choice)
{
    Thresholds t;
    if (trace.fixed) {
        // Stored in thousandths of a dB, a reflectance's sign left out; 0 or 65535 for none.
        const Sor::FixedParameters &f = *trace.fixed;
        const auto given = [](quint16 value) { return value == 0xffff ? 0.0 : value / 1000.0; };
        const double loss = given(f.lossThreshold);
        const double reflectance = -given(f.reflectanceThreshold);
        const double end = given(f.endOfFiberThreshold);
        if (loss >= FileLossThresholdsDb[0] && loss <= FileLossThresholdsDb[1])
            t.lossDb = loss;
        if (reflectance >= FileReflectanceThresholdsDb[0]
            && reflectance <= FileReflectanceThresholdsDb[1])
            t.reflectanceDb = reflectance;
        if (end >= FileEndThresholdsDb[0] && end <= FileEndThresholdsDb[1])
            t.endDb = end;
    }
    t.lossDb = choice.lossDb.value_or(t.lossDb);
    t.reflectanceDb = choice.reflectanceDb.value_or(t.reflectanceDb);
    t.endDb = choice.endDb.value_or(t.endDb);
    return t;
}

Result analyze(const Sor::Trace &trace)
{
    return analyze(trace, thresholdsFor(trace));
}

Result analyze(const Sor::Trace &trace, const Thresholds &thresholds)
{
    Input input;
    if (!inputOf(trace, input)) {
        Result none;
        none.thresholds = thresholds;
        return none;
    }
    return analyze(input, thresholds);
}

} // namespace Analysis
