#include "linkmerge/linkjudge.h"

#include "acceptance/verdictorder.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace LinkMerge {

namespace {

// One band's events as a link to judge (the launch aside: nothing before it gives its loss),
// numbered as the merged link numbers them.
Acceptance::Link bandLink(const Link &link, int band, const BandTotal &total)
{
    Acceptance::Link l;
    l.wavelengthNm = band;
    l.totalLossDb = total.totalLossDb;
    l.orlDb = total.orlDb;
    l.lengthM = link.endM;
    if (!link.endM)
        l.undetermined = QStringLiteral("enlace: nenhum traço achou o fim da fibra");
    double previous = 0;
    for (int i = 0; i < link.events.size(); ++i) {
        const LinkEvent &e = link.events.at(i);
        const BandValue *v = e.valueAt(band);
        if (e.kind == Kind::Launch || !v) {
            previous = e.distanceM;
            continue;
        }
        Acceptance::JudgedEvent j;
        j.number = i + 1;
        j.distanceM = e.distanceM;
        j.reflective = e.reflective;
        j.end = e.kind == Kind::End;
        j.lossDb = v->lossDb;
        // One connector reflects alike at every band: the worse that any band measured, as
        // `bidir` takes the worse of two ends' (a band whose noise hid the reflection keeps it).
        j.reflectanceDb = e.reflectanceDb();
        j.splitterWays = e.splitterWays;
        j.sectionM = e.distanceM - previous;
        if (i > 0) {
            for (const auto &a : link.sections.at(i - 1).attenuationDbKm) {
                if (a.first == band)
                    j.attenuationDbKm = a.second;
            }
        }
        previous = e.distanceM;
        l.events.append(j);
    }
    return l;
}

// One band's merged events as `bends` compares them.
Acceptance::Measurement bandMeasurement(const Link &link, int band)
{
    Acceptance::Measurement m;
    m.name = QStringLiteral("%1 nm").arg(band);
    m.link.wavelengthNm = band;
    for (const LinkEvent &e : link.events) {
        const BandValue *v = e.valueAt(band);
        if (!v || e.kind == Kind::Launch || e.kind == Kind::End)
            continue;
        Acceptance::JudgedEvent j;
        j.distanceM = e.distanceM;
        j.lossDb = v->lossDb;
        j.reflective = e.reflective;
        m.link.events.append(j);
    }
    for (const Shot &s : link.shots) {
        if (s.band == band) {
            m.pulseNs = std::max(m.pulseNs, s.pulseNs);
            m.spacingM = std::max(m.spacingM, s.spacingM);
        }
    }
    return m;
}

// Each band's events and totals against the limits: the link's verdict and reasons, and each
// event's the worst of its bands'.
void judgeBands(Link &link, const Acceptance::Limits &limits)
{
    bool judged = false;
    for (const BandTotal &t : std::as_const(link.totals)) {
        const Acceptance::Judgement j = Acceptance::judge(bandLink(link, t.band, t), limits);
        judged = true;
        link.verdict = Acceptance::worse(link.verdict, j.verdict);
        for (const QString &r : j.reasons)
            link.reasons << QStringLiteral("%1 nm: %2").arg(t.band).arg(r);
        for (const Acceptance::JudgedEvent &je : j.events) {
            LinkEvent &e = link.events[je.number - 1];
            e.verdict = Acceptance::worse(e.verdict, je.verdict);
            const QString text = Acceptance::eventVerdictText(je, limits, double(t.band));
            if (je.verdict == Acceptance::Verdict::Fail
                || je.verdict == Acceptance::Verdict::Unknown)
                e.reasons << QStringLiteral("%1 nm: %2").arg(t.band).arg(text);
        }
    }
    if (!judged)
        link.verdict = limits.checksAnything() ? Acceptance::Verdict::Unknown
                                               : Acceptance::Verdict::NoLimits;
}

// The front connector: no loss to judge, only its reflectance where a limit asks for it.
void judgeLaunch(Link &link, const Acceptance::Limits &limits)
{
    for (LinkEvent &e : link.events) {
        if (e.kind != Kind::Launch)
            continue;
        e.verdict = Acceptance::Verdict::NoLimits;
        const std::optional<double> reflectance = e.reflectanceDb();
        if (!limits.reflectanceMaxDb || !reflectance)
            continue;
        e.verdict = *reflectance <= *limits.reflectanceMaxDb ? Acceptance::Verdict::Pass
                                                             : Acceptance::Verdict::Fail;
        if (e.verdict == Acceptance::Verdict::Fail) {
            const QString reason
                = QStringLiteral("lançamento: refletância %1 dB acima do limite (%2)")
                      .arg(Sor::decimal(*reflectance, 2),
                           Acceptance::limitText(
                               QStringLiteral("reflectance_max_db"), limits, std::nullopt));
            e.reasons << reason;
            link.reasons << reason;
            link.verdict = Acceptance::worse(link.verdict, e.verdict);
        }
    }
}

} // namespace

void markBends(Link &link)
{
    double tolerance = 0;
    for (const Shot &s : link.shots)
        tolerance = std::max(tolerance, s.resolutionM);
    for (int k = 1; k < link.bands.size(); ++k) {
        const Acceptance::Wavelengths w
            = Acceptance::compareWavelengths(bandMeasurement(link, link.bands.first()),
                                             bandMeasurement(link, link.bands.at(k)),
                                             link.bendThresholdDb,
                                             tolerance);
        for (const Acceptance::WavelengthEvent &we : w.events) {
            if (!we.bend)
                continue;
            for (LinkEvent &e : link.events) {
                if (e.kind != Kind::Launch && e.kind != Kind::End
                    && std::abs(e.distanceM - we.distanceM) <= tolerance) {
                    e.bend = true;
                    break;
                }
            }
        }
    }
}

void judgeLink(Link &link, const Acceptance::Limits &limits)
{
    judgeBands(link, limits);
    judgeLaunch(link, limits);
}

} // namespace LinkMerge
