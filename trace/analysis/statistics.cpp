#include "analysis/statistics.h"

#include <algorithm>

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

} // namespace Analysis
