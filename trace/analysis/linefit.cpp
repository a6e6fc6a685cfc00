#include "analysis/linefit.h"

#include <algorithm>
#include <cmath>

namespace Analysis {

Fits::Fits(const std::vector<double> &y)
    : sumY(y.size() + 1, 0.0)
    , sumXY(y.size() + 1, 0.0)
    , sumYY(y.size() + 1, 0.0)
{
    for (size_t i = 0; i < y.size(); ++i) {
        sumY[i + 1] = sumY[i] + y[i];
        sumXY[i + 1] = sumXY[i] + double(i) * y[i];
        sumYY[i + 1] = sumYY[i] + y[i] * y[i];
    }
}

Line Fits::line(size_t from, size_t to) const
{
    to = std::min(to, sumY.size() - 1);
    if (to <= from)
        return {};
    const double n = double(to - from);
    const double sy = sumY[to] - sumY[from];
    if (to - from == 1)
        return {0, sy};
    // x measured from the run's first point keeps the sums small.
    const double sxy = sumXY[to] - sumXY[from] - double(from) * sy;
    const double sx = n * (n - 1) / 2;
    const double sxx = (n - 1) * n * (2 * n - 1) / 6;
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    const double intercept = (sy - slope * sx) / n - slope * double(from);
    return {slope, intercept};
}

double Fits::residual(size_t from, size_t to, const Line &l) const
{
    if (to > sumY.size() - 1)
        to = sumY.size() - 1;
    if (to <= from + 2)
        return 0;
    // Sum of (y - a - b x)^2 from the running sums.
    const double n = double(to - from);
    const double sy = sumY[to] - sumY[from];
    const double syy = sumYY[to] - sumYY[from];
    const double sxy = sumXY[to] - sumXY[from];
    const double x0 = double(from);
    const double sx = n * x0 + n * (n - 1) / 2;
    const double sxx = n * x0 * x0 + x0 * n * (n - 1) + (n - 1) * n * (2 * n - 1) / 6;
    const double a = l.intercept;
    const double b = l.slope;
    const double squares
        = syy - 2 * a * sy - 2 * b * sxy + n * a * a + 2 * a * b * sx + b * b * sxx;
    return std::sqrt(std::max(0.0, squares) / (n - 2));
}

double extrapolationSpread(size_t count, double distance)
{
    if (count < 2)
        return 1;
    const double n = double(count);
    return std::sqrt(1 / n + distance * distance * 12 / (n * (n * n - 1)));
}

} // namespace Analysis
