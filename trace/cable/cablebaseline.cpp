#include "cable/cablejob.h"

#include "sor/sortext.h"

#include <QHash>

#include <cmath>

namespace Cable {

namespace {

QString signedDb(double v)
{
    return (v >= 0 ? QStringLiteral("+") : QString()) + Sor::decimal(v, 3);
}

QString closureName(const Closure &c)
{
    return QStringLiteral("%1 %2 (%3)")
        .arg(closureKind(c), closureTitle(c), Sor::kilometres(c.distanceM));
}

} // namespace

void compareWithBaseline(Job &job, const Job &base, const QString &label, double thresholdDb)
{
    SinceBaseline since;
    since.label = label;
    since.thresholdDb = thresholdDb;
    // The closures by place: one tolerance, the coarser job's, and no more shift than that.
    const double tolerance = std::max(job.toleranceM, base.toleranceM);
    QVector<double> here;
    QVector<double> then;
    for (const Closure &c : job.closures)
        here << c.distanceM;
    for (const Closure &c : base.closures)
        then << c.distanceM;
    const Acceptance::Matching m = Acceptance::matchPositions(here, then, tolerance, tolerance);
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
    QHash<QString, const Cell *> thenCells;
    for (const Cell &c : base.matrix)
        thenCells.insert(QStringLiteral("%1|%2|%3").arg(c.fiber).arg(c.bandNm).arg(c.closure), &c);
    for (Cell &c : job.matrix) {
        const Closure &closure = job.closures.at(c.closure - 1);
        const int before = since.closureOf.value(c.closure - 1);
        if (before == 0) {
            // At a closure the baseline had not, a loss that counts is new.
            if (c.lossDb && std::abs(*c.lossDb) >= thresholdDb)
                since.changes << QStringLiteral("%1, %2 nm, %3: %4 dB, nova")
                                     .arg(c.fiber)
                                     .arg(c.bandNm)
                                     .arg(closureName(closure), Sor::decimal(*c.lossDb, 3));
            continue;
        }
        const Cell *then
            = thenCells.value(QStringLiteral("%1|%2|%3").arg(c.fiber).arg(c.bandNm).arg(before));
        if (!then || !then->lossDb)
            continue;
        // Like with like: the two ends' mean where both jobs have both, else one end's value
        // against the same end's (one end alone sees a splice's loss off by its fibres'
        // backscatter difference).
        std::optional<double> was = then->lossDb;
        std::optional<double> is = c.lossDb;
        QString end;
        const bool bothThen = then->lossAbDb && then->lossBaDb;
        const bool bothNow = c.lossAbDb && c.lossBaDb;
        if (!(bothThen && bothNow)) {
            if (then->lossAbDb && c.lossAbDb) {
                was = then->lossAbDb;
                is = c.lossAbDb;
                end = QStringLiteral(" (A→B)");
            } else if (then->lossBaDb && c.lossBaDb) {
                was = then->lossBaDb;
                is = c.lossBaDb;
                end = QStringLiteral(" (B→A)");
            }
        }
        c.baselineDb = was;
        if (!is)
            continue;
        c.changeDb = *is - *was;
        if (std::abs(*c.changeDb) >= thresholdDb - 1e-9)
            since.changes << QStringLiteral("%1, %2 nm, %3: %4 → %5 dB%6 (%7)")
                                 .arg(c.fiber)
                                 .arg(c.bandNm)
                                 .arg(closureName(closure),
                                      Sor::decimal(*was, 3),
                                      Sor::decimal(*is, 3),
                                      end,
                                      signedDb(*c.changeDb));
    }
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
        if (f.lengthM && then->lengthM && std::abs(*f.lengthM - *then->lengthM) > tolerance)
            since.changes << QStringLiteral("%1: comprimento %2 → %3")
                                 .arg(f.fiber,
                                      Sor::kilometres(*then->lengthM),
                                      Sor::kilometres(*f.lengthM));
        // The totals are the ends' mean: compared where both jobs measured the fibre alike.
        else if (f.totalLossDb && then->totalLossDb && f.files.size() == then->files.size()
                 && std::abs(*f.totalLossDb - *then->totalLossDb) >= thresholdDb - 1e-9)
            since.changes << QStringLiteral("%1: perda total %2 → %3 dB (%4)")
                                 .arg(f.fiber,
                                      Sor::decimal(*then->totalLossDb, 3),
                                      Sor::decimal(*f.totalLossDb, 3),
                                      signedDb(*f.totalLossDb - *then->totalLossDb));
    }
    job.baseline = since;
}

} // namespace Cable
