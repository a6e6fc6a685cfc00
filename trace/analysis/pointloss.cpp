#include "analysis/pointloss.h"

#include "analysis/linefit.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Analysis {

namespace {

// Beyond this error the measurement is no better than none.
constexpr double LargestErrorDb = 0.05;
// Each stretch spans this many pulse lengths where it can, and at least this many points.
constexpr double StretchPulses = 10;
constexpr size_t FewestPoints = 20;

} // namespace

PointLoss lossAt(const Sor::Trace &trace, double distanceM, const Bounds &bounds)
{
    if (!trace.spacingM || !(*trace.spacingM > 0) || trace.levelDb.size() < 4 * FewestPoints
        || !trace.fixed || trace.fixed->pulseWidthsNs.isEmpty() || !std::isfinite(distanceM))
        return {std::nullopt, QStringLiteral("o traço não traz pontos para medir")};
    const double dx = *trace.spacingM;
    const double x0 = trace.distanceM.front();
    const double x = (distanceM - x0) / dx;
    const double pulse = std::max(1.0, Sor::pulseLengthM(trace) / dx);
    const double n = double(trace.levelDb.size());
    // The place is known to a pulse: the stretches stay a pulse clear of it before, and clear
    // of its smear and that pulse after; and within the bounds and the trace.
    const double beforeTo = x - pulse;
    const double afterFrom = x + 2 * pulse + 2;
    // Never inside the front connector's dead zone, whatever the bounds.
    const double lowest = std::max(3 * pulse + 2, bounds.fromM ? (*bounds.fromM - x0) / dx : 0.0);
    const double highest = std::min(n, bounds.toM ? (*bounds.toM - x0) / dx : n);
    const double wanted = std::max(double(FewestPoints), StretchPulses * pulse);
    const double beforeFrom = std::max(lowest, beforeTo - wanted);
    const double afterTo = std::min(highest, afterFrom + wanted);
    if (beforeTo - beforeFrom < double(FewestPoints)) {
        return {std::nullopt,
                beforeTo <= 0 || bounds.fromM
                    ? QStringLiteral("pouca retroespalhada antes do lugar (zona morta ou evento)")
                    : QStringLiteral("perto demais do início do traço")};
    }
    if (afterTo - afterFrom < double(FewestPoints)) {
        return {std::nullopt,
                QStringLiteral("pouca retroespalhada depois do lugar (evento ou fim da fibra)")};
    }
    const size_t from = size_t(std::ceil(beforeFrom));
    const size_t to = size_t(afterTo);
    std::vector<double> y(trace.levelDb.begin() + long(from), trace.levelDb.begin() + long(to));
    if (!std::all_of(y.begin(), y.end(), [](double v) { return std::isfinite(v); }))
        return {std::nullopt, QStringLiteral("\"sem dados\" em volta do lugar")};
    const Fits fits(y);
    const size_t b0 = 0;
    const size_t b1 = size_t(beforeTo) - from;
    const size_t a0 = size_t(std::ceil(afterFrom)) - from;
    const size_t a1 = y.size();
    const Line before = fits.line(b0, b1);
    const Line after = fits.line(a0, a1);
    const double at = x - double(from);
    const double error = std::hypot(
        fits.residual(b0, b1, before) * extrapolationSpread(b1 - b0, at - double(b0 + b1 - 1) / 2),
        fits.residual(a0, a1, after) * extrapolationSpread(a1 - a0, double(a0 + a1 - 1) / 2 - at));
    if (!(error <= LargestErrorDb)) {
        return {std::nullopt,
                QStringLiteral("erro do ajuste de %1 dB, acima de %2 dB")
                    .arg(Sor::decimal(error, 3), Sor::decimal(LargestErrorDb, 2))};
    }
    return {before.at(at) - after.at(at), QString()};
}

EventLoss eventLoss(const Sor::Trace &trace, const Sor::Event &event)
{
    if (!event.valuelessMarker())
        return {event.lossDb, false};
    const std::optional<double> measured = lossAt(trace, event.distanceM).db;
    return {measured, measured.has_value()};
}

} // namespace Analysis
