#include "linkmerge/disagreements.h"

#include "linkmerge/shots.h"
#include "sor/sortext.h"

#include <cmath>

namespace LinkMerge {

namespace {

// A step this big, or a reflection this strong, that a shot reaching it in the clear does not
// see at all is a disagreement, not a matter of its noise.
constexpr double PlainStepDb = 0.5;
constexpr double PlainReflectanceDb = -45;

// One shot's event against the other shots' events within its resolution: the disagreement
// where their losses differ by more than lossAgreementDb().
std::optional<Disagreement> lossDisagreement(const BandShots &band,
                                             int shot,
                                             const Analysis::Event &e,
                                             const QVector<Candidate> &events)
{
    const Shot &s = band.at(shot);
    double expected = 0;
    int others = 0;
    QStringList who;
    for (const Candidate &c : events) {
        if (c.shot == shot || std::abs(c.distanceM - e.distanceM) > s.resolutionM || !c.lossDb)
            continue;
        expected += *c.lossDb;
        ++others;
        who << QStringLiteral("%1 mede %2 dB em %3")
                   .arg(shotText(band.at(c.shot)),
                        Sor::decimal(*c.lossDb, 3),
                        Sor::kilometres(c.distanceM));
    }
    if (others == 0 || std::abs(e.lossDb - expected) <= lossAgreementDb(expected))
        return std::nullopt;
    return Disagreement{e.distanceM,
                        QStringLiteral("%1 nm, %2: %3 mede %4 dB; %5")
                            .arg(band.band)
                            .arg(Sor::kilometres(e.distanceM),
                                 shotText(s),
                                 Sor::decimal(e.lossDb, 3),
                                 who.join(QStringLiteral(", ")))};
}

// Whether a shot sees any event within the coarser of its and the placing shot's resolution.
bool sees(const Shot &s, const Candidate &c, const Shot &placing)
{
    const double tol = std::max(s.resolutionM, placing.resolutionM);
    for (const Analysis::Event &e : s.analysis.events) {
        if (std::abs(e.distanceM - c.distanceM) <= tol)
            return true;
    }
    return false;
}

} // namespace

double lossAgreementDb(double lossDb)
{
    return std::max(0.15, 0.05 * std::abs(lossDb));
}

QVector<Disagreement> lossDisagreements(const BandShots &band, const QVector<Candidate> &events)
{
    QVector<Disagreement> found;
    for (int si : band.order) {
        const Shot &s = band.at(si);
        for (const Analysis::Event &e : s.analysis.events) {
            if (e.type == Analysis::EventType::End || !e.lossMeasured
                || !givesEventsAt(s, e.distanceM))
                continue;
            if (const std::optional<Disagreement> d = lossDisagreement(band, si, e, events))
                found.append(*d);
        }
    }
    return found;
}

QVector<Disagreement> unseenEvents(const BandShots &band, const QVector<Candidate> &events)
{
    QVector<Disagreement> found;
    for (const Candidate &c : events) {
        const bool plain = (c.lossDb && std::abs(*c.lossDb) >= PlainStepDb)
                           || (c.reflectanceDb && *c.reflectanceDb >= PlainReflectanceDb);
        if (!plain)
            continue;
        for (int si : band.order) {
            const Shot &s = band.at(si);
            // Only a shot that sees the place and a resolution either side in the clear.
            if (si == c.shot || !givesEventsAt(s, c.distanceM - s.resolutionM)
                || !givesEventsAt(s, c.distanceM + s.resolutionM)
                || c.distanceM < s.deadZoneM + s.resolutionM || sees(s, c, band.at(c.shot)))
                continue;
            found.append({c.distanceM,
                          QStringLiteral("%1 nm, %2: %3 vê um evento (%4 dB) que %5 não vê")
                              .arg(band.band)
                              .arg(Sor::kilometres(c.distanceM),
                                   shotText(band.at(c.shot)),
                                   Sor::optionalDecimal(c.lossDb),
                                   shotText(s))});
        }
    }
    return found;
}

std::optional<Disagreement>
endsApart(const QVector<Shot> &shots, const LinkEvent &end, int band, const Candidate &bandEnd)
{
    if (std::abs(end.distanceM - bandEnd.distanceM)
        <= shots.at(end.placeShot).resolutionM + shots.at(bandEnd.shot).resolutionM)
        return std::nullopt;
    return Disagreement{
        bandEnd.distanceM,
        QStringLiteral("o fim em %1 nm fica em %2 (%3); em %4 nm, em %5 (%6)")
            .arg(end.bands.first().band)
            .arg(Sor::kilometres(end.distanceM), shotText(shots.at(end.placeShot)))
            .arg(band)
            .arg(Sor::kilometres(bandEnd.distanceM), shotText(shots.at(bandEnd.shot)))};
}

} // namespace LinkMerge
