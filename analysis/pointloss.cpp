#include "analysis/pointloss.h"

#include "analysis/linefit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Analysis {

namespace {

// Beyond this error the measurement is no better than none.
constexpr double LargestErrorDb = 0.05;
// Backscatter scatters less than this about its line: more is an event or a dead zone.
constexpr double LargestScatterDb = 0.1;
// Each stretch spans this many pulse lengths, and at least this many points.
constexpr double StretchPulses = 10;
constexpr size_t FewestPoints = 20;

} // namespace

std::optional<double> lossAt(const Sor::Trace &trace, double distanceM)
{
    if (!trace.spacingM || !(*trace.spacingM > 0) || trace.levelDb.size() < 4 * FewestPoints
        || !trace.fixed || trace.fixed->pulseWidthsNs.isEmpty() || !std::isfinite(distanceM))
        return std::nullopt;
    const double dx = *trace.spacingM;
    const double x = (distanceM - trace.distanceM.front()) / dx;
    const double pulse
        = std::max(1.0,
                   Sor::pulseLengthM(trace.fixed->pulseWidthsNs.first(),
                                     trace.groupIndex.value_or(Sor::DefaultGroupIndex))
                       / dx);
    const double stretch = std::max(double(FewestPoints), StretchPulses * pulse);
    // The place is known to a pulse: the stretches stay a pulse clear of it before, and clear
    // of its smear and that pulse after.
    const double beforeTo = x - pulse;
    const double beforeFrom = beforeTo - stretch;
    const double afterFrom = x + 2 * pulse + 2;
    const double afterTo = afterFrom + stretch;
    const double n = double(trace.levelDb.size());
    if (!(beforeFrom >= 0) || !(afterTo <= n))
        return std::nullopt;
    const size_t from = size_t(beforeFrom);
    const size_t to = size_t(afterTo);
    std::vector<double> y(trace.levelDb.begin() + long(from), trace.levelDb.begin() + long(to));
    if (!std::all_of(y.begin(), y.end(), [](double v) { return std::isfinite(v); }))
        return std::nullopt;
    const Fits fits(y);
    const size_t b0 = 0;
    const size_t b1 = size_t(beforeTo) - from;
    const size_t a0 = size_t(std::ceil(afterFrom)) - from;
    const size_t a1 = y.size();
    const Line before = fits.line(b0, b1);
    const Line after = fits.line(a0, a1);
    const double at = x - double(from);
    const double scatterBefore = fits.residual(b0, b1, before);
    const double scatterAfter = fits.residual(a0, a1, after);
    if (scatterBefore > LargestScatterDb || scatterAfter > LargestScatterDb)
        return std::nullopt;
    const double error
        = std::hypot(scatterBefore * extrapolationSpread(b1 - b0, at - double(b0 + b1 - 1) / 2),
                     scatterAfter * extrapolationSpread(a1 - a0, double(a0 + a1 - 1) / 2 - at));
    if (!(error <= LargestErrorDb))
        return std::nullopt;
    return before.at(at) - after.at(at);
}

EventLoss eventLoss(const Sor::Trace &trace, const Sor::Event &event)
{
    if (!event.valuelessMarker())
        return {event.lossDb, false};
    const std::optional<double> measured = lossAt(trace, event.distanceM);
    return {measured, measured.has_value()};
}

} // namespace Analysis
