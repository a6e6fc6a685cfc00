#include "sor/readerimpl.h"

#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

// What the fixed parameters make of a trace's raw values: its group index and wavelength, and
// where each point and event lies along the fibre (the file stores times and sample spacings;
// the tools want metres from the span's start).
namespace Sor {

namespace Internal {

namespace {

// The metres between two points at a spacing (the time 10,000 points take, in 100 ps).
double metresPerPoint(qint32 spacing, double groupIndex)
{
    return spacing * 1e-14 * LightSpeed / groupIndex;
}

// With several pulse widths, each one's points lie at its own spacing: where each width's count
// is given, none negative, and they add up to the points.
bool pointsPerWidth(const FixedParameters &f, qint64 fixedPoints, qint64 points)
{
    return f.dataSpacing.size() > 1 && fixedPoints == points
           && f.pointsPerPulse.size() >= f.dataSpacing.size()
           && std::all_of(
               f.pointsPerPulse.cbegin(), f.pointsPerPulse.cend(), [](qint32 n) { return n >= 0; });
}

double groupIndexOf(const FixedParameters &f, QStringList &warnings)
{
    if (f.groupIndex <= 0) {
        warnings.append(QStringLiteral("índice de grupo ausente; usado 1,468"));
        return DefaultGroupIndex;
    }
    return f.groupIndex / 100000.0;
}

double wavelengthOf(const FixedParameters &f, QStringList &warnings)
{
    // One maker stores whole nanometres.
    if (f.wavelength / 10.0 < 600 && f.wavelength >= 600 && f.wavelength <= 1700) {
        warnings.append(QStringLiteral("comprimento de onda gravado em nm, não em 0,1 nm"));
        return f.wavelength;
    }
    return f.wavelength / 10.0;
}

// Points counted, not converted (a check, an archive): their reach from their count.
double
rangeFromCount(const FixedParameters &f, double groupIndex, qint64 fixedPoints, qint64 pointCount)
{
    const bool counted = pointsPerWidth(f, fixedPoints, pointCount);
    double reach = 0;
    double last = 0;
    for (int s = 0; s < (counted ? f.dataSpacing.size() : 1); ++s) {
        last = metresPerPoint(f.dataSpacing.at(s), groupIndex);
        reach += last * double(counted ? f.pointsPerPulse.at(s) : pointCount);
    }
    return reach - last;
}

} // namespace

void Reader::deriveFromFixed()
{
    const FixedParameters &f = *t.fixed;
    const double n = groupIndexOf(f, t.warnings);
    t.groupIndex = n;
    t.wavelengthNm = wavelengthOf(f, t.warnings);
    t.date = QDateTime::fromSecsSinceEpoch(qint64(f.dateTime), Qt::UTC);
    if (!f.dataSpacing.isEmpty())
        t.spacingM = metresPerPoint(f.dataSpacing.first(), n);
    qint64 fixedPoints = 0;
    for (qint32 points : f.pointsPerPulse)
        fixedPoints += points;
    if (t.declaredPoints && fixedPoints != pointCount) {
        t.warnings.append(QStringLiteral("FxdParams declara %1 pontos e DataPts traz %2")
                              .arg(fixedPoints)
                              .arg(pointCount));
    }
    placePoints(n, fixedPoints);
    if (t.keyEvents) {
        for (Event &e : t.keyEvents->events)
            e.distanceM = e.time * 1e-10 * LightSpeed / n;
    }
    placeOnSpan(n, fixedPoints);
}

// Each point's distance, each pulse width's points at its own spacing, and the range they reach.
void Reader::placePoints(double groupIndex, qint64 fixedPoints)
{
    const FixedParameters &f = *t.fixed;
    const bool segments = pointsPerWidth(f, fixedPoints, qint64(t.levelDb.size()));
    t.distanceM.clear();
    t.distanceM.reserve(t.levelDb.size());
    double start = 0;
    for (int s = 0; s < (segments ? f.dataSpacing.size() : 1); ++s) {
        const double step = metresPerPoint(f.dataSpacing.value(s), groupIndex);
        const size_t end
            = segments ? t.distanceM.size() + size_t(f.pointsPerPulse.at(s)) : t.levelDb.size();
        for (size_t k = 0; t.distanceM.size() < end; ++k)
            t.distanceM.push_back(start + double(k) * step);
        start = t.distanceM.empty() ? 0 : t.distanceM.back() + step;
    }
    if (!t.levelDb.empty())
        t.rangeM = t.distanceM.back();
    else if (pointCount > 1 && !f.dataSpacing.isEmpty())
        t.rangeM = rangeFromCount(f, groupIndex, fixedPoints, pointCount);
}

// The points start where the instrument started acquiring, the events at the span's start:
// both are put on the events' axis. The front panel lies on the points at its own offset, or,
// where a maker leaves that 0, where the acquisition's offset (negative: it started before the
// panel) puts it; the user offset takes the span's start further, past a launch cable.
void Reader::placeOnSpan(double groupIndex, qint64 fixedPoints)
{
    const FixedParameters &f = *t.fixed;
    const qint32 user = t.general ? t.general->userOffset : 0;
    auto metres = [groupIndex](qint32 time) { return time * 1e-10 * LightSpeed / groupIndex; };
    Offsets o;
    o.frontPanel = f.frontPanelOffset;
    o.acquisition = f.acquisitionOffset;
    o.user = user;
    o.frontPanelM = metres(f.frontPanelOffset);
    o.acquisitionM = metres(f.acquisitionOffset);
    o.userM = metres(user);
    o.spanStartM = (f.frontPanelOffset != 0 ? o.frontPanelM : -o.acquisitionM) + o.userM;
    const bool moves = o.spanStartM != 0;
    // The extent of the points along their own axis, from what the file declares, so that a
    // check that skips the levels judges the offsets as a full read does.
    const qint64 points = t.levelDb.empty() ? std::max(pointCount, fixedPoints) : t.points();
    const double stepM = metres(f.dataSpacing.value(0)) / 10000.0;
    const double lastM
        = t.levelDb.empty() ? double(std::max<qint64>(points - 1, 0)) * stepM : t.distanceM.back();
    const double slackM = pulseLengthM(f.pulseWidthsNs.value(0), groupIndex) + 2 * std::abs(stepM);
    QStringList off;
    if (moves && points > 0 && t.keyEvents) {
        for (const Event &e : t.keyEvents->events) {
            // An out-of-range marker lies past the measured range by what it is.
            if (e.outOfRange())
                continue;
            const double at = e.distanceM + o.spanStartM;
            if (!(at >= -slackM && at <= lastM + slackM))
                off << QString::number(e.number);
        }
    }
    if (!moves || points == 0) {
        o.applied = true;
    } else if (!std::isfinite(o.spanStartM) || std::abs(o.spanStartM) > lastM + slackM) {
        t.warnings.append(QStringLiteral("o início do enlace (%1 m) cai fora do traço; as "
                                         "distâncias ficam como gravadas")
                              .arg(decimal(o.spanStartM, 1)));
    } else if (!off.isEmpty()) {
        t.warnings.append(
            QStringLiteral("os deslocamentos do arquivo (início do enlace a %1 m) "
                           "poriam fora do traço %2 %3; as distâncias ficam "
                           "como gravadas")
                .arg(decimal(o.spanStartM, 1),
                     off.size() == 1 ? QStringLiteral("o evento") : QStringLiteral("os eventos"),
                     off.join(QStringLiteral(", "))));
    } else {
        o.applied = true;
        for (double &x : t.distanceM)
            x -= o.spanStartM;
    }
    t.offsets = o;
}

} // namespace Internal

} // namespace Sor
