#include "cable/cablejob.h"

#include "sor/sortext.h"

#include <QHash>

#include <cmath>

namespace Cable {

namespace {

QString closureName(const Closure &c)
{
    return QStringLiteral("%1 %2 (%3)")
        .arg(closureKind(c), closureTitle(c), Sor::kilometres(c.distanceM));
}

// The closures by place: one tolerance, the coarser job's, and no more shift than that.
void matchClosures(SinceBaseline &since, const Job &job, const Job &base, double toleranceM)
{
    QVector<double> here;
    QVector<double> then;
    for (const Closure &c : job.closures)
        here << c.distanceM;
    for (const Closure &c : base.closures)
        then << c.distanceM;
    const Acceptance::Matching m = Acceptance::matchPositions(here, then, toleranceM, toleranceM);
    since.shiftM = m.shiftM;
    since.closureOf = QVector<int>(job.closures.size(), 0);
    for (const Acceptance::Match &match : m.matches) {
        if (match.a >= 0 && match.b >= 0)
            since.closureOf[match.a] = base.closures.at(match.b).number;
        else if (match.a >= 0)
            since.newClosures << closureName(job.closures.at(match.a));
        else
            since.goneClosures << closureName(base.closures.at(match.b));
    }
}

QString cellKey(const QString &fiber, int bandNm, int closure)
{
    return QStringLiteral("%1|%2|%3").arg(fiber).arg(bandNm).arg(closure);
}

// A cell's loss then and now, like with like: the two ends' mean where both jobs have both,
// else one end's value against the same end's (one end alone sees a splice's loss off by its
// fibres' backscatter difference), and which end that was.
struct LossThenAndNow
{
    std::optional<double> was;
    std::optional<double> is;
    QString end;
};

LossThenAndNow likeWithLike(const Cell &then, const Cell &now)
{
    LossThenAndNow loss{then.lossDb, now.lossDb, QString()};
    if (then.lossAbDb && then.lossBaDb && now.lossAbDb && now.lossBaDb)
        return loss;
    if (then.lossAbDb && now.lossAbDb)
        return {then.lossAbDb, now.lossAbDb, QStringLiteral(" (A→B)")};
    if (then.lossBaDb && now.lossBaDb)
        return {then.lossBaDb, now.lossBaDb, QStringLiteral(" (B→A)")};
    return loss;
}

// Each cell against the baseline's at the same closure: its change, and a line where it is
// the threshold or more; at a closure the baseline had not, a loss that counts is new.
void cellsSince(SinceBaseline &since, Job &job, const Job &base)
{
    QHash<QString, const Cell *> thenCells;
    for (const Cell &c : base.matrix)
        thenCells.insert(cellKey(c.fiber, c.bandNm, c.closure), &c);
    for (Cell &c : job.matrix) {
        const Closure &closure = job.closures.at(c.closure - 1);
        const int before = since.closureOf.value(c.closure - 1);
        if (before == 0) {
            if (c.lossDb && std::abs(*c.lossDb) >= since.thresholdDb)
                since.changes << QStringLiteral("%1, %2 nm, %3: %4 dB, nova")
                                     .arg(c.fiber)
                                     .arg(c.bandNm)
                                     .arg(closureName(closure), Sor::decimal(*c.lossDb, 3));
            continue;
        }
        const Cell *then = thenCells.value(cellKey(c.fiber, c.bandNm, before));
        if (!then || !then->lossDb)
            continue;
        const LossThenAndNow loss = likeWithLike(*then, c);
        c.baselineDb = loss.was;
        if (!loss.is)
            continue;
        c.changeDb = *loss.is - *loss.was;
        if (std::abs(*c.changeDb) >= since.thresholdDb - 1e-9)
            since.changes << QStringLiteral("%1, %2 nm, %3: %4 → %5 dB%6 (%7)")
                                 .arg(c.fiber)
                                 .arg(c.bandNm)
                                 .arg(closureName(closure),
                                      Sor::decimal(*loss.was, 3),
                                      Sor::decimal(*loss.is, 3),
                                      loss.end,
                                      Sor::signedDecimal(*c.changeDb, 3));
    }
}

// Each fibre's length and total loss against the baseline's.
void fibresSince(SinceBaseline &since, Job &job, const Job &base, double toleranceM)
{
    QHash<QString, const Fibre *> thenFibres;
    for (const Fibre &f : base.fibres)
        thenFibres.insert(f.fiber, &f);
    for (Fibre &f : job.fibres) {
        const Fibre *then = thenFibres.value(f.fiber);
        if (!then) {
            since.fibresWithout << f.fiber;
            continue;
        }
        f.baselineLengthM = then->lengthM;
        f.baselineLossDb = then->totalLossDb;
        // A fibre that now ends elsewhere: a break, or a repair that moved its end.
        if (f.lengthM && then->lengthM && std::abs(*f.lengthM - *then->lengthM) > toleranceM)
            since.changes << QStringLiteral("%1: comprimento %2 → %3")
                                 .arg(f.fiber,
                                      Sor::kilometres(*then->lengthM),
                                      Sor::kilometres(*f.lengthM));
        // The totals are the ends' mean: compared where both jobs measured the fibre alike.
        else if (f.totalLossDb && then->totalLossDb && f.files.size() == then->files.size()
                 && std::abs(*f.totalLossDb - *then->totalLossDb) >= since.thresholdDb - 1e-9)
            since.changes << QStringLiteral("%1: perda total %2 → %3 dB (%4)")
                                 .arg(f.fiber,
                                      Sor::decimal(*then->totalLossDb, 3),
                                      Sor::decimal(*f.totalLossDb, 3),
                                      Sor::signedDecimal(*f.totalLossDb - *then->totalLossDb, 3));
    }
}

} // namespace

void compareWithBaseline(Job &job, const Job &base, const QString &label, double thresholdDb)
{
    SinceBaseline since;
    since.label = label;
    since.thresholdDb = thresholdDb;
    const double tolerance = std::max(job.toleranceM, base.toleranceM);
    matchClosures(since, job, base, tolerance);
    cellsSince(since, job, base);
    fibresSince(since, job, base, tolerance);
    job.baseline = since;
}

} // namespace Cable
