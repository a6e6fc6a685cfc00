#include "sor/samepoints.h"

#include <cmath>

namespace Sor {

bool samePoints(const Trace &a, const Trace &b, double withinDb)
{
    if (a.levelDb.size() != b.levelDb.size() || a.levelDb.empty())
        return false;
    for (size_t k = 0; k < a.levelDb.size(); ++k) {
        const double x = a.levelDb[k];
        const double y = b.levelDb[k];
        if (!((std::isnan(x) && std::isnan(y)) || std::abs(x - y) <= withinDb))
            return false;
    }
    return true;
}

} // namespace Sor
