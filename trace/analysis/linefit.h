#pragma once

#include <cstddef>
#include <vector>

// Least-squares lines through runs of a trace's points, each in constant time from running
// sums; x is the point's index.
namespace Analysis {

struct Line
{
    double slope = 0;
    double intercept = 0;
    double at(double x) const { return intercept + slope * x; }
};

class Fits
{
public:
    Fits() = default;
    explicit Fits(const std::vector<double> &y);

    // The line through the points [from, to); a single point gives a level line.
    Line line(size_t from, size_t to) const;
    // The mean of the points [from, to).
    double mean(size_t from, size_t to) const
    {
        return to > from ? (sumY[to] - sumY[from]) / double(to - from) : 0;
    }
    // The spread of the points [from, to) about a line (dB).
    double residual(size_t from, size_t to, const Line &line) const;

private:
    std::vector<double> sumY;
    std::vector<double> sumXY;
    std::vector<double> sumYY;
};

// How far, in the points' own noise, a line fitted to `count` points strays when read at
// `distance` points from their middle.
double extrapolationSpread(size_t count, double distance);

} // namespace Analysis
