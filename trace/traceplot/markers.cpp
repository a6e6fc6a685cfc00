#include "traceplot/markers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace TracePlot {

namespace {

size_t nearest(const Sor::Trace &trace, double metres)
{
    const std::vector<double> &x = trace.distanceM;
    const auto at = std::lower_bound(x.begin(), x.end(), metres);
    size_t i = size_t(at - x.begin());
    if (i == x.size())
        return x.size() - 1;
    if (i > 0 && metres - x[i - 1] < x[i] - metres)
        --i;
    return i;
}

} // namespace

double levelAt(const Sor::Trace &trace, double metres)
{
    if (trace.distanceM.empty())
        return std::numeric_limits<double>::quiet_NaN();
    return trace.levelDb[nearest(trace, metres)];
}

bool onTrace(const Sor::Trace &trace, double metres)
{
    const std::vector<double> &x = trace.distanceM;
    if (x.empty())
        return false;
    const double half = x.size() > 1 ? (x.back() - x.front()) / double(x.size() - 1) / 2 : 0;
    return metres >= x.front() - half && metres <= x.back() + half;
}

double snap(const Sor::Trace &trace, double metres)
{
    return trace.distanceM.empty() ? metres : trace.distanceM[nearest(trace, metres)];
}

Readout readout(const Sor::Trace &trace, double aM, double bM)
{
    Readout r;
    r.aM = aM;
    r.bM = bM;
    r.aOnTrace = onTrace(trace, aM);
    r.bOnTrace = onTrace(trace, bM);
    const double none = std::numeric_limits<double>::quiet_NaN();
    r.aDb = r.aOnTrace ? levelAt(trace, aM) : none;
    r.bDb = r.bOnTrace ? levelAt(trace, bM) : none;
    r.distanceM = bM - aM;
    r.deltaDb = r.bDb - r.aDb;
    r.dbPerKm = r.distanceM != 0 ? -r.deltaDb / (r.distanceM / 1000.0) : 0;

    // Least squares over the points between the markers, in km and dB.
    const double lo = std::min(aM, bM);
    const double hi = std::max(aM, bM);
    const std::vector<double> &x = trace.distanceM;
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = size_t(std::lower_bound(x.begin(), x.end(), lo) - x.begin());
         i < x.size() && x[i] <= hi;
         ++i) {
        const double y = trace.levelDb[i];
        if (std::isnan(y))
            continue;
        const double km = x[i] / 1000.0;
        n += 1;
        sx += km;
        sy += y;
        sxx += km * km;
        sxy += km * y;
    }
    const double det = n * sxx - sx * sx;
    if (n >= 2 && det > 0 && r.aOnTrace && r.bOnTrace) {
        const double slope = (n * sxy - sx * sy) / det; // dB per km
        r.lsaDbPerKm = -slope;
        r.lsaLossDb = -slope * (r.distanceM / 1000.0);
    }
    return r;
}

} // namespace TracePlot
