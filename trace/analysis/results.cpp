#include "analysis/tracedata.h"

#include <cmath>

// What the analysis reports of the events it measured: their places, kinds, losses and
// reflectances, how sure it is of each, the sections of the trace between them, and the
// fibre's totals.
namespace Analysis {

namespace {

// A fibre end's reflection stands on the backscatter before it; past it there is none.
double endHeight(const Measured &e)
{
    return e.topDb - e.before.at(double(e.at));
}

double metresAt(const TraceData &t, size_t i)
{
    return t.origin + double(i) * t.spacing;
}

// The returned power: the backscatter of each section, summed in closed form over its line,
// and each reflection, both brought back to the launch; -10 log10 of it is the ORL.
std::optional<double>
returnLoss(const TraceData &t, const std::vector<Measured> &events, const Line &first, size_t end)
{
    const double launch = first.at(0);
    const double perMetre
        = std::pow(10, t.backscatterDb / 10) * 2 * t.groupIndex / (Sor::LightSpeed * 1e-9);
    double returned = 0;
    auto section = [&](const Line &line, size_t from, size_t to) {
        if (to <= from)
            return;
        const double ratio = std::pow(10, line.slope / 5);
        const double firstPower = std::pow(10, (line.at(double(from)) - launch) / 5);
        const double count = double(to - from);
        const double sum
            = std::abs(ratio - 1) < 1e-12 ? count : (1 - std::pow(ratio, count)) / (1 - ratio);
        returned += perMetre * t.spacing * firstPower * sum;
    };
    size_t from = 0;
    Line line = first;
    for (const Measured &e : events) {
        section(line, from, e.at);
        if (e.peaked)
            returned += std::pow(10, reflectance(t, e.end ? endHeight(e) : e.heightDb) / 10)
                        * std::pow(10, (e.before.at(double(e.at)) - launch) / 5);
        from = e.at;
        line = e.after;
        if (e.end)
            break;
    }
    if (events.empty() || !events.back().end)
        section(line, from, end);
    if (!(returned > 0) || !std::isfinite(returned))
        return std::nullopt;
    return -10 * std::log10(returned);
}

// An event's step (or its reflection's height, or an end's drop into the floor) against its
// own error, and the straightness of the lines it was measured by.
Confidence confidenceOf(const TraceData &t, const Measured &e)
{
    Confidence c;
    const double before = e.at > e.beforeFrom ? t.fits.residual(e.beforeFrom, e.at, e.before) : 0;
    const double after
        = e.afterTo > e.afterFrom ? t.fits.residual(e.afterFrom, e.afterTo, e.after) : 0;
    c.residualDb = e.end ? before : std::max(before, after);
    const double noise = std::max({t.noiseAt(e.at), before, 1e-6});
    if (e.end) {
        const double drop = t.floorDb ? e.before.at(double(e.at)) - *t.floorDb : 0;
        c.sigmas = std::max(drop, e.peaked ? endHeight(e) : 0.0) / noise;
        return c;
    }
    c.sigmas = std::isfinite(e.lossError) && e.lossError > 0 ? std::abs(e.lossDb) / e.lossError : 0;
    if (e.peaked)
        c.sigmas = std::max(c.sigmas, e.heightDb / noise);
    return c;
}

Section fibreSection(const TraceData &t, size_t from, size_t to, const Line &line)
{
    Section s;
    s.kind = SectionKind::Fibre;
    s.startM = metresAt(t, from);
    s.endM = metresAt(t, to);
    s.attenuationDbKm = -line.slope / t.spacing * 1000;
    s.startLevelDb = line.at(double(from));
    s.endLevelDb = line.at(double(to));
    // The points' spread about the line, never less than the noise the analysis estimated
    // there (a level stored to a thousandth of a dB is known no better than that).
    const double residual = to > from + 2 ? t.fits.residual(from, to, line) : 0;
    s.noiseDb = std::max(residual, t.noiseAt(from + (to - from) / 2));
    return s;
}

void add(
    std::vector<Section> &sections, SectionKind kind, const TraceData &t, size_t from, size_t to)
{
    if (to <= from)
        return;
    Section s;
    s.kind = kind;
    s.startM = metresAt(t, from);
    s.endM = metresAt(t, to);
    sections.push_back(s);
}

// Past the end: the receiver's tail with its ghosts, then the floor.
void afterEnd(const TraceData &t, const Measured &end, const PastEnd &past, std::vector<Section> &s)
{
    const size_t n = t.y.size();
    size_t at = std::min(n, end.at + deadZone(t, end.peaked));
    const size_t tailTo = std::clamp(past.tailTo, at, n);
    for (const size_t g : past.ghosts) {
        if (g < at || g >= n)
            continue;
        add(s, SectionKind::Tail, t, at, std::min(tailTo, g));
        add(s, SectionKind::Floor, t, std::max(at, tailTo), g);
        at = std::min(n, g + deadZone(t, true));
        add(s, SectionKind::Ghost, t, g, at);
    }
    if (at < tailTo) {
        add(s, SectionKind::Tail, t, at, tailTo);
        at = tailTo;
    }
    add(s, SectionKind::Floor, t, at, n);
}

std::vector<Section>
sectionsOf(const TraceData &t, const std::vector<Measured> &events, const PastEnd &past, size_t end)
{
    std::vector<Section> s;
    add(s, SectionKind::Inside, t, 0, t.panel);
    const size_t first = std::min(backscatterFrom(t), t.y.size());
    add(s, SectionKind::Launch, t, t.panel, first);
    size_t from = first;
    for (const Measured &e : events) {
        if (e.at > from)
            s.push_back(fibreSection(t, from, e.at, e.before));
        if (e.end) {
            afterEnd(t, e, past, s);
            return s;
        }
        from = std::max(from, pastEvent(t, e));
    }
    const Line last = events.empty() ? t.fits.line(first, end) : events.back().after;
    const size_t stop = std::min(end, t.floorAt);
    if (stop > from)
        s.push_back(fibreSection(t, from, stop, last));
    add(s, SectionKind::Floor, t, std::max(from, stop), t.y.size());
    return s;
}

} // namespace

QString sectionName(SectionKind kind)
{
    switch (kind) {
    case SectionKind::Inside:
        return QStringLiteral("inside");
    case SectionKind::Launch:
        return QStringLiteral("launch");
    case SectionKind::Fibre:
        return QStringLiteral("fibre");
    case SectionKind::Tail:
        return QStringLiteral("tail");
    case SectionKind::Ghost:
        return QStringLiteral("ghost");
    case SectionKind::Floor:
        return QStringLiteral("floor");
    }
    return QString();
}

QString sectionText(SectionKind kind)
{
    switch (kind) {
    case SectionKind::Inside:
        return QStringLiteral("interior do equipamento");
    case SectionKind::Launch:
        return QStringLiteral("lançamento");
    case SectionKind::Fibre:
        return QStringLiteral("fibra");
    case SectionKind::Tail:
        return QStringLiteral("cauda do receptor");
    case SectionKind::Ghost:
        return QStringLiteral("fantasma");
    case SectionKind::Floor:
        return QStringLiteral("piso de ruído");
    }
    return QString();
}

QString confidenceText(const Confidence &c)
{
    // Beyond a thousand deviations the figure says nothing more.
    const QString sigmas = c.sigmas >= 1000 ? QStringLiteral(">999σ")
                                            : QString::number(c.sigmas, 'f', 0) + QChar(0x3c3);
    return c.sure() ? sigmas : QStringLiteral("incerto (%1)").arg(sigmas);
}

void report(const TraceData &t,
            const std::vector<Measured> &events,
            const PastEnd &past,
            size_t end,
            Result &result)
{
    const Line first
        = events.empty() ? t.fits.line(backscatterFrom(t), end) : events.front().before;
    // Without a launch cable, the front connector the trace starts on is the span's first
    // event, at its start: where the axis' 0 lies on that reflection, and before every other.
    const double zero = -t.origin / t.spacing;
    const bool onLaunch = t.launchHeightDb && t.spanStart == 0 && zero >= 0
                          && zero <= double(t.launchTop + t.pulse + 2);
    if (onLaunch && (events.empty() || metresAt(t, events.front().at) > 0)) {
        Event launch;
        launch.type = EventType::Reflective;
        launch.lossMeasured = false;
        launch.reflectanceDb = reflectance(t, *t.launchHeightDb);
        launch.confidence.sigmas = *t.launchHeightDb / std::max(t.noiseAt(t.launchEnd), 1e-6);
        result.events.push_back(launch);
    }
    for (const Measured &e : events) {
        Event out;
        out.distanceM = metresAt(t, e.at);
        out.type = e.end          ? EventType::End
                   : e.reflective ? EventType::Reflective
                                  : EventType::NonReflective;
        out.lossDb = e.end && t.floorDb ? e.before.at(double(e.at)) - *t.floorDb : e.lossDb;
        if (e.reflective)
            out.reflectanceDb = reflectance(t, e.end ? endHeight(e) : e.heightDb);
        // Before a reflection in the launch's dead zone the receiver still recovers from the
        // launch: the level there gives the loss, its slope no fibre's attenuation.
        if (&e != &events.front() || t.launchReflection == 0 || e.at > t.launchReflection)
            out.attenuationDbKm = -e.before.slope / t.spacing * 1000;
        out.confidence = confidenceOf(t, e);
        result.events.push_back(out);
    }
    const bool ended = !events.empty() && events.back().end;
    const double endAt = ended ? double(events.back().at) : double(end - 1);
    const Line &last = ended ? events.back().before : events.empty() ? first : events.back().after;
    if (ended) {
        result.fiberEndM = metresAt(t, events.back().at);
        result.endConfidence = confidenceOf(t, events.back());
    }
    result.totalLossDb = first.at(double(t.spanStart)) - last.at(endAt);
    result.orlDb = returnLoss(t, events, first, end);
    result.sections = sectionsOf(t, events, past, end);
}

} // namespace Analysis
