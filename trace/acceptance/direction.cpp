#include "acceptance/direction.h"

#include "sor/linesums.h"
#include "sor/samepoints.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace Acceptance {

namespace {

// A way of laying the events decides with at least this many matched, and as many as half of
// the fewer events either trace has.
constexpr int FewestMatched = 2;
// With as many matched each way, the decided one's events lie this much closer.
constexpr double CloserBy = 2;
// Two points of one measurement saved twice agree within this (dB).
constexpr double SamePointsDb = 0.001;

QVector<double> eventPositions(const Link &link)
{
    QVector<double> at;
    for (const JudgedEvent &e : link.events) {
        if (!e.end && !e.marker && !e.pastEnd)
            at << e.distanceM;
    }
    std::sort(at.begin(), at.end());
    return at;
}

struct Laying
{
    int matched = 0;
    std::optional<double> rmsM;
    double scale = 1;
};

// b's positions over a's: the best shift, then a line a = s·b + c through the matched pairs,
// and the RMS of what is left.
Laying lay(const QVector<double> &a, const QVector<double> &b, double toleranceM, double maxShiftM)
{
    Laying result;
    const Matching m = matchPositions(a, b, toleranceM, maxShiftM);
    QVector<QPair<double, double>> pairs;
    for (const Match &match : m.matches) {
        if (match.a >= 0 && match.b >= 0)
            pairs.append({b.at(match.b), a.at(match.a)});
    }
    result.matched = pairs.size();
    if (pairs.isEmpty())
        return result;
    Sor::LineSums sums;
    for (const auto &p : pairs)
        sums.add(p.first, p.second);
    const double n = sums.n;
    const double slope
        = pairs.size() >= 2 && std::abs(sums.determinant()) > 1e-9 ? sums.slope() : 1.0;
    const double intercept = sums.intercept(slope);
    double squares = 0;
    for (const auto &p : pairs) {
        const double r = p.second - (slope * p.first + intercept);
        squares += r * r;
    }
    result.rmsM = std::sqrt(squares / n);
    result.scale = slope;
    return result;
}

bool clearlyBetter(const Laying &x, const Laying &y, int needed)
{
    if (x.matched < needed)
        return false;
    if (x.matched != y.matched)
        return x.matched > y.matched;
    return x.rmsM && y.rmsM && *x.rmsM * CloserBy < *y.rmsM;
}

} // namespace

EndsEvidence endsFromTraces(const Measurement &a, const Measurement &b, double toleranceM)
{
    EndsEvidence evidence;
    const double tolerance = toleranceM > 0 ? toleranceM : defaultToleranceM(a, b);
    const QVector<double> pa = eventPositions(a.link);
    const QVector<double> pb = eventPositions(b.link);
    const double la = a.link.lengthM.value_or(0);
    const double lb = b.link.lengthM.value_or(0);
    const int fewer = std::min(pa.size(), pb.size());
    if (fewer < FewestMatched)
        return evidence;
    const double reach = std::max(la, lb);
    const double maxShift = std::max(5 * tolerance, 0.01 * reach);
    const Laying direct = lay(pa, pb, tolerance, maxShift);
    Laying mirrored;
    if (la > 0 && lb > 0) {
        QVector<double> flipped;
        for (double x : pb)
            flipped << (lb - x) * la / lb;
        std::sort(flipped.begin(), flipped.end());
        mirrored = lay(pa, flipped, tolerance, maxShift);
        mirrored.scale *= la / lb;
    }
    evidence.directMatched = direct.matched;
    evidence.mirroredMatched = mirrored.matched;
    evidence.directFitM = direct.rmsM;
    evidence.mirroredFitM = mirrored.rmsM;
    const int needed = std::max(FewestMatched, (fewer + 1) / 2);
    if (clearlyBetter(mirrored, direct, needed)) {
        evidence.ends = Ends::Two;
        evidence.lengthScale = mirrored.scale;
    } else if (clearlyBetter(direct, mirrored, needed)) {
        evidence.ends = Ends::Same;
        evidence.lengthScale = direct.scale;
    }
    if (evidence.ends != Ends::Unknown)
        evidence.decidedBy = QStringLiteral("traces");
    return evidence;
}

