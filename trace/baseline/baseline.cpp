#include "baseline/baseline.h"
#include "analysis/eventsource.h"

#include "acceptance/direction.h"
#include "acceptance/twoway.h"
#include "analysis/analysis.h"
#include "analysis/statistics.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace Baseline {

namespace {

// A step in the difference must stand this many of its own noise's deviations above it.
constexpr double StepDeviations = 5;
// Steps are measured over this many pulse lengths either side, and this many points at least.
constexpr double StepPulses = 4;
constexpr int StepPoints = 20;
// A launch stands this far above its backscatter's line until it has settled.
constexpr double LaunchExcessDb = 0.5;
// A reflection that came or went stands this far out of the difference, at least.
constexpr double SpikeDb = 1.0;
// A stretch whose attenuation is compared is a kilometre at least.
constexpr double SectionM = 1000;

int pulseOf(const Sor::Trace &t)
{
    return t.fixed && !t.fixed->pulseWidthsNs.isEmpty() ? t.fixed->pulseWidthsNs.first() : 0;
}

double pulseLengthOf(const Sor::Trace &t)
{
    return Sor::pulseLengthM(pulseOf(t), t.groupIndex.value_or(Sor::DefaultGroupIndex));
}

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

QVector<int> eventIndexes(const Acceptance::Link &link)
{
    QVector<int> kept;
    for (int i = 0; i < link.events.size(); ++i) {
        const Acceptance::JudgedEvent &e = link.events.at(i);
        if (!e.end && !e.marker && !e.pastEnd)
            kept << i;
    }
    return kept;
}

QString km(double m)
{
    return Sor::kilometres(m);
}

QString signedDb(double v, int decimals = 3)
{
    return (v >= 0 ? QStringLiteral("+") : QString()) + Sor::decimal(v, decimals);
}

// A trace's levels read at increasing distances, between its two points, walking along it
// rather than searching: NaN off it.
class Walker
{
public:
    explicit Walker(const Sor::Trace &t)
        : t(t)
    {
    }
    double at(double x)
    {
        const auto &d = t.distanceM;
        if (d.empty() || x < d.front() || x > d.back())
            return std::nan("");
        while (next + 1 < d.size() && d[next + 1] <= x)
            ++next;
        if (next + 1 >= d.size())
            return t.levelDb.back();
        const double span = d[next + 1] - d[next];
        const double f = span > 0 ? (x - d[next]) / span : 0;
        return t.levelDb[next] + f * (t.levelDb[next + 1] - t.levelDb[next]);
    }

private:
    const Sor::Trace &t;
    size_t next = 0;
};

// The now trace's level at a distance of its own axis, between its two points; NaN off it.
double levelAt(const Sor::Trace &t, double x)
{
    const auto &d = t.distanceM;
    if (d.empty() || x < d.front() || x > d.back())
        return std::nan("");
    const size_t i = size_t(std::upper_bound(d.begin(), d.end(), x) - d.begin());
    if (i == 0)
        return t.levelDb.front();
    if (i >= d.size())
        return t.levelDb.back();
    const double span = d[i] - d[i - 1];
    const double f = span > 0 ? (x - d[i - 1]) / span : 0;
    return t.levelDb[i - 1] + f * (t.levelDb[i] - t.levelDb[i - 1]);
}

// Where a trace's launch has settled onto its backscatter: past the last stretch near the start
// whose mean stands above the line the backscatter follows up to the first event (a receiver's
// tail, the front connector's dead zone) by half the threshold, or by what that mean's noise
// could give, and never by more than half a dB. A tail a longer pulse drags out is no change.
double launchEndM(const Sor::Trace &t, double firstEventM, double thresholdDb, double windowM)
{
    const auto &x = t.distanceM;
    const auto &y = t.levelDb;
    // The line through two stretches of the backscatter before the first event.
    const double lo = firstEventM / 2;
    const double mid = 0.75 * firstEventM;
    std::vector<double> near;
    std::vector<double> far;
    std::vector<double> second;
    const size_t from = size_t(std::lower_bound(x.begin(), x.end(), lo) - x.begin());
    for (size_t i = from; i < x.size() && x[i] < firstEventM; ++i) {
        if (std::isnan(y[i]))
            continue;
        (x[i] < mid ? near : far).push_back(y[i]);
        if (i > from && i + 1 < y.size() && !std::isnan(y[i - 1]) && !std::isnan(y[i + 1]))
            second.push_back(std::abs(y[i - 1] - 2 * y[i] + y[i + 1]));
    }
    if (near.size() < 5 || far.size() < 5)
        return 0;
    const double a = Analysis::median(near);
    const double b = Analysis::median(far);
    const double slope = (b - a) / (firstEventM / 4);
    const double centre = (lo + mid) / 2;
    const double pointNoise = Analysis::noiseOfSecondDifferences(std::move(second));
    const size_t k = size_t(
        std::max(double(StepPoints), std::round(windowM / std::max(t.spacingM.value_or(1), 1e-3))));
    const double limit
        = std::min(LaunchExcessDb,
                   std::max(thresholdDb / 2, StepDeviations * pointNoise / std::sqrt(double(k))));
    double end = 0;
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < x.size() && x[i] < lo; ++i) {
        const double excess = y[i] - (a + slope * (x[i] - centre));
        if (!std::isnan(excess) && excess > LaunchExcessDb)
            end = x[i];
        sum += std::isnan(excess) ? 0 : excess;
        count += std::isnan(excess) ? 0 : 1;
        if (i >= k) {
            const double old = y[i - k] - (a + slope * (x[i - k] - centre));
            sum -= std::isnan(old) ? 0 : old;
            count -= std::isnan(old) ? 0 : 1;
        }
        if (i + 1 >= k && count > k / 2 && sum / double(count) > limit)
            end = x[i];
    }
    return end;
}

