#include "baseline/changetext.h"

#include "sor/sortext.h"

#include <algorithm>

namespace Baseline {

namespace {

QString km(double m)
{
    return Sor::kilometres(m);
}

// An event's value before and after: its loss or its reflectance.
Change valueChanged(Kind kind,
                    double atM,
                    const QString &what,
                    std::optional<double> before,
                    std::optional<double> after,
                    int decimals)
{
    return {atM,
            kind,
            before,
            after,
            *after - *before,
            QStringLiteral("evento a %1: %2 %3 → %4 dB (%5)")
                .arg(km(atM),
                     what,
                     Sor::decimal(*before, decimals),
                     Sor::decimal(*after, decimals),
                     Sor::signedDecimal(*after - *before, decimals))};
}

} // namespace

Change lossChanged(const Acceptance::JudgedEvent &eb, const Acceptance::JudgedEvent &en)
{
    return valueChanged(Kind::Loss, eb.distanceM, QStringLiteral("perda"), eb.lossDb, en.lossDb, 3);
}

Change reflectanceChanged(const Acceptance::JudgedEvent &eb, const Acceptance::JudgedEvent &en)
{
    return valueChanged(Kind::Reflectance,
                        eb.distanceM,
                        QStringLiteral("refletância"),
                        eb.reflectanceDb,
                        en.reflectanceDb,
                        2);
}

Change attenuationChanged(const Acceptance::JudgedEvent &eb, const Acceptance::JudgedEvent &en)
{
    const double delta = *en.attenuationDbKm - *eb.attenuationDbKm;
    return {eb.distanceM - *eb.sectionM / 2,
            Kind::Attenuation,
            eb.attenuationDbKm,
            en.attenuationDbKm,
            delta,
            QStringLiteral("trecho antes do evento a %1: atenuação %2 → %3 dB/km "
                           "(%4 dB no trecho)")
                .arg(km(eb.distanceM),
                     Sor::decimal(*eb.attenuationDbKm, 3),
                     Sor::decimal(*en.attenuationDbKm, 3),
                     Sor::signedDecimal(delta * *eb.sectionM / 1000, 3))};
}

Change eventNew(const Acceptance::JudgedEvent &en, double at)
{
    return {
        at,
        Kind::New,
        std::nullopt,
        en.lossDb,
        en.lossDb,
        QStringLiteral("evento novo a %1: perda %2 dB%3")
            .arg(km(at),
                 Sor::optionalDecimal(en.lossDb, 3),
                 en.reflectanceDb
                     ? QStringLiteral(", refletância %1 dB").arg(Sor::decimal(*en.reflectanceDb, 2))
                     : QString())};
}

Change eventGone(const Acceptance::JudgedEvent &eb)
{
    return {eb.distanceM,
            Kind::Gone,
            eb.lossDb,
            std::nullopt,
            eb.lossDb ? std::optional<double>(-*eb.lossDb) : std::nullopt,
            QStringLiteral("evento a %1 sumiu (perda %2 dB)")
                .arg(km(eb.distanceM), Sor::optionalDecimal(eb.lossDb, 3))};
}

Change endMoved(double beforeM, double afterM)
{
    return {std::min(afterM, beforeM),
            Kind::End,
            beforeM,
            afterM,
            afterM - beforeM,
            QStringLiteral("a fibra agora termina em %1 (antes %2)").arg(km(afterM), km(beforeM))};
}

Change pointsStep(double x, double added)
{
    return {x,
            Kind::Trace,
            std::nullopt,
            std::nullopt,
            added,
            QStringLiteral("a %1, só nos pontos: %2 %3 dB")
                .arg(km(x),
                     added > 0 ? QStringLiteral("perda") : QStringLiteral("ganho"),
                     Sor::signedDecimal(added, 2))};
}

} // namespace Baseline
