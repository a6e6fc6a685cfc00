#include "sor/linesums.h"

#include <algorithm>
#include <cmath>

namespace Sor {

LineSums levelSums(const Trace &trace, double fromM, double toM, double originM)
{
    LineSums sums;
    const std::vector<double> &x = trace.distanceM;
    for (size_t i = size_t(std::lower_bound(x.begin(), x.end(), fromM) - x.begin());
         i < x.size() && x[i] <= toM;
         ++i) {
        const double y = trace.levelDb[i];
        if (!std::isnan(y))
            sums.add((x[i] - originM) / 1000.0, y);
    }
    return sums;
}

} // namespace Sor
