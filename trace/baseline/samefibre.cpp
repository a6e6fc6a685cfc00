#include "baseline/samefibre.h"
#include "baseline/pointdifference.h"

#include "acceptance/direction.h"
#include "acceptance/twoway.h"
#include "sor/sortext.h"

#include <algorithm>

namespace Baseline {

namespace {

// A fibre this many times longer than the other is not the same fibre (a break makes the
// trace of now shorter, never longer).
constexpr double LongerBy = 2;

QString idOf(const Sor::Trace &t, bool cable)
{
    if (!t.general)
        return QString();
    return (cable ? t.general->cableId : t.general->fiberId).trimmed();
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
    m.pulseNs = Sor::firstPulseNs(t);
    m.spacingM = t.spacingM.value_or(0);
    m.groupIndex = t.groupIndex.value_or(Sor::DefaultGroupIndex);
    return m;
}

// A break leaves a shorter fibre whose events before it are the as-built's: a much shorter
// trace whose events are mostly elsewhere is another fibre.
bool eventsElsewhere(const Acceptance::Link &lb, const Acceptance::Link &ln, double toleranceM)
{
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
    const auto matched = std::count_if(
        m.matches.cbegin(), m.matches.cend(), [](const auto &x) { return x.a >= 0 && x.b >= 0; });
    return shorter.size() >= 2 && 2 * int(matched) < int(shorter.size());
}

} // namespace

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
            .arg(Sor::kilometres(*ln.lengthM), Sor::kilometres(*lb.lengthM));
    if (*lb.lengthM > LongerBy * *ln.lengthM + toleranceM && eventsElsewhere(lb, ln, toleranceM))
        return QStringLiteral("a fibra de agora (%1) é bem mais curta que a linha de base "
                              "(%2) e seus eventos não estão onde os da linha de base "
                              "estão: não é a mesma fibra")
            .arg(Sor::kilometres(*ln.lengthM), Sor::kilometres(*lb.lengthM));
    return QString();
}

} // namespace Baseline