// The first event past the launch, or a share of the reach where there is none.
double firstEventM(const QVector<double> &events, double toleranceM, double reach)
{
    double first = 0.3 * reach;
    for (double x : events) {
        if (x > 2 * toleranceM)
            first = std::min(first, x);
    }
    return first;
}

// A fibre this many times longer than the other is not the same fibre (a break makes the
// trace of now shorter, never longer).
constexpr double LongerBy = 2;

QString idOf(const Sor::Trace &t, bool cable)
{
    if (!t.general)
        return QString();
    return (cable ? t.general->cableId : t.general->fiberId).trimmed();
}

// What the two files say of themselves that no comparison can get over: two fibres, or the
// two ends of one. Empty when they may be one fibre seen from one end.
QString labelProblem(const Sor::Trace &base, const Sor::Trace &now)
{
    const auto differ = [](const QString &x, const QString &y) {
        return !x.isEmpty() && !y.isEmpty() && x.compare(y, Qt::CaseInsensitive) != 0;
    };
    for (const bool cable : {true, false}) {
        const QString b = idOf(base, cable);
        const QString n = idOf(now, cable);
        if (!differ(b, n))
            continue;
        if (Acceptance::namedFromTheOtherEnd(b, n))
            return QStringLiteral("são as duas pontas de uma fibra (%1 e %2): compare traços "
                                  "medidos da mesma ponta")
                .arg(b, n);
        return QStringLiteral("são fibras diferentes (%1 %2 e %3 %4)")
            .arg(cable ? QStringLiteral("cabo") : QStringLiteral("fibra"), b)
            .arg(cable ? QStringLiteral("cabo") : QStringLiteral("fibra"), n);
    }
    return QString();
}

// The two ends from the files' places, where the traces could not tell: each starts where
// the other ends.
bool placesSwapped(const Sor::Trace &base, const Sor::Trace &now)
{
    if (!base.general || !now.general)
        return false;
    const QString ba = base.general->locationA.trimmed();
    const QString bb = base.general->locationB.trimmed();
    const QString na = now.general->locationA.trimmed();
    const QString nb = now.general->locationB.trimmed();
    return !ba.isEmpty() && !bb.isEmpty() && ba != bb && ba == nb && bb == na;
}

