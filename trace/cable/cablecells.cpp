#include "cable/cableparts.h"

#include "analysis/pointloss.h"
#include "sor/sorreader.h"

#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace Cable {

namespace {

// The event of a band's judged span at a place: its nearest within the tolerance.
const Acceptance::JudgedEvent *
judgedAt(const Acceptance::Judgement &judged, double atM, double toleranceM)
{
    const Acceptance::JudgedEvent *best = nullptr;
    for (const Acceptance::JudgedEvent &e : judged.events) {
        if (e.end || e.marker || e.pastEnd || std::abs(e.distanceM - atM) > toleranceM)
            continue;
        if (!best || std::abs(e.distanceM - atM) < std::abs(best->distanceM - atM))
            best = &e;
    }
    return best;
}

// An event's verdict on what a cell shows: its loss, and its reflectance where it reflects
// (the section before it is the fibre's, not the closure's).
Acceptance::Verdict eventVerdict(const Acceptance::JudgedEvent &e, const Acceptance::Limits &limits)
{
    const QStringList keys{QStringLiteral("splice_loss_max_db"),
                           QStringLiteral("connector_loss_max_db"),
                           QStringLiteral("reflectance_max_db")};
    const auto any = [&](const QStringList &list) {
        return std::any_of(
            list.cbegin(), list.cend(), [&](const QString &k) { return keys.contains(k); });
    };
    if (any(e.broken))
        return Acceptance::Verdict::Fail;
    if (any(e.unknown))
        return Acceptance::Verdict::Unknown;
    const bool checked = e.reflective ? limits.connectorLossMaxDb || limits.reflectanceMaxDb
                                      : bool(limits.spliceLossMaxDb);
    return checked ? Acceptance::Verdict::Pass : Acceptance::Verdict::NoLimits;
}

// A loss only the points give, judged by the closure's kind of limit.
Acceptance::Verdict ownVerdict(const Cell &cell, const Closure &c, const Acceptance::Limits &limits)
{
    const std::optional<double> limit
        = c.connector ? limits.connectorLossMaxDb : limits.spliceLossMaxDb;
    if (!limit)
        return Acceptance::Verdict::NoLimits;
    if (!cell.lossDb)
        return Acceptance::Verdict::Unknown;
    return *cell.lossDb > *limit ? Acceptance::Verdict::Fail : Acceptance::Verdict::Pass;
}

// Where a distance from A lies on B's own axis.
std::optional<double> onB(const Measured &m, double fromA)
{
    if (m.twoWay && m.twoWay->lengthAM && m.twoWay->lengthBM && *m.twoWay->lengthAM > 0) {
        const double la = *m.twoWay->lengthAM;
        const double lb = *m.twoWay->lengthBM;
        return lb - (fromA - m.twoWay->shiftM) * lb / la;
    }
    const std::optional<double> length = Acceptance::fileLink(m.b->trace).lengthM;
    if (!length)
        return std::nullopt;
    return *length - fromA;
}

// One end's loss at a closure (at closureM on A's axis): the event it stores there, else
// measured on its points, else why not.
void endLoss(const File *file,
             const Measured &m,
             double closureM,
             double toleranceM,
             std::optional<double> &loss,
             How &how,
             QString &why)
{
    if (!file) {
        why = QStringLiteral("sem o arquivo dessa ponta");
        return;
    }
    const bool isA = file == m.a;
    if (m.twoWay) {
        for (const Acceptance::TwoWayEvent &e : m.twoWay->events) {
            if (std::abs(e.distanceM - closureM) > toleranceM)
                continue;
            const std::optional<double> &value = isA ? e.lossAbDb : e.lossBaDb;
            if (value) {
                loss = value;
                how = (isA ? e.measuredA : e.measuredB) ? How::Measured : How::Found;
                return;
            }
        }
    } else {
        const Acceptance::Link link = Acceptance::fileLink(file->trace);
        for (const Acceptance::JudgedEvent &e : link.events) {
            const double fromA = isA || !link.lengthM ? e.distanceM : *link.lengthM - e.distanceM;
            if (!e.end && e.lossDb && std::abs(fromA - closureM) <= toleranceM) {
                loss = e.lossDb;
                how = How::Found;
                return;
            }
        }
    }
    const std::optional<double> there = isA ? std::optional<double>(closureM) : onB(m, closureM);
    if (!there) {
        why = QStringLiteral("o fim da fibra não é conhecido nessa ponta");
        return;
    }
    const Acceptance::Link own = Acceptance::fileLink(isA ? *m.pointsA : *m.pointsB);
    if (own.lengthM && *there >= *own.lengthM) {
        why = QStringLiteral("depois do fim da fibra nessa ponta");
        return;
    }
    const Analysis::PointLoss measured = Analysis::lossAt(isA ? *m.pointsA : *m.pointsB, *there);
    loss = measured.db;
    how = loss ? How::Measured : How::Absent;
    why = measured.why;
}

// The worse reflectance either end stores at a closure; none where neither reflects there.
std::optional<double> reflectanceAt(const Measured &m, double closureM, double toleranceM)
{
    if (m.twoWay) {
        for (const Acceptance::TwoWayEvent &e : m.twoWay->events) {
            if (std::abs(e.distanceM - closureM) <= toleranceM && e.reflectanceDb)
                return e.reflectanceDb;
        }
        return std::nullopt;
    }
    const File *file = m.a ? m.a : m.b;
    const Acceptance::Link link = Acceptance::fileLink(file->trace);
    for (const Acceptance::JudgedEvent &e : link.events) {
        const double fromA = m.a || !link.lengthM ? e.distanceM : *link.lengthM - e.distanceM;
        if (!e.end && e.reflectanceDb && std::abs(fromA - closureM) <= toleranceM)
            return e.reflectanceDb;
    }
    return std::nullopt;
}

} // namespace

