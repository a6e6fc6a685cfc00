#include "linkmerge/linkmerge.h"

#include "analysis/eventaxis.h"
#include "linkmerge/splitters.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace LinkMerge {

namespace {

// Where the backscatter's spread about its own line passes this (dB) for good, the trace has
// sunk into its noise: a loss read there is the noise's.
constexpr double FadedSpreadDb = 0.5;
// Stretches of this many windows in a row past that spread end the reach (one alone may be a
// reflection).
constexpr int FadedWindows = 3;
// A step this big, or a reflection this strong, that a shot reaching it in the clear does not
// see at all is a disagreement, not a matter of its noise.
constexpr double PlainStepDb = 0.5;
constexpr double PlainReflectanceDb = -45;

double pulseLength(const Shot &s)
{
    const double n = s.trace && s.trace->groupIndex && *s.trace->groupIndex > 1
                         ? *s.trace->groupIndex
                         : Sor::DefaultGroupIndex;
    return Sor::pulseLengthM(s.pulseNs, n);
}

// The spread (dB) of levels [from, to) about their least-squares line; NaN when too few of them
// are levels at all ("no data").
double
spreadAboutLine(const std::vector<double> &x, const std::vector<double> &y, size_t from, size_t to)
{
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = from; i < to; ++i) {
        if (std::isnan(y[i]))
            continue;
        n += 1;
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    if (n < 0.5 * double(to - from) || n < 4)
        return std::numeric_limits<double>::quiet_NaN();
    const double det = n * sxx - sx * sx;
    const double slope = det != 0 ? (n * sxy - sx * sy) / det : 0;
    const double intercept = (sy - slope * sx) / n;
    double ss = 0;
    for (size_t i = from; i < to; ++i) {
        if (!std::isnan(y[i])) {
            const double r = y[i] - (intercept + slope * x[i]);
            ss += r * r;
        }
    }
    return std::sqrt(ss / n);
}

// Where a trace that finds no end sinks into its noise for good: the start of the first run of
// windows whose spread passes FadedSpreadDb; the last point when it never does.
double fadeM(const Sor::Trace &t, const Shot &s)
{
    const std::vector<double> &x = t.distanceM;
    const std::vector<double> &y = t.levelDb;
    if (x.empty())
        return 0;
    const double pulsePoints = s.spacingM > 0 ? pulseLength(s) / s.spacingM : 1;
    const size_t window = size_t(std::max(32.0, 4 * pulsePoints));
    size_t first = 0;
    while (first < x.size() && x[first] < s.deadZoneM)
        ++first;
    int faded = 0;
    size_t fadeStart = 0;
    for (size_t from = first; from + window <= x.size(); from += window) {
        const double spread = spreadAboutLine(x, y, from, from + window);
        if (std::isnan(spread) || spread > FadedSpreadDb) {
            if (faded++ == 0)
                fadeStart = from;
            if (faded >= FadedWindows)
                return x[fadeStart];
        } else {
            faded = 0;
        }
    }
    return x.back();
}

// A level line's slope over [fromM, toM] of a trace (dB/km, positive for a loss); none where
// fewer than 16 levels lie there.
std::optional<double> attenuationOver(const Sor::Trace &t, double fromM, double toM)
{
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    const auto begin = std::lower_bound(t.distanceM.begin(), t.distanceM.end(), fromM);
    for (auto it = begin; it != t.distanceM.end() && *it <= toM; ++it) {
        const double y = t.levelDb[size_t(it - t.distanceM.begin())];
        if (std::isnan(y))
            continue;
        const double x = (*it - fromM) / 1000.0;
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double det = n * sxx - sx * sx;
    if (n < 16 || det <= 0)
        return std::nullopt;
    return -(n * sxy - sx * sy) / det;
}

// One band's events before the bands are laid side by side.
struct Candidate
{
    double distanceM = 0;
    int shot = -1;
    bool reflective = false;
    std::optional<double> lossDb;
    std::optional<double> reflectanceDb;
    QVector<Reading> readings;
};

struct BandLink
{
    int band = 0;
    std::optional<Candidate> launch;
    QVector<Candidate> events;
    std::optional<Candidate> end;
    int endShot = -1;
};

QString shotWords(const Shot &s)
{
    return QStringLiteral("%1 (%2 ns)").arg(s.name).arg(s.pulseNs);
}

QString km(double m)
{
    return Sor::kilometres(m);
}

// Whether a shot's points give events at a place: past its front dead zone, short of where it
// stops reaching (by a resolution, where it fades rather than ends).
bool trusted(const Shot &s, double distanceM)
{
    const double last = s.endFound ? s.reachM : s.reachM - s.resolutionM;
    return distanceM >= s.deadZoneM && distanceM <= last;
}

BandLink mergeBand(const QVector<Shot> &shots,
                   const QVector<int> &members,
                   int band,
                   QVector<Disagreement> &disagreements,
                   QStringList &notes)
{
    BandLink b;
    b.band = band;
    QVector<int> order = members;
    std::sort(order.begin(), order.end(), [&shots](int x, int y) {
        const Shot &a = shots.at(x);
        const Shot &c = shots.at(y);
        return a.resolutionM != c.resolutionM ? a.resolutionM < c.resolutionM
                                              : a.pulseNs < c.pulseNs;
    });
    for (int si : order) {
        const Shot &s = shots.at(si);
        for (const Analysis::Event &e : s.analysis.events) {
            if (e.type == Analysis::EventType::End)
                continue;
            const std::optional<double> loss
                = e.lossMeasured ? std::optional<double>(e.lossDb) : std::nullopt;
            const bool reflective = e.type == Analysis::EventType::Reflective;
            const Reading reading{
                si, e.distanceM, loss, reflective, reflective ? e.reflectanceDb : std::nullopt};
            if (!e.lossMeasured) {
                // The front connector: no backscatter before it to measure its loss by.
                if (!b.launch)
                    b.launch = Candidate{e.distanceM, si, true, std::nullopt, e.reflectanceDb, {}};
                b.launch->readings.append(reading);
                continue;
            }
            if (!trusted(s, e.distanceM) && e.distanceM > s.deadZoneM)
                continue;
            // In its own dead zone a long pulse's receiver is still recovering: where a finer
            // shot sees the fibre in the clear, what the long pulse finds there is not taken.
            if (e.distanceM < s.deadZoneM) {
                bool finer = false;
                for (int other : std::as_const(order)) {
                    if (other == si)
                        break;
                    finer = finer || trusted(shots.at(other), e.distanceM);
                }
                if (finer)
                    continue;
            }
            int nearest = -1;
            for (int c = 0; c < b.events.size(); ++c) {
                const Candidate &cand = b.events.at(c);
                const double tol = std::max(s.resolutionM, shots.at(cand.shot).resolutionM);
                const double gap = std::abs(cand.distanceM - e.distanceM);
                if (gap <= tol
                    && (nearest < 0
                        || gap < std::abs(b.events.at(nearest).distanceM - e.distanceM)))
                    nearest = c;
            }
            if (nearest >= 0) {
                b.events[nearest].readings.append(reading);
                continue;
            }
            b.events.append(Candidate{e.distanceM,
                                      si,
                                      reading.reflective,
                                      loss,
                                      e.type == Analysis::EventType::Reflective ? e.reflectanceDb
                                                                                : std::nullopt,
                                      {reading}});
        }
    }
    std::sort(b.events.begin(), b.events.end(), [](const Candidate &x, const Candidate &y) {
        return x.distanceM < y.distanceM;
    });
    // A reflection that the finest shot's noise hid is still a reflection: its reflectance from
    // the finest shot that saw it.
    for (Candidate &c : b.events) {
        if (c.reflective)
            continue;
        for (const Reading &r : std::as_const(c.readings)) {
            if (r.reflective && r.reflectanceDb) {
                c.reflective = true;
                c.reflectanceDb = r.reflectanceDb;
                break;
            }
        }
    }

    // The end: from the shots that reach it, placed by the finest of them.
    double far = -1;
    for (int si : order) {
        if (shots.at(si).endFound)
            far = std::max(far, shots.at(si).reachM);
    }
    for (int si : order) {
        const Shot &s = shots.at(si);
        if (!s.endFound)
            continue;
        if (far - s.reachM <= s.resolutionM + shots.at(order.last()).resolutionM) {
            if (b.endShot < 0) {
                b.endShot = si;
                std::optional<double> reflectance;
                for (const Analysis::Event &e : s.analysis.events) {
                    if (e.type == Analysis::EventType::End)
                        reflectance = e.reflectanceDb;
                }
                b.end = Candidate{s.reachM, si, bool(reflectance), std::nullopt, reflectance, {}};
            }
            b.end->readings.append({si, s.reachM, std::nullopt, false, std::nullopt});
        } else {
            notes << QStringLiteral("%1 não alcança o fim: a %2 seu traço cai no ruído (um "
                                    "evento do enlace, não o fim da fibra)")
                         .arg(shotWords(s), km(s.reachM));
        }
    }

    // Where the shots disagree: a loss read differently beyond what their pulses can tell, or
    // a plain event that a shot reaching it in the clear does not see.
    for (int si : order) {
        const Shot &s = shots.at(si);
        for (const Analysis::Event &e : s.analysis.events) {
            if (e.type == Analysis::EventType::End || !e.lossMeasured || !trusted(s, e.distanceM))
                continue;
            double expected = 0;
            int others = 0;
            QStringList who;
            for (const Candidate &c : std::as_const(b.events)) {
                if (c.shot == si || std::abs(c.distanceM - e.distanceM) > s.resolutionM
                    || !c.lossDb)
                    continue;
                expected += *c.lossDb;
                ++others;
                who << QStringLiteral("%1 mede %2 dB em %3")
                           .arg(shotWords(shots.at(c.shot)),
                                Sor::decimal(*c.lossDb, 3),
                                km(c.distanceM));
            }
            if (others == 0 || std::abs(e.lossDb - expected) <= lossAgreementDb(expected))
                continue;
            disagreements.append({e.distanceM,
                                  QStringLiteral("%1 nm, %2: %3 mede %4 dB; %5")
                                      .arg(band)
                                      .arg(km(e.distanceM),
                                           shotWords(s),
                                           Sor::decimal(e.lossDb, 3),
                                           who.join(QStringLiteral(", ")))});
        }
    }
    for (const Candidate &c : std::as_const(b.events)) {
        const bool plain = (c.lossDb && std::abs(*c.lossDb) >= PlainStepDb)
                           || (c.reflectanceDb && *c.reflectanceDb >= PlainReflectanceDb);
        if (!plain)
            continue;
        for (int si : order) {
            const Shot &s = shots.at(si);
            if (si == c.shot || !trusted(s, c.distanceM - s.resolutionM)
                || !trusted(s, c.distanceM + s.resolutionM)
                || c.distanceM < s.deadZoneM + s.resolutionM)
                continue;
            bool seen = false;
            for (const Analysis::Event &e : s.analysis.events) {
                const double tol = std::max(s.resolutionM, shots.at(c.shot).resolutionM);
                seen = seen || std::abs(e.distanceM - c.distanceM) <= tol;
            }
            if (!seen) {
                disagreements.append({c.distanceM,
                                      QStringLiteral("%1 nm, %2: %3 vê um evento (%4 dB) que "
                                                     "%5 não vê")
                                          .arg(band)
                                          .arg(km(c.distanceM),
                                               shotWords(shots.at(c.shot)),
                                               Sor::optionalDecimal(c.lossDb),
                                               shotWords(s))});
            }
        }
    }
    return b;
}

Acceptance::Verdict worse(Acceptance::Verdict a, Acceptance::Verdict b)
{
    const auto rank = [](Acceptance::Verdict v) {
        switch (v) {
        case Acceptance::Verdict::Fail:
            return 3;
        case Acceptance::Verdict::Unknown:
            return 2;
        case Acceptance::Verdict::Pass:
            return 1;
        case Acceptance::Verdict::NoLimits:
            return 0;
        }
        return 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

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
        for (const BandValue &b : e.bands) {
            if (b.reflectanceDb && (!j.reflectanceDb || *b.reflectanceDb > *j.reflectanceDb))
                j.reflectanceDb = b.reflectanceDb;
        }
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

} // namespace

const BandValue *LinkEvent::valueAt(int band) const
{
    for (const BandValue &v : bands) {
        if (v.band == band)
            return &v;
    }
    return nullptr;
}

std::optional<double> LinkEvent::lossDb() const
{
    for (const BandValue &v : bands) {
        if (v.lossDb)
            return v.lossDb;
    }
    return std::nullopt;
}

int Link::splitters() const
{
    return int(std::count_if(
        events.begin(), events.end(), [](const LinkEvent &e) { return e.kind == Kind::Splitter; }));
}

int Link::bends() const
{
    return int(
        std::count_if(events.begin(), events.end(), [](const LinkEvent &e) { return e.bend; }));
}

double lossAgreementDb(double lossDb)
{
    return std::max(0.15, 0.05 * std::abs(lossDb));
}

Shot shotOf(const QString &name, const Sor::Trace &trace, const Analysis::Result &analysis)
{
    Shot s;
    s.name = name;
    s.trace = std::make_shared<const Sor::Trace>(trace);
    s.analysis = analysis;
    if (trace.fixed && !trace.fixed->pulseWidthsNs.isEmpty())
        s.pulseNs = trace.fixed->pulseWidthsNs.first();
    s.spacingM = trace.spacingM.value_or(0);
    const int nominal = trace.general ? trace.general->nominalWavelengthNm : 0;
    s.wavelengthNm = trace.wavelengthNm.value_or(nominal);
    s.band = nominal > 0                      ? Sor::bandOf(nominal)
             : trace.wavelengthNm.has_value() ? Sor::bandOf(*trace.wavelengthNm)
                                              : 0;
    if (trace.general) {
        s.cableId = trace.general->cableId.trimmed();
        s.fiberId = trace.general->fiberId.trimmed();
    }
    s.resolutionM = Sor::eventToleranceM(trace);
    // The front connector blinds the receiver for two pulse lengths past its top, and a long
    // pulse's receiver recovers for some more (seen: up to five).
    s.deadZoneM = 5 * pulseLength(s) + 2 * s.spacingM;
    s.endFound = analysis.fiberEndM.has_value() && *analysis.fiberEndM > 0;
    s.reachM = s.endFound ? *analysis.fiberEndM : fadeM(trace, s);
    return s;
}

QString oneFibreProblem(const QVector<Shot> &shots, bool sameFibre)
{
    if (shots.isEmpty())
        return QStringLiteral("nenhum traço para juntar");
    for (const Shot &s : shots) {
        if (!s.trace || s.trace->points() == 0 || s.pulseNs <= 0 || s.spacingM <= 0)
            return QStringLiteral("%1 não traz pontos, pulso e espaçamento").arg(s.name);
        if (s.band <= 0)
            return QStringLiteral("o comprimento de onda de %1 não é conhecido").arg(s.name);
    }
    for (int i = 0; i < shots.size(); ++i) {
        for (int j = i + 1; j < shots.size(); ++j) {
            const Shot &a = shots.at(i);
            const Shot &b = shots.at(j);
            const auto differ = [](const QString &x, const QString &y) {
                return !x.isEmpty() && !y.isEmpty() && x != y;
            };
            if (!sameFibre && (differ(a.cableId, b.cableId) || differ(a.fiberId, b.fiberId))) {
                return QStringLiteral("são fibras diferentes: %1 / %2 em %3, %4 / %5 em %6 "
                                      "(--same-fibre junta assim mesmo)")
                    .arg(a.cableId, a.fiberId, a.name, b.cableId, b.fiberId, b.name);
            }
        }
    }
    // A fibre ends once: a shot's end where another, ending past it, sees nothing at all is
    // another fibre's end. Only found ends count: where a trace fades is a guess of the noise.
    for (const Shot &a : shots) {
        if (!a.endFound)
            continue;
        for (const Shot &b : shots) {
            const double tol = a.resolutionM + b.resolutionM;
            if (&a == &b || !b.endFound || b.reachM <= a.reachM + tol)
                continue;
            bool seen = false;
            for (const Analysis::Event &e : b.analysis.events)
                seen = seen || std::abs(e.distanceM - a.reachM) <= tol;
            if (!seen) {
                return QStringLiteral("não são a mesma fibra: %1 termina em %2, mas %3 segue até "
                                      "%4 sem evento ali")
                    .arg(shotWords(a), km(a.reachM), shotWords(b), km(b.reachM));
            }
        }
    }
    return QString();
}

Link mergeShots(const QVector<Shot> &shots,
                const Acceptance::Limits &limits,
                double bendThresholdDb)
{
    Link link;
    link.shots = shots;
    link.bendThresholdDb = bendThresholdDb;
    for (const Shot &s : shots) {
        if (!link.bands.contains(s.band))
            link.bands.append(s.band);
    }
    std::sort(link.bands.begin(), link.bands.end());

    QVector<BandLink> bandLinks;
    for (int band : std::as_const(link.bands)) {
        QVector<int> members;
        for (int i = 0; i < shots.size(); ++i) {
            if (shots.at(i).band == band)
                members.append(i);
        }
        bandLinks.append(mergeBand(shots, members, band, link.disagreements, link.notes));
    }
    const auto resolution = [&shots](int shot) { return shots.at(shot).resolutionM; };

    // The bands laid side by side: one event where their places lie within the coarser
    // resolution, placed by the finest shot.
    LinkEvent launch;
    launch.kind = Kind::Launch;
    for (const BandLink &b : std::as_const(bandLinks)) {
        if (!b.launch)
            continue;
        if (launch.placeShot < 0 || resolution(b.launch->shot) < resolution(launch.placeShot)) {
            launch.placeShot = b.launch->shot;
            launch.distanceM = b.launch->distanceM;
        }
        launch.reflective = true;
        launch.bands.append({b.band, b.launch->shot, std::nullopt, b.launch->reflectanceDb});
        launch.readings += b.launch->readings;
    }
    if (launch.placeShot < 0 && !shots.isEmpty()) {
        // No front connector seen (a trace that starts past it): the span's start is the
        // launch all the same, so that the first section has its length and attenuation.
        launch.placeShot = 0;
        for (int i = 1; i < shots.size(); ++i) {
            if (shots.at(i).resolutionM < shots.at(launch.placeShot).resolutionM)
                launch.placeShot = i;
        }
        launch.distanceM = 0;
    }
    if (launch.placeShot >= 0)
        link.events.append(launch);

    struct Item
    {
        int band;
        Candidate c;
    };
    QVector<Item> items;
    for (const BandLink &b : std::as_const(bandLinks)) {
        for (const Candidate &c : b.events)
            items.append({b.band, c});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item &x, const Item &y) {
        return x.c.distanceM < y.c.distanceM;
    });
    for (const Item &item : std::as_const(items)) {
        LinkEvent *into = nullptr;
        if (!link.events.isEmpty() && link.events.last().kind != Kind::Launch) {
            LinkEvent &last = link.events.last();
            const double tol = std::max(resolution(last.placeShot), resolution(item.c.shot));
            if (std::abs(last.distanceM - item.c.distanceM) <= tol && !last.valueAt(item.band))
                into = &last;
        }
        if (!into) {
            link.events.append(LinkEvent());
            into = &link.events.last();
            into->placeShot = item.c.shot;
            into->distanceM = item.c.distanceM;
        } else if (resolution(item.c.shot) < resolution(into->placeShot)) {
            into->placeShot = item.c.shot;
            into->distanceM = item.c.distanceM;
        }
        into->reflective = into->reflective || item.c.reflective;
        into->bands.append({item.band, item.c.shot, item.c.lossDb, item.c.reflectanceDb});
        into->readings += item.c.readings;
    }

    // The end: the bands' ends, placed by the finest shot that reaches it.
    LinkEvent end;
    end.kind = Kind::End;
    for (const BandLink &b : std::as_const(bandLinks)) {
        if (!b.end)
            continue;
        if (end.placeShot >= 0
            && std::abs(end.distanceM - b.end->distanceM)
                   > resolution(end.placeShot) + resolution(b.end->shot)) {
            link.disagreements.append(
                {b.end->distanceM,
                 QStringLiteral("o fim em %1 nm fica em %2 (%3); em %4 nm, em %5 (%6)")
                     .arg(end.bands.first().band)
                     .arg(km(end.distanceM), shotWords(shots.at(end.placeShot)))
                     .arg(b.band)
                     .arg(km(b.end->distanceM), shotWords(shots.at(b.end->shot)))});
        }
        if (end.placeShot < 0 || resolution(b.end->shot) < resolution(end.placeShot)) {
            end.placeShot = b.end->shot;
            end.distanceM = b.end->distanceM;
        }
        end.reflective = end.reflective || b.end->reflective;
        end.bands.append({b.band, b.end->shot, std::nullopt, b.end->reflectanceDb});
        end.readings += b.end->readings;
    }
    if (end.placeShot >= 0) {
        // Nothing lies past the fibre's end.
        while (!link.events.isEmpty() && link.events.last().kind != Kind::Launch
               && link.events.last().distanceM >= end.distanceM)
            link.events.removeLast();
        link.events.append(end);
        link.endM = end.distanceM;
        link.endShot = end.placeShot;
    } else {
        link.notes << QStringLiteral("nenhum traço achou o fim da fibra");
    }
    for (const BandLink &b : std::as_const(bandLinks)) {
        BandTotal t;
        t.band = b.band;
        t.shot = b.endShot;
        if (b.endShot >= 0) {
            t.totalLossDb = shots.at(b.endShot).analysis.totalLossDb;
            t.orlDb = shots.at(b.endShot).analysis.orlDb;
        }
        link.totals.append(t);
    }

    // What each event is; a splitter only where the backscatter goes on past it.
    for (auto it = link.events.begin(); it != link.events.end(); ++it) {
        LinkEvent &e = *it;
        if (e.kind == Kind::Launch || e.kind == Kind::End)
            continue;
        const std::optional<double> loss = e.lossDb();
        const auto next = std::next(it);
        const bool goesOn
            = next != link.events.end() && next->distanceM - e.distanceM > resolution(e.placeShot);
        const std::optional<SplitterRatio> ratio = loss ? splitterFor(*loss) : std::nullopt;
        if (ratio && goesOn) {
            e.kind = Kind::Splitter;
            e.splitterWays = ratio->ways;
        } else if (loss && *loss < 0) {
            e.kind = Kind::Gainer;
        } else {
            e.kind = e.reflective ? Kind::Connector : Kind::Splice;
        }
        if (loss && !ratio)
            e.whyNoSplitter = whyNoSplitter(*loss);
        else if (ratio && !goesOn)
            e.whyNoSplitter = QStringLiteral("%1 dB: nenhum retroespalhamento depois dele")
                                  .arg(Sor::decimal(*loss, 3));
    }

    // The sections, each band's attenuation from its shot that reaches farthest past them.
    for (int i = 0; i + 1 < link.events.size(); ++i) {
        Section s;
        s.fromM = link.events.at(i).distanceM;
        s.toM = link.events.at(i + 1).distanceM;
        for (int band : std::as_const(link.bands)) {
            int best = -1;
            for (int si = 0; si < shots.size(); ++si) {
                const Shot &shot = shots.at(si);
                if (shot.band != band || shot.reachM < s.toM)
                    continue;
                if (best < 0 || shot.resolutionM < shots.at(best).resolutionM)
                    best = si;
            }
            std::optional<double> attenuation;
            if (best >= 0) {
                // Clear of both events' smear: a resolution each side, and the dead zone.
                const Shot &shot = shots.at(best);
                const double from = std::max(s.fromM + 2 * shot.resolutionM, shot.deadZoneM);
                const double to = s.toM - shot.resolutionM;
                if (to > from)
                    attenuation = attenuationOver(*shot.trace, from, to);
            }
            s.attenuationDbKm.append({band, attenuation});
            s.shots.append(best);
        }
        link.sections.append(s);
    }

    // Bends, as `bends` finds them: the shortest band against each longer one.
    double tolerance = 0;
    for (const Shot &s : shots)
        tolerance = std::max(tolerance, s.resolutionM);
    for (int k = 1; k < link.bands.size(); ++k) {
        const Acceptance::Wavelengths w
            = Acceptance::compareWavelengths(bandMeasurement(link, link.bands.first()),
                                             bandMeasurement(link, link.bands.at(k)),
                                             bendThresholdDb,
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

    // The verdicts, band by band: an event's the worst of its bands'.
    bool judged = false;
    for (const BandTotal &t : std::as_const(link.totals)) {
        const Acceptance::Judgement j = Acceptance::judge(bandLink(link, t.band, t), limits);
        judged = true;
        link.verdict = worse(link.verdict, j.verdict);
        for (const QString &r : j.reasons)
            link.reasons << QStringLiteral("%1 nm: %2").arg(t.band).arg(r);
        for (const Acceptance::JudgedEvent &je : j.events) {
            LinkEvent &e = link.events[je.number - 1];
            e.verdict = worse(e.verdict, je.verdict);
            const QString text = Acceptance::eventVerdictText(je, limits, double(t.band));
            if (je.verdict == Acceptance::Verdict::Fail
                || je.verdict == Acceptance::Verdict::Unknown)
                e.reasons << QStringLiteral("%1 nm: %2").arg(t.band).arg(text);
        }
    }
    if (!judged)
        link.verdict = limits.checksAnything() ? Acceptance::Verdict::Unknown
                                               : Acceptance::Verdict::NoLimits;
    // The front connector: no loss to judge, only its reflectance where a limit asks for it.
    for (LinkEvent &e : link.events) {
        if (e.kind != Kind::Launch)
            continue;
        e.verdict = Acceptance::Verdict::NoLimits;
        std::optional<double> reflectance;
        for (const BandValue &v : std::as_const(e.bands)) {
            if (v.reflectanceDb && (!reflectance || *v.reflectanceDb > *reflectance))
                reflectance = v.reflectanceDb;
        }
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
            link.verdict = worse(link.verdict, e.verdict);
        }
    }
    return link;
}

QString kindText(const LinkEvent &event)
{
    switch (event.kind) {
    case Kind::Launch:
        return QStringLiteral("lançamento");
    case Kind::Connector:
        return QStringLiteral("conector");
    case Kind::Splice:
        return QStringLiteral("emenda");
    case Kind::Gainer:
        return QStringLiteral("ganho");
    case Kind::Splitter:
        return QStringLiteral("divisor ") + ratioText(event.splitterWays.value_or(0));
    case Kind::End:
        return QStringLiteral("fim");
    }
    return QString();
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Launch:
        return QStringLiteral("launch");
    case Kind::Connector:
        return QStringLiteral("connector");
    case Kind::Splice:
        return QStringLiteral("splice");
    case Kind::Gainer:
        return QStringLiteral("gainer");
    case Kind::Splitter:
        return QStringLiteral("splitter");
    case Kind::End:
        return QStringLiteral("end");
    }
    return QString();
}

} // namespace LinkMerge
