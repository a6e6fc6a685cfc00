#include "acceptance/twoway.h"

#include "sor/sortext.h"

#include <algorithm>

// One fibre from one end at two wavelengths: a bend loses far more at the longer.
namespace Acceptance {

int Wavelengths::bends() const
{
    return int(std::count_if(events.cbegin(), events.cend(), [](const WavelengthEvent &e) {
        return e.bend || e.sectionBend;
    }));
}

QString wavelengthsProblem(const Measurement &shorter, const Measurement &longer)
{
    const std::optional<double> ws = shorter.link.wavelengthNm;
    const std::optional<double> wl = longer.link.wavelengthNm;
    if (!ws || !wl) {
        return QStringLiteral("o comprimento de onda não é conhecido em %1")
            .arg(ws ? longer.name : shorter.name);
    }
    if (*ws >= *wl - 1) {
        return QStringLiteral("%1 (%2) deveria ter o comprimento de onda menor que %3 (%4)")
            .arg(shorter.name, Sor::wavelengthText(*ws), longer.name, Sor::wavelengthText(*wl));
    }
    return QString();
}

Wavelengths compareWavelengths(const Measurement &shorter,
                               const Measurement &longer,
                               double thresholdDb,
                               double toleranceM)
{
    Wavelengths result;
    result.thresholdDb = thresholdDb;
    result.toleranceM = toleranceM > 0 ? toleranceM : defaultToleranceM(shorter, longer);
    const QVector<int> keptS = eventsToMatch(shorter.link);
    const QVector<int> keptL = eventsToMatch(longer.link);
    // One direction: the two wavelengths' positions differ by a sample or two, no more.
    const Matching matching = matchPositions(positionsOf(shorter.link, keptS),
                                             positionsOf(longer.link, keptL),
                                             result.toleranceM,
                                             result.toleranceM);
    for (const Match &m : matching.matches) {
        const JudgedEvent *s = m.a >= 0 ? &shorter.link.events.at(keptS.at(m.a)) : nullptr;
        const JudgedEvent *l = m.b >= 0 ? &longer.link.events.at(keptL.at(m.b)) : nullptr;
        WavelengthEvent e;
        e.distanceM = s ? s->distanceM : l->distanceM;
        if (s) {
            e.lossShortDb = s->lossDb;
            e.attenuationShortDbKm
                = s->attenuationDbKm.value_or(0) > 0 ? s->attenuationDbKm : std::nullopt;
        }
        if (l) {
            e.lossLongDb = l->lossDb;
            e.attenuationLongDbKm
                = l->attenuationDbKm.value_or(0) > 0 ? l->attenuationDbKm : std::nullopt;
        }
        // An event the shorter wavelength does not see at all lost nothing there.
        e.bend = l && l->lossDb && *l->lossDb - e.lossShortDb.value_or(0) > thresholdDb;
        e.sectionBend = e.attenuationShortDbKm && e.attenuationLongDbKm
                        && *e.attenuationLongDbKm > *e.attenuationShortDbKm;
        result.events.append(e);
    }
    return result;
}

} // namespace Acceptance
