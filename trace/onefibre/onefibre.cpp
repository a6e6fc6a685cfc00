#include "onefibre/onefibre.h"

#include "analysis/eventaxis.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace OneFibre {

namespace {

// Ends further apart than this share of the fibre, or this many resolutions, are two fibres'.
constexpr double EndsApartShare = 0.02;
constexpr double EndsApartResolutions = 5;
// Lasers of one band lie within this of each other (nm).
constexpr double BandNm = 30;

QString idsOf(const Sor::Trace &t)
{
    return t.general
               ? t.general->cableId.trimmed() + QLatin1Char('/') + t.general->fiberId.trimmed()
               : QString();
}

struct Spread
{
    bool all = true;
    double lowest = HUGE_VAL;
    double highest = -HUGE_VAL;
};

Spread endsOf(const std::vector<Shot> &shots)
{
    Spread s;
    for (const Shot &shot : shots) {
        if (!shot.result.fiberEndM) {
            s.all = false;
            continue;
        }
        s.lowest = std::min(s.lowest, *shot.result.fiberEndM);
        s.highest = std::max(s.highest, *shot.result.fiberEndM);
    }
    return s;
}

double coarsest(const std::vector<Shot> &shots)
{
    double t = 0;
    for (const Shot &s : shots)
        t = std::max(t, resolutionM(*s.trace));
    return t;
}

// Where a shot sees backscatter: from the end of its launch to its end (or its last section).
std::pair<double, double> seenSpan(const Shot &s, double resolution)
{
    double from = resolution;
    double to = s.result.fiberEndM.value_or(-HUGE_VAL);
    for (const Analysis::Section &p : s.result.sections) {
        if (p.kind == Analysis::SectionKind::Launch)
            from = std::max(from, p.endM);
        if (p.kind == Analysis::SectionKind::Fibre && !s.result.fiberEndM)
            to = std::max(to, p.endM);
    }
    return {from, to};
}

struct Found
{
    double distanceM;
    size_t shot;
    const Analysis::Event *event;
};

std::vector<Feature> gather(const std::vector<Shot> &shots, double tolerance)
{
    std::vector<Found> all;
    for (size_t k = 0; k < shots.size(); ++k) {
        const double resolution = resolutionM(*shots[k].trace);
        for (const Analysis::Event &e : shots[k].result.events) {
            if (e.type != Analysis::EventType::End && e.distanceM > resolution)
                all.push_back({e.distanceM, k, &e});
        }
    }
    std::sort(all.begin(), all.end(), [](const Found &a, const Found &b) {
        return a.distanceM < b.distanceM;
    });
    std::vector<Feature> features;
    double first = -HUGE_VAL;
    for (const Found &f : all) {
        if (features.empty() || f.distanceM - first > tolerance) {
            features.push_back(Feature());
            features.back().shots.resize(shots.size());
            first = f.distanceM;
        }
        Feature &feature = features.back();
        Sighting &s = feature.shots[f.shot];
        if (s.seen == Seen::Found)
            continue; // one event a shot, the first
        s.seen = Seen::Found;
        s.lossDb = f.event->lossMeasured ? std::optional<double>(f.event->lossDb) : std::nullopt;
        s.reflective = f.event->type == Analysis::EventType::Reflective;
        feature.reflective = feature.reflective || s.reflective;
        feature.largestLossDb = std::max(feature.largestLossDb, std::abs(s.lossDb.value_or(0)));
        s.distanceM = f.distanceM;
    }
    // Each where its shots put it, on average.
    for (Feature &f : features) {
        double sum = 0;
        int count = 0;
        for (const Sighting &s : f.shots) {
            if (s.distanceM) {
                sum += *s.distanceM;
                ++count;
            }
        }
        f.distanceM = sum / std::max(1, count);
    }
    return features;
}

// A bend loses far more at longer wavelengths: a loss seen only by shots at a longer wavelength
// than this one's may be too small here to be an event.
bool longerWavelengthOnly(const std::vector<Shot> &shots, const Feature &f, size_t k)
{
    const double own = shots[k].trace->wavelengthNm.value_or(0);
    for (size_t j = 0; j < shots.size(); ++j) {
        if (f.shots[j].seen == Seen::Found
            && !(shots[j].trace->wavelengthNm.value_or(0) > own + BandNm))
            return false;
    }
    return true;
}

// Why a shot does not show a feature, or that it should.
void explain(const std::vector<Shot> &shots, std::vector<Feature> &features)
{
    for (size_t i = 0; i < features.size(); ++i) {
        Feature &f = features[i];
        for (size_t k = 0; k < shots.size(); ++k) {
            Sighting &s = f.shots[k];
            if (s.seen == Seen::Found)
                continue;
            const double resolution = resolutionM(*shots[k].trace);
            const auto [from, to] = seenSpan(shots[k], resolution);
            const bool crowded = (i > 0 && f.distanceM - features[i - 1].distanceM < 2 * resolution)
                                 || (i + 1 < features.size()
                                     && features[i + 1].distanceM - f.distanceM < 2 * resolution);
            s.seen = Seen::Unresolved;
            if (f.distanceM < from)
                s.why = QStringLiteral("na zona morta do lançamento");
            else if (f.distanceM > to - resolution)
                s.why = QStringLiteral("além do fim visto");
            else if (crowded)
                s.why = QStringLiteral("o pulso não o separa do vizinho");
            else if (!f.reflective && f.largestLossDb < shots[k].result.thresholds.lossDb)
                s.why = QStringLiteral("abaixo do limiar de perda");
            else if (!f.reflective && longerWavelengthOnly(shots, f, k))
                s.why = QStringLiteral("só nos comprimentos de onda maiores (curvatura?)");
            else {
                s.seen = Seen::Missed;
                s.why = QStringLiteral("não encontrado");
            }
            if (s.seen == Seen::Missed && (f.reflective || f.largestLossDb >= ExpectedLossDb))
                f.agrees = false;
        }
    }
}

} // namespace