Acceptance::Measurement measured(const Sor::Trace &t, const Acceptance::Link &link)
{
    Acceptance::Measurement m;
    m.link = link;
    m.pulseNs = pulseOf(t);
    m.spacingM = t.spacingM.value_or(0);
    m.groupIndex = t.groupIndex.value_or(Sor::DefaultGroupIndex);
    return m;
}

// Whether the traces show one fibre from one end: their events laid directly, not mirrored
// (the traces decide before the places do), and lengths one fibre can have had; the reason
// when they do not.
QString fibreProblem(const Sor::Trace &base,
                     const Acceptance::Link &lb,
                     const Sor::Trace &now,
                     const Acceptance::Link &ln,
                     double toleranceM)
{
    const Acceptance::EndsEvidence ends
        = Acceptance::endsFromTraces(measured(base, lb), measured(now, ln), toleranceM);
    if (ends.ends == Acceptance::Ends::Two)
        return QStringLiteral("são %1: compare traços medidos da mesma ponta")
            .arg(Acceptance::endsSentence(ends));
    if (ends.ends == Acceptance::Ends::Unknown && placesSwapped(base, now))
        return QStringLiteral("são as duas pontas de uma fibra (os locais A e B trocados): "
                              "compare traços medidos da mesma ponta");
    if (ends.ends == Acceptance::Ends::Same || !lb.lengthM || !ln.lengthM || *lb.lengthM <= 0
        || *ln.lengthM <= 0)
        return QString();
    if (*ln.lengthM > LongerBy * *lb.lengthM + toleranceM)
        return QStringLiteral("a fibra de agora (%1) é mais que o dobro da linha de base (%2): "
                              "não é a mesma fibra")
            .arg(km(*ln.lengthM), km(*lb.lengthM));
    // A break leaves a shorter fibre whose events before it are the as-built's.
    if (*lb.lengthM > LongerBy * *ln.lengthM + toleranceM) {
        QVector<double> before;
        QVector<double> shorter;
        for (const Acceptance::JudgedEvent &e : lb.events) {
            if (!e.end && !e.marker && !e.pastEnd && e.distanceM < *ln.lengthM + toleranceM)
                before << e.distanceM;
        }
        for (const Acceptance::JudgedEvent &e : ln.events) {
            if (!e.end && !e.marker && !e.pastEnd && e.distanceM > toleranceM
                && e.distanceM < *ln.lengthM - toleranceM)
                shorter << e.distanceM;
        }
        const Acceptance::Matching m
            = Acceptance::matchPositions(before, shorter, toleranceM, toleranceM);
        const auto matched = std::count_if(m.matches.cbegin(), m.matches.cend(), [](const auto &x) {
            return x.a >= 0 && x.b >= 0;
        });
        if (shorter.size() >= 2 && 2 * int(matched) < int(shorter.size()))
            return QStringLiteral("a fibra de agora (%1) é bem mais curta que a linha de base "
                                  "(%2) e seus eventos não estão onde os da linha de base "
                                  "estão: não é a mesma fibra")
                .arg(km(*ln.lengthM), km(*lb.lengthM));
    }
    return QString();
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

bool samePoints(const Sor::Trace &a, const Sor::Trace &b, double withinDb)
{
    if (a.levelDb.size() != b.levelDb.size() || a.levelDb.empty())
        return false;
    for (size_t k = 0; k < a.levelDb.size(); ++k) {
        const double x = a.levelDb[k];
        const double y = b.levelDb[k];
        if (!((std::isnan(x) && std::isnan(y)) || std::abs(x - y) <= withinDb))
            return false;
    }
    return true;
}

Comparison compare(const Sor::Trace &base, const Sor::Trace &now, const Options &o)
{
    Comparison c;
    const std::optional<double> wb = base.wavelengthNm;
    const std::optional<double> wn = now.wavelengthNm;
    if (wb && wn && std::abs(*wb - *wn) > Acceptance::SameBandNm && !o.force) {
        c.problem = QStringLiteral("os comprimentos de onda diferem (%1 e %2); --force compara "
                                   "assim mesmo")
                        .arg(Sor::wavelengthText(*wb), Sor::wavelengthText(*wn));
        return c;
    }
    // How they were measured, where it differs.
    if (pulseOf(base) != pulseOf(now))
        c.notes << QStringLiteral("pulso %1 ns e %2 ns").arg(pulseOf(base)).arg(pulseOf(now));
    const double sb = base.spacingM.value_or(0);
    const double sn = now.spacingM.value_or(0);
    if (std::abs(sb - sn) > 1e-3)
        c.notes << QStringLiteral("espaçamento %1 m e %2 m")
                       .arg(Sor::decimal(sb, 3), Sor::decimal(sn, 3));
    if (base.rangeM && now.rangeM && std::abs(*base.rangeM - *now.rangeM) > 1)
        c.notes << QStringLiteral("alcance %1 e %2").arg(km(*base.rangeM), km(*now.rangeM));
    const auto instrument = [](const Sor::Trace &t) {
        return t.supplier ? QStringLiteral("%1 %2 %3")
                                .arg(t.supplier->supplier,
                                     t.supplier->mainframe,
                                     t.supplier->mainframeSerial)
                                .simplified()
                          : QString();
    };
    if (instrument(base) != instrument(now))
        c.notes << QStringLiteral("equipamentos diferentes (%1; %2)")
                       .arg(instrument(base).isEmpty() ? QStringLiteral("—") : instrument(base),
                            instrument(now).isEmpty() ? QStringLiteral("—") : instrument(now));
    if (wb && wn && std::abs(*wb - *wn) > Acceptance::SameBandNm)
        c.notes << QStringLiteral("comprimentos de onda diferentes, comparados por --force");
    c.toleranceM = o.toleranceM > 0
                       ? o.toleranceM
                       : std::max(pulseLengthOf(base), pulseLengthOf(now)) + 2 * std::max(sb, sn);
    c.toleranceM = std::max(c.toleranceM, 3.0);
    // Only one fibre, seen from one end, can have changed: anything else would list as changes
    // what are two fibres' differences.
    const QString labels = labelProblem(base, now);
    if (!labels.isEmpty() && !o.force) {
        c.problem = labels + QStringLiteral("; --force compara assim mesmo");
        return c;
    }
    if (!labels.isEmpty())
        c.notes << labels + QStringLiteral(", comparados por --force");
    if (samePoints(base, now)) {
        c.samePoints = true;
        return c;
    }
    const Acceptance::Link lb = linkOf(base);
    const Acceptance::Link ln = linkOf(now);
    if (const QString whole = fibreProblem(base, lb, now, ln, c.toleranceM); !whole.isEmpty()) {
        if (!o.force) {
            c.problem = whole + QStringLiteral("; --force compara assim mesmo");
            return c;
        }
        c.notes << whole + QStringLiteral(", comparados por --force");
    }
    c.lengthBeforeM = lb.lengthM;
    c.lengthAfterM = ln.lengthM;
    c.lossBeforeDb = lb.totalLossDb;
    c.lossAfterDb = ln.totalLossDb;
    c.orlBeforeDb = lb.orlDb;
    c.orlAfterDb = ln.orlDb;
    const QVector<int> ib = eventIndexes(lb);
    const QVector<int> in = eventIndexes(ln);
    QVector<double> xb;
    QVector<double> xn;
    for (int i : ib)
        xb << lb.events.at(i).distanceM;
    for (int i : in)
        xn << ln.events.at(i).distanceM;
    const Acceptance::Matching m = Acceptance::matchPositions(xb, xn, c.toleranceM, c.toleranceM);
    const double t = o.thresholdDb;
    const double pulse = std::max(pulseLengthOf(base), pulseLengthOf(now));
    const double spacing = std::max(sb, 1e-3);
    const int w = std::max(StepPoints, int(std::lround(StepPulses * pulse / spacing)));
    c.shiftM = m.shiftM;
    // Where the now trace's fibre ends first, nothing after is compared event by event.
    const double reach = std::min(lb.lengthM.value_or(1e12), ln.lengthM.value_or(1e12) + c.shiftM);
    // The points: the now trace on the baseline's axis, its level met on the backscatter
    // before the first event past both launches.
    Difference &d = c.difference;
    const double settled = std::max(
        {2 * c.toleranceM,
         launchEndM(base, firstEventM(xb, c.toleranceM, reach), t, w * spacing) + c.toleranceM,
         launchEndM(now, firstEventM(xn, c.toleranceM, reach), t, w * spacing) + c.toleranceM
             + c.shiftM});
    double first = 0.3 * reach;
    for (double x : xb) {
        if (x > settled + c.toleranceM)
            first = std::min(first, x);
    }
    // The events' shift holds for the points only where it lays them closer: events found by an
    // analysis in noise can agree on a shift no point shows.
    if (c.shiftM != 0) {
        double with = 0;
        double without = 0;
        int k = 0;
        const size_t stride = std::max<size_t>(1, base.distanceM.size() / 4000);
        for (size_t i = 0; i < base.distanceM.size(); i += stride) {
            const double x = base.distanceM[i];
            if (x < settled || x > reach - c.toleranceM)
                continue;
            const double a = base.levelDb[i];
            const double shifted = levelAt(now, x - c.shiftM) - a;
            const double plain = levelAt(now, x) - a;
            if (std::isnan(shifted) || std::isnan(plain))
                continue;
            with += std::abs(shifted - plain) > 0 ? std::abs(shifted) : 0;
            without += std::abs(shifted - plain) > 0 ? std::abs(plain) : 0;
            ++k;
        }
        if (k > 0 && with >= 0.9 * without)
            c.shiftM = 0;
    }
    // The levels met over a stretch short enough that a change there is the lesser part of it.
    const double stretch = std::clamp(0.1 * reach, 200.0, 3000.0);
    std::vector<double> offsets;
    Walker along(now);
    d.distanceM.reserve(base.distanceM.size());
    d.deltaDb.reserve(base.distanceM.size());
    for (size_t i = 0; i < base.distanceM.size(); ++i) {
        const double x = base.distanceM[i];
        d.distanceM.push_back(x);
        const double a = base.levelDb[i];
        const double b = along.at(x - c.shiftM);
        d.deltaDb.push_back(std::isnan(a) || std::isnan(b) ? std::nan("") : b - a);
        if (x > settled && x < std::min(first - c.toleranceM, settled + stretch)
            && !std::isnan(d.deltaDb.back()))
            offsets.push_back(d.deltaDb.back());
    }
    if (offsets.size() < 10) {
        offsets.clear();
        for (size_t i = 0; i < d.distanceM.size(); ++i) {
            if (d.distanceM[i] > settled && d.distanceM[i] < 0.3 * reach
                && !std::isnan(d.deltaDb[i]))
                offsets.push_back(d.deltaDb[i]);
        }
    }
    d.levelShiftDb = offsets.empty() ? 0 : -Analysis::median(offsets);
    // Past the shorter fibre's end the difference is of noise: none.
    for (size_t i = 0; i < d.deltaDb.size(); ++i)
        d.deltaDb[i]
            = d.distanceM[i] > reach + c.toleranceM ? std::nan("") : d.deltaDb[i] + d.levelShiftDb;
    // A step of the difference is measured over w points either side; its noise where it is,
    // from the difference's own point noise there (both traces' noise, and the far end's
    // larger one).
    const size_t n = d.deltaDb.size();
    const size_t block = size_t(8 * w);
    std::vector<double> blockNoise;
    for (size_t from = 0; from < n; from += block) {
        std::vector<double> second;
        for (size_t i = from + 1; i + 1 < std::min(n, from + block); ++i) {
            const double v = d.deltaDb[i - 1] - 2 * d.deltaDb[i] + d.deltaDb[i + 1];
            if (!std::isnan(v))
                second.push_back(std::abs(v));
        }
        blockNoise.push_back(
            second.size() > 10 ? Analysis::noiseOfSecondDifferences(std::move(second)) : HUGE_VAL);
    }
    // Neighbouring blocks too, where they hold a difference: a step's windows reach into them.
    const auto stepNoiseAt = [&](double x) {
        if (blockNoise.empty() || spacing <= 0)
            return 0.0;
        const long at = std::clamp(long((x - d.distanceM.front()) / spacing / double(block)),
                                   0L,
                                   long(blockNoise.size()) - 1);
        double noise = blockNoise[size_t(at)];
        for (const long next : {at - 1, at + 1}) {
            if (next >= 0 && next < long(blockNoise.size())
                && std::isfinite(blockNoise[size_t(next)]))
                noise = std::max(noise, blockNoise[size_t(next)]);
        }
        return noise * std::sqrt(2.0 / w);
    };
    // What a change must reach there to be one: the threshold, and five deviations of the noise.
    const auto least = [&](double x, double threshold) {
        return std::max(threshold, StepDeviations * stepNoiseAt(x));
    };
    // Prefix sums of the difference, "no data" left out: the mean of any stretch of it.
    std::vector<double> sum(n + 1, 0);
    std::vector<int> count(n + 1, 0);
    for (size_t i = 0; i < n; ++i) {
        const bool ok = !std::isnan(d.deltaDb[i]);
        sum[i + 1] = sum[i] + (ok ? d.deltaDb[i] : 0);
        count[i + 1] = count[i] + (ok ? 1 : 0);
    }
    const auto mean = [&](size_t from, size_t to) {
        const int k = count[to] - count[from];
        return k > w / 2 ? (sum[to] - sum[from]) / k : std::nan("");
    };
    // What the points say changed at an event: the difference after it against before it,
    // clear of the event's own pulse.
    const auto pointsStep = [&](double x) {
        if (n == 0 || spacing <= 0)
            return std::nan("");
        const long at = long(std::lround((x - d.distanceM.front()) / spacing));
        const long gap = long(std::ceil(c.toleranceM / spacing));
        if (at - gap - w < 0 || at + gap + w >= long(n))
            return std::nan("");
        return -(mean(size_t(at + gap), size_t(at + gap + w))
                 - mean(size_t(at - gap - w), size_t(at - gap)));
    };
    // An event's change stands where the points show at least half of what it must reach: an
    // analysis that places one event twice in noise changes nothing on the fibre.
    const auto shown = [&](double x) {
        const double step = pointsStep(x);
        return std::isnan(step) || std::abs(step) >= least(x, t) / 2;
    };
    // A reflection that came or went shows as a spike of the difference within its pulse.
    const auto spikeShown = [&](double x) {
        if (n == 0 || spacing <= 0)
            return true;
        const long at = long(std::lround((x - d.distanceM.front()) / spacing));
        const long gap = long(std::ceil(c.toleranceM / spacing));
        const double around = mean(size_t(std::clamp(at - gap - w, 0L, long(n))),
                                   size_t(std::clamp(at - gap, 0L, long(n))));
        double most = 0;
        for (long i = std::max(0L, at - gap); i <= std::min(long(n) - 1, at + gap); ++i) {
            if (!std::isnan(d.deltaDb[size_t(i)]) && !std::isnan(around))
                most = std::max(most, std::abs(d.deltaDb[size_t(i)] - around));
        }
        const double pointNoise = stepNoiseAt(x) / std::sqrt(2.0 / w);
        return most >= std::max(SpikeDb, StepDeviations * pointNoise);
    };
    // An event only one trace has is a change where the points show its loss, or its reflection
    // as a spike where the difference is quiet enough to show one.
    const auto stands = [&](const Acceptance::JudgedEvent &e, double at) {
        return (e.lossDb && std::abs(*e.lossDb) >= least(at, t) - 1e-9 && shown(at))
               || (e.reflectanceDb && stepNoiseAt(at) < t && spikeShown(at));
    };
    // Places whose changes the events already say, or whose reflections the difference does not
    // measure as steps: a step of the points within the event's pulse and the step's windows
    // is its. An unchanged splice claims its own pulse only: a new bend beside it is a change.
    struct Quiet
    {
        double x = 0;
        bool wide = true;
    };
    QVector<Quiet> quiet;
    for (const Acceptance::Match &match : m.matches) {
        if (match.a >= 0 && match.b >= 0) {
            const Acceptance::JudgedEvent &eb = lb.events.at(ib.at(match.a));
            const Acceptance::JudgedEvent &en = ln.events.at(in.at(match.b));
            const int before = int(c.changes.size());
            if (eb.lossDb && en.lossDb
                && std::abs(*en.lossDb - *eb.lossDb) >= least(eb.distanceM, t) - 1e-9
                && shown(eb.distanceM)) {
                c.changes.append({eb.distanceM,
                                  Kind::Loss,
                                  eb.lossDb,
                                  en.lossDb,
                                  *en.lossDb - *eb.lossDb,
                                  QStringLiteral("evento a %1: perda %2 → %3 dB (%4)")
                                      .arg(km(eb.distanceM),
                                           Sor::decimal(*eb.lossDb, 3),
                                           Sor::decimal(*en.lossDb, 3),
                                           signedDb(*en.lossDb - *eb.lossDb))});
            }
            if (eb.reflectanceDb && en.reflectanceDb
                && std::abs(*en.reflectanceDb - *eb.reflectanceDb)
                       >= ReflectanceThresholdDb - 1e-9) {
                c.changes.append({eb.distanceM,
                                  Kind::Reflectance,
                                  eb.reflectanceDb,
                                  en.reflectanceDb,
                                  *en.reflectanceDb - *eb.reflectanceDb,
                                  QStringLiteral("evento a %1: refletância %2 → %3 dB (%4)")
                                      .arg(km(eb.distanceM),
                                           Sor::decimal(*eb.reflectanceDb, 2),
                                           Sor::decimal(*en.reflectanceDb, 2),
                                           signedDb(*en.reflectanceDb - *eb.reflectanceDb, 2))});
            }
            // The section before it, where both measure a kilometre or more of it.
            if (eb.sectionM && *eb.sectionM >= SectionM && eb.attenuationDbKm
                && en.attenuationDbKm) {
                const double delta = *en.attenuationDbKm - *eb.attenuationDbKm;
                if (std::abs(delta) * *eb.sectionM / 1000 >= t - 1e-9)
                    c.changes.append(
                        {eb.distanceM - *eb.sectionM / 2,
                         Kind::Attenuation,
                         eb.attenuationDbKm,
                         en.attenuationDbKm,
                         delta,
                         QStringLiteral("trecho antes do evento a %1: atenuação %2 → %3 dB/km "
                                        "(%4 dB no trecho)")
                             .arg(km(eb.distanceM),
                                  Sor::decimal(*eb.attenuationDbKm, 3),
                                  Sor::decimal(*en.attenuationDbKm, 3),
                                  signedDb(delta * *eb.sectionM / 1000))});
            }
            const bool listed
                = std::any_of(c.changes.cbegin() + before, c.changes.cend(), [](const Change &x) {
                      return x.kind == Kind::Loss || x.kind == Kind::Reflectance;
                  });
            quiet << Quiet{eb.distanceM, listed || eb.reflective || en.reflective};
        } else if (match.b >= 0) {
            const Acceptance::JudgedEvent &en = ln.events.at(in.at(match.b));
            const double at = en.distanceM + c.shiftM;
            quiet << Quiet{at, true};
            if (at > reach - c.toleranceM)
                continue; // past the baseline's end: the end says it
            if (stands(en, at))
                c.changes.append(
                    {at,
                     Kind::New,
                     std::nullopt,
                     en.lossDb,
                     en.lossDb,
                     QStringLiteral("evento novo a %1: perda %2 dB%3")
                         .arg(km(at),
                              Sor::optionalDecimal(en.lossDb, 3),
                              en.reflectanceDb ? QStringLiteral(", refletância %1 dB")
                                                     .arg(Sor::decimal(*en.reflectanceDb, 2))
                                               : QString())});
        } else if (match.a >= 0) {
            const Acceptance::JudgedEvent &eb = lb.events.at(ib.at(match.a));
            quiet << Quiet{eb.distanceM, true};
            if (eb.distanceM > reach - c.toleranceM)
                continue; // past a break: the end says it
            if (stands(eb, eb.distanceM))
                c.changes.append({eb.distanceM,
                                  Kind::Gone,
                                  eb.lossDb,
                                  std::nullopt,
                                  eb.lossDb ? std::optional<double>(-*eb.lossDb) : std::nullopt,
                                  QStringLiteral("evento a %1 sumiu (perda %2 dB)")
                                      .arg(km(eb.distanceM), Sor::optionalDecimal(eb.lossDb, 3))});
        }
    }
    if (lb.lengthM && ln.lengthM && std::abs(*ln.lengthM + c.shiftM - *lb.lengthM) > c.toleranceM) {
        const double after = *ln.lengthM + c.shiftM;
        c.changes.append({std::min(after, *lb.lengthM),
                          Kind::End,
                          lb.lengthM,
                          after,
                          after - *lb.lengthM,
                          QStringLiteral("a fibra agora termina em %1 (antes %2)")
                              .arg(km(after), km(*lb.lengthM))});
    }
    // Every step of the difference away from the events.
    if (n > size_t(4 * w)) {
        std::vector<double> step(n, std::nan(""));
        for (size_t i = size_t(w); i + size_t(w) < n; ++i) {
            const double x = d.distanceM[i];
            if (x < settled + w * spacing || x > reach - c.toleranceM - w * spacing)
                continue;
            step[i] = mean(i, i + size_t(w)) - mean(i - size_t(w), i);
        }
        const double guard = c.toleranceM + w * spacing;
        for (size_t i = 0; i < n; ++i) {
            const double x = d.distanceM[i];
            if (std::isnan(step[i]) || std::abs(step[i]) < t || std::abs(step[i]) < least(x, t))
                continue;
            // The largest within a window either side: one step, one place.
            bool peak = true;
            for (size_t k = i > size_t(w) ? i - size_t(w) : 0; k < std::min(n, i + size_t(w) + 1);
                 ++k) {
                if (k != i && !std::isnan(step[k])
                    && (std::abs(step[k]) > std::abs(step[i])
                        || (std::abs(step[k]) == std::abs(step[i]) && k < i))) {
                    peak = false;
                    break;
                }
            }
            const bool nearEvent = std::any_of(quiet.cbegin(), quiet.cend(), [&](const Quiet &e) {
                return std::abs(e.x - x) <= (e.wide ? guard : c.toleranceM);
            });
            if (!peak || nearEvent)
                continue;
            // The difference falls where the now trace loses more.
            const double added = -step[i];
            c.changes.append(
                {x,
                 Kind::Trace,
                 std::nullopt,
                 std::nullopt,
                 added,
                 QStringLiteral("a %1, só nos pontos: %2 %3 dB")
                     .arg(km(x),
                          added > 0 ? QStringLiteral("perda") : QStringLiteral("ganho"),
                          signedDb(added, 2))});
        }
    }
    std::stable_sort(c.changes.begin(), c.changes.end(), [](const Change &a, const Change &b) {
        return a.distanceM < b.distanceM;
    });
    return c;
}

} // namespace Baseline