Measured measure(const File *a, const File *b, double toleranceM)
{
    Measured m;
    m.a = a;
    m.b = b;
    // With the events the file was taken with: its own, or the analysis' where it stores none.
    const auto withPoints = [](const File *f) {
        // The bytes the job vetted, read again: their checksum is not verified twice, and a
        // file that changed since gives no points to measure on.
        QString problem;
        const QByteArray bytes = Sor::readBytes(f->path, problem);
        Sor::Trace t = problem.isEmpty() && bytes.size() == f->size
                           ? Sor::read(bytes, Sor::Detail::Points)
                           : f->trace;
        t.keyEvents = f->trace.keyEvents;
        return std::make_shared<const Sor::Trace>(std::move(t));
    };
    if (a)
        m.pointsA = withPoints(a);
    if (b)
        m.pointsB = withPoints(b);
    if (a && b) {
        const Acceptance::Link la = Acceptance::fileLink(*m.pointsA);
        const Acceptance::Link lb = Acceptance::fileLink(*m.pointsB);
        const Acceptance::Measurement ma = Acceptance::measurementOf(a->name, m.pointsA, la);
        const Acceptance::Measurement mb = Acceptance::measurementOf(b->name, m.pointsB, lb);
        if (Acceptance::directionsProblem(ma, mb).isEmpty()) {
            m.twoWay = Acceptance::averageDirections(ma, mb, toleranceM);
            m.link = Acceptance::averagedLink(*m.twoWay, la, lb);
            return m;
        }
    }
    // One end alone is judged on its points too: a marker that stores no loss is measured there.
    m.link = Acceptance::fileLink(a ? *m.pointsA : *m.pointsB);
    return m;
}

// One fibre's cells at every closure and band: each end's loss at its own place of the closure.
QStringList fillCells(Job &job,
                      const QString &fiber,
                      const QMap<int, Measured> &byBand,
                      const QMap<int, Acceptance::Judgement> &judged,
                      double scale,
                      const Options &o)
{
    QStringList reasons;
    for (const Closure &c : job.closures) {
        for (auto band = byBand.cbegin(); band != byBand.cend(); ++band) {
            const Measured &m = band.value();
            Cell cell;
            cell.fiber = fiber;
            cell.bandNm = band.key();
            cell.closure = c.number;
            const double here = c.distanceM * scale;
            endLoss(m.a, m, here, job.toleranceM, cell.lossAbDb, cell.howAb, cell.whyAb);
            endLoss(m.b, m, here, job.toleranceM, cell.lossBaDb, cell.howBa, cell.whyBa);
            if (cell.lossAbDb && cell.lossBaDb)
                cell.lossDb = (*cell.lossAbDb + *cell.lossBaDb) / 2;
            else
                cell.lossDb = cell.lossAbDb ? cell.lossAbDb : cell.lossBaDb;
            cell.reflectanceDb = reflectanceAt(m, here, job.toleranceM);
            const auto j = judged.constFind(band.key());
            const Acceptance::JudgedEvent *event
                = j == judged.cend() ? nullptr : judgedAt(*j, here, job.toleranceM);
            if (event) {
                cell.verdict = eventVerdict(*event, o.limits);
            } else {
                // Only the points give it: judged here, and so into the fibre's verdict.
                cell.verdict = ownVerdict(cell, c, o.limits);
                // Said as the judged events' reasons say it, and the band where the job has more.
                if (cell.verdict == Acceptance::Verdict::Fail)
                    reasons << QStringLiteral("%1%2 %3: perda %4 dB acima do limite (%5; medida "
                                              "nos pontos)")
                                   .arg(job.bands.size() > 1
                                            ? QStringLiteral("%1 nm: ").arg(band.key())
                                            : QString(),
                                        closureKind(c),
                                        closureTitle(c),
                                        Sor::decimal(*cell.lossDb, 3),
                                        Acceptance::limitText(
                                            c.connector ? QStringLiteral("connector_loss_max_db")
                                                        : QStringLiteral("splice_loss_max_db"),
                                            o.limits,
                                            m.link.wavelengthNm));
            }
            job.matrix.append(cell);
        }
    }
    return reasons;
}

} // namespace Cable