double resolutionM(const Sor::Trace &trace)
{
    return std::max(Sor::eventToleranceM(trace), 3 * trace.spacingM.value_or(0));
}

QString notOneFibre(const std::vector<Shot> &shots, bool ignoreIds)
{
    if (shots.size() < 2)
        return QString();
    if (!ignoreIds) {
        for (const Shot &s : shots) {
            if (idsOf(*s.trace) != idsOf(*shots.front().trace))
                return QStringLiteral("cabo/fibra %1 em %2, %3 em %4")
                    .arg(idsOf(*shots.front().trace), shots.front().name, idsOf(*s.trace), s.name);
        }
    }
    const Spread ends = endsOf(shots);
    const double apart
        = std::max(EndsApartResolutions * coarsest(shots), EndsApartShare * ends.highest);
    if (ends.highest > ends.lowest && ends.highest - ends.lowest > apart)
        return QStringLiteral("os fins da fibra vão de %1 a %2 km, longe demais para uma só fibra")
            .arg(Sor::decimal(ends.lowest / 1000, 3), Sor::decimal(ends.highest / 1000, 3));
    return QString();
}

bool sameFibre(const std::vector<Shot> &shots)
{
    if (shots.size() < 2 || idsOf(*shots.front().trace).size() < 2)
        return false;
    const Spread ends = endsOf(shots);
    return ends.all && notOneFibre(shots, false).isEmpty()
           && ends.highest - ends.lowest <= coarsest(shots);
}

Agreement compare(const std::vector<Shot> &shots)
{
    Agreement a;
    a.toleranceM = coarsest(shots);
    a.features = gather(shots, a.toleranceM);
    explain(shots, a.features);
    for (const Shot &s : shots)
        a.endsM.push_back(s.result.fiberEndM);
    const Spread ends = endsOf(shots);
    a.endSpreadM = ends.highest > ends.lowest ? ends.highest - ends.lowest : 0;
    // A shot that finds no end agrees where its trace stops before the ends the others find:
    // it does not reach that far (a short pulse's range).
    const auto fallsShort = [&](const Shot &s) {
        return s.result.fiberEndM
               || (ends.highest >= ends.lowest && s.trace->rangeM
                   && *s.trace->rangeM < ends.lowest - a.toleranceM);
    };
    const bool someEnd = ends.highest >= ends.lowest;
    a.endsAgree = someEnd && std::all_of(shots.cbegin(), shots.cend(), fallsShort)
                  && a.endSpreadM <= a.toleranceM;
    for (const Feature &f : a.features) {
        if (f.agrees)
            continue;
        QStringList missing;
        for (size_t k = 0; k < shots.size(); ++k) {
            if (f.shots[k].seen == Seen::Missed)
                missing << shots[k].name;
        }
        a.disagreements << QStringLiteral("evento em %1 km (%2 dB) não encontrado em %3")
                               .arg(Sor::decimal(f.distanceM / 1000, 4),
                                    Sor::decimal(f.largestLossDb, 2),
                                    missing.join(QStringLiteral(", ")));
    }
    if (!a.endsAgree) {
        QStringList each;
        for (const Shot &s : shots)
            each << QStringLiteral("%1 em %2")
                        .arg(s.name,
                             s.result.fiberEndM ? Sor::kilometres(*s.result.fiberEndM)
                             : fallsShort(s) ? QStringLiteral("não alcança (o traço vai até %1)")
                                                   .arg(Sor::kilometres(*s.trace->rangeM))
                                             : QStringLiteral("não encontrado"));
        a.disagreements << QStringLiteral("fim da fibra: %1 (tolerância %2 m)")
                               .arg(each.join(QStringLiteral(", ")), Sor::decimal(a.toleranceM, 1));
    }
    return a;
}

} // namespace OneFibre
