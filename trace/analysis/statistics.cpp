#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>

namespace Analysis {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + long(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2)
        return *middle;
    // The largest of the lower half, the other middle one.
    return (*middle + *std::max_element(values.begin(), middle)) / 2;
}

// A median absolute deviation times this is a normal spread's standard deviation.
constexpr double MadToDeviation = 1.4826;

double robustDeviation(std::vector<double> values, double centre)
{
    for (double &v : values)
        v = std::abs(v - centre);
    return MadToDeviation * median(std::move(values));
}

double robustDeviation(std::vector<double> values)
{
    const double centre = median(values);
    return robustDeviation(std::move(values), centre);
}

double noiseOfSecondDifferences(std::vector<double> sizes)
{
    return MadToDeviation * median(std::move(sizes)) / std::sqrt(6.0);
}

} // namespace Analysis
