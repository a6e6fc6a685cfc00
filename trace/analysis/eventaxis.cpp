#include "analysis/eventaxis.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Analysis {

namespace {

// A rise counts fully from this height, or from this many times the noise before it, so that
// each reflection counts once, however strong: one end must not outweigh every connector.
constexpr double MinimumRiseDb = 0.1;
constexpr double NoiseMargin = 4.0;

// How clearly each point is a reflection's leading edge: the rise from half a pulse (h points)
// before it to half a pulse after, where a reflection's top lasts a pulse. Scored against the
// noise before it, so that the floor's noise past a fibre's end does not pass for reflections;
// a window with "no data" in it shows none.
std::vector<double> risesAt(const std::vector<double> &y, size_t h)
{
    const size_t n = y.size();
    std::vector<double> rise(n, 0.0);
    for (size_t i = h; i + h <= n; ++i) {
        double before = 0;
        double after = 0;
        double square = 0;
        bool data = true;
        for (size_t k = 0; k < h && data; ++k) {
            data = std::isfinite(y[i - h + k]) && std::isfinite(y[i + k]);
            before += y[i - h + k];
            after += y[i + k];
            square += y[i - h + k] * y[i - h + k];
        }
        if (!data)
            continue;
        const double mean = before / double(h);
        const double spread = std::sqrt(std::max(0.0, square / double(h) - mean * mean));
        const double up = after / double(h) - mean;
        rise[i] = std::clamp(up / (MinimumRiseDb + NoiseMargin * spread), 0.0, 1.0);
    }
    return rise;
}

// The best rise near each point, so that an edge a sample off still counts.
std::vector<double> bestNearby(const std::vector<double> &rise, size_t reach)
{
    const size_t n = rise.size();
    std::vector<double> nearby(n, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const size_t from = i >= reach ? i - reach : 0;
        const size_t to = std::min(n - 1, i + reach);
        nearby[i] = *std::max_element(rise.begin() + long(from), rise.begin() + long(to) + 1);
    }
    return nearby;
}

// The file's reflections, in points from the first: a reflection within the first half pulse
// has no trace before it to rise from, so it cannot tell one shift from another, and would
// favour any that moves it away.
std::vector<double> storedReflections(const Sor::Trace &trace, double dx, size_t h)
{
    const double x0 = trace.distanceM.front();
    std::vector<double> at;
    for (const Sor::Event &e : trace.keyEvents->events) {
        const QChar type = e.code.isEmpty() ? QChar() : e.code.at(0);
        if ((type == QLatin1Char('1') || type == QLatin1Char('2')) && !e.outOfRange()
            && std::isfinite(e.distanceM) && (e.distanceM - x0) / dx >= double(h))
            at.push_back((e.distanceM - x0) / dx);
    }
    return at;
}

// The shift, within `steps` points either way, that lays the most reflections on rises; none
// where no shift lays any on a rise.
std::optional<long>
bestShift(const std::vector<double> &at, const std::vector<double> &nearby, long steps)
{
    const size_t n = nearby.size();
    double best = -1;
    long chosen = 0;
    for (long k = 0; k <= 2 * steps; ++k) {
        // 0, +1, -1, +2, -2, …: the first of equal scores is the smallest shift.
        const long s = k % 2 == 0 ? k / 2 : -(k + 1) / 2;
        double score = 0;
        for (double a : at) {
            const double i = std::round(a + double(s));
            if (i >= 0 && i < double(n))
                score += nearby[size_t(i)];
        }
        if (score > best + 1e-9) {
            best = score;
            chosen = s;
        }
    }
    if (!(best > 0))
        return std::nullopt;
    return chosen;
}

} // namespace

std::optional<double> eventAxisShiftM(const Sor::Trace &trace, double maxShiftM)
{
    const size_t n = trace.levelDb.size();
    if (!trace.keyEvents || !trace.spacingM || !(*trace.spacingM > 0) || n < 8
        || !std::isfinite(maxShiftM) || maxShiftM < 0)
        return std::nullopt;
    const double dx = *trace.spacingM;
    const double pulsePoints = Sor::eventToleranceM(trace) / dx - 2;
    const size_t h = size_t(std::clamp(std::round(pulsePoints / 2), 2.0, 256.0));
    if (n < 4 * h)
        return std::nullopt;
    const std::vector<double> at = storedReflections(trace, dx, h);
    if (at.empty())
        return std::nullopt;
    const std::vector<double> nearby
        = bestNearby(risesAt(trace.levelDb, h), std::max<size_t>(1, h / 2));
    const long steps = long(std::min(maxShiftM / dx, double(n)));
    const std::optional<long> chosen = bestShift(at, nearby, steps);
    if (!chosen)
        return std::nullopt;
    return double(*chosen) * dx;
}

} // namespace Analysis
