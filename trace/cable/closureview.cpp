#include "cable/closureview.h"

#include "analysis/statistics.h"
#include "sor/sorreader.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace Cable {

namespace {

// The median level of a trace's points in [from, to]; none where it has none there.
std::optional<double> levelOver(const Sor::Trace &t, double from, double to)
{
    std::vector<double> levels;
    for (size_t i = 0; i < t.distanceM.size(); ++i) {
        if (t.distanceM[i] >= from && t.distanceM[i] <= to && !std::isnan(t.levelDb[i]))
            levels.push_back(t.levelDb[i]);
    }
    if (levels.empty())
        return std::nullopt;
    return Analysis::median(levels);
}

} // namespace

QStringList eventFlags(const Job &job, const Fibre &fibre, const Sor::Trace &onA, bool fromB)
{
    QStringList flags;
    if (!onA.keyEvents)
        return flags;
    for (const Sor::Event &e : onA.keyEvents->events) {
        const bool end = e.mode() == QLatin1Char('E');
        if (fromB && end) {
            flags << QString();
            continue;
        }
        const PlaceName name = placeName(job, fibre, e.distanceM, end);
        flags << (fromB && name.kind == PlaceName::Front ? QString() : name.flag);
    }
    return flags;
}

FibreTraces fibreTraces(const Job &job, const QString &fiber, int bandNm)
{
    FibreTraces t;
    const auto fibre = std::find_if(
        job.fibres.cbegin(), job.fibres.cend(), [&](const Fibre &f) { return f.fiber == fiber; });
    for (const File &f : job.files) {
        if (f.problem.isEmpty() && !f.repeated && f.fiber == fiber && f.bandNm == bandNm)
            (f.end == QLatin1Char('A') ? t.pathA : t.pathB) = f.path;
    }
    if (fibre == job.fibres.cend() || (t.pathA.isEmpty() && t.pathB.isEmpty())) {
        t.problem = QStringLiteral("a fibra %1 não tem arquivo em %2 nm").arg(fiber).arg(bandNm);
        return t;
    }
    const Sor::Opened a = t.pathA.isEmpty() ? Sor::Opened{} : Sor::openTrace(t.pathA);
    const Sor::Opened b = t.pathB.isEmpty() ? Sor::Opened{} : Sor::openTrace(t.pathB);
    if (!t.pathA.isEmpty() && a.usable())
        t.a = a.trace;
    if (!t.pathB.isEmpty() && b.usable()) {
        const Acceptance::Link lb = Acceptance::fileLink(b.trace);
        if (t.a) {
            const Acceptance::Measurement ma = Acceptance::measurementOf(
                QFileInfo(t.pathA).fileName(), *t.a, Acceptance::fileLink(*t.a));
            const Acceptance::Measurement mb
                = Acceptance::measurementOf(QFileInfo(t.pathB).fileName(), b.trace, lb);
            if (Acceptance::directionsProblem(ma, mb).isEmpty())
                t.twoWay = Acceptance::averageDirections(ma, mb, job.toleranceM);
        }
        // Alone, or where the two cannot be laid over each other: B over its own length.
        if (!t.twoWay.lengthAM || !t.twoWay.lengthBM) {
            t.twoWay.lengthAM = lb.lengthM;
            t.twoWay.lengthBM = lb.lengthM;
            t.twoWay.shiftM = 0;
        }
        t.b = Acceptance::mirroredTrace(b.trace, t.twoWay, Acceptance::MirroredEvents::Kept);
    }
    if (!t.a && !t.b) {
        t.problem = QStringLiteral("nenhum dos arquivos da fibra %1 em %2 nm pôde ser lido")
                        .arg(fiber)
                        .arg(bandNm);
        return t;
    }
    if (t.a)
        t.flagsA = eventFlags(job, *fibre, *t.a, false);
    if (t.b)
        t.flagsB = eventFlags(job, *fibre, *t.b, true);
    return t;
}

ClosureTraces closureTraces(
    const Job &job, const QString &fiber, int bandNm, int closure, const Acceptance::Limits &limits)
{
    ClosureTraces c;
    c.toleranceM = job.toleranceM;
    const auto found = std::find_if(job.closures.cbegin(),
                                    job.closures.cend(),
                                    [&](const Closure &x) { return x.number == closure; });
    const auto fibre = std::find_if(
        job.fibres.cbegin(), job.fibres.cend(), [&](const Fibre &f) { return f.fiber == fiber; });
    if (found == job.closures.cend() || fibre == job.fibres.cend()) {
        c.problem
            = QStringLiteral("a emenda %1 da fibra %2 não está no cabo").arg(closure).arg(fiber);
        return c;
    }
    c.closure = *found;
    c.limitDb = c.closure.connector ? limits.connectorLossMaxDb : limits.spliceLossMaxDb;
    for (const Cell &cell : job.matrix) {
        if (cell.fiber == fiber && cell.bandNm == bandNm && cell.closure == closure)
            c.cell = cell;
    }
    FibreTraces traces = fibreTraces(job, fiber, bandNm);
    if (!traces.problem.isEmpty()) {
        c.problem = traces.problem;
        return c;
    }
    c.atM = c.closure.distanceM * fibre->lengthScale;
    c.nameA = QFileInfo(traces.pathA).fileName();
    c.nameB = QFileInfo(traces.pathB).fileName();
    c.pathA = traces.pathA;
    c.pathB = traces.pathB;
    c.a = std::move(traces.a);
    c.b = std::move(traces.b);
    c.flagsA = traces.flagsA;
    c.flagsB = traces.flagsB;
    const double pulse = std::max(Sor::pulseLengthM(c.a ? *c.a : *c.b), 1.0);
    c.halfWidthM = std::max(200.0, 8 * pulse);
    // B meets A just before the closure, past the step's own smear.
    if (c.a && c.b) {
        const double to = c.atM - 2 * pulse;
        const double from = to - std::max(4 * pulse, 50.0);
        const std::optional<double> levelA = levelOver(*c.a, from, to);
        const std::optional<double> levelB = levelOver(*c.b, from, to);
        if (levelA && levelB) {
            c.offsetDb = *levelA - *levelB;
            for (double &level : c.b->levelDb)
                level += c.offsetDb;
        }
    }
    return c;
}

} // namespace Cable