EndsEvidence endsOf(const QString &pathA,
                    const Measurement &a,
                    const QString &pathB,
                    const Measurement &b,
                    double toleranceM,
                    QString &problem)
{
    problem.clear();
    EndsEvidence evidence;
    const QString labels = identityProblem(pathA, a, pathB, b);
    const bool samePlace = !a.locationA.isEmpty() && a.locationA == b.locationA;
    const bool twoIds
        = namedFromTheOtherEnd(a.fiberId, b.fiberId) || namedFromTheOtherEnd(a.cableId, b.cableId);
    // What no trace can overrule: the same file, or two fibres by their ids.
    if (!labels.isEmpty() && !(samePlace && labels.contains(a.locationA) && !twoIds)) {
        problem = labels;
        return evidence;
    }
    if (a.trace && b.trace && sameMeasurement(*a.trace, *b.trace)) {
        problem = QStringLiteral("%1 e %2 são a mesma medida salva duas vezes (mesmo número de "
                                 "série, mesmo segundo, mesmos pontos)")
                      .arg(a.name, b.name);
        return evidence;
    }
    evidence = endsFromTraces(a, b, toleranceM);
    if (evidence.ends == Ends::Same) {
        problem = QStringLiteral("as duas medidas partem da mesma ponta: %1")
                      .arg(endsSentence(evidence));
    } else if (evidence.ends == Ends::Two) {
        if (samePlace && !twoIds)
            evidence.warning = QStringLiteral("os dois arquivos dizem partir do mesmo local (%1), "
                                              "mas os traços mostram as duas pontas")
                                   .arg(a.locationA);
    } else if (twoIds) {
        evidence.ends = Ends::Two;
        evidence.decidedBy = QStringLiteral("ids");
    } else if (!labels.isEmpty()) {
        problem = labels;
    } else if (!a.locationA.isEmpty() && !b.locationA.isEmpty()) {
        evidence.ends = Ends::Two;
        evidence.decidedBy = QStringLiteral("labels");
    }
    return evidence;
}

bool sameMeasurement(const Sor::Trace &a, const Sor::Trace &b)
{
    if (!a.fixed || !b.fixed || !a.supplier || !b.supplier)
        return false;
    return a.fixed->dateTime == b.fixed->dateTime
           && a.supplier->mainframeSerial.trimmed() == b.supplier->mainframeSerial.trimmed()
           && Sor::samePoints(a, b, SamePointsDb);
}

QString endsSentence(const EndsEvidence &e)
{
    const auto way = [](int matched, const std::optional<double> &rms) {
        return rms ? QStringLiteral("%1 a %2 m").arg(matched).arg(Sor::decimal(*rms, 1))
                   : QStringLiteral("nenhum");
    };
    const QString fits
        = QStringLiteral("espelhados, %1; diretos, %2")
              .arg(way(e.mirroredMatched, e.mirroredFitM), way(e.directMatched, e.directFitM));
    const QString what = e.ends == Ends::Two    ? QStringLiteral("as duas pontas")
                         : e.ends == Ends::Same ? QStringLiteral("a mesma ponta")
                                                : QStringLiteral("não se sabe de que pontas");
    const QString by = e.decidedBy == QLatin1String("traces") ? QStringLiteral("pelos traços")
                       : e.decidedBy == QLatin1String("ids")  ? QStringLiteral("pelos ids")
                       : e.decidedBy == QLatin1String("labels")
                           ? QStringLiteral("pelos locais gravados")
                       : e.decidedBy == QLatin1String("names") ? QStringLiteral("pelos nomes")
                                                               : QString();
    return (by.isEmpty() ? what : what + QLatin1Char(' ') + by)
           + QStringLiteral(" (eventos casados %1)").arg(fits);
}

} // namespace Acceptance
