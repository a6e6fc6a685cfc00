#pragma once

#include "sor/sortrace.h"

// The sums of a least-squares line, taken point by point: the line through a stretch of levels
// whose slope is the fibre's attenuation there, or whose spread says that the trace has sunk
// into its noise.
namespace Sor {

struct LineSums
{
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;

    void add(double x, double y)
    {
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    // Zero or less where the points do not spread along x: no line through them.
    double determinant() const { return n * sxx - sx * sx; }
    // The line's slope; only where determinant() is not zero.
    double slope() const { return (n * sxy - sx * sy) / determinant(); }
    // Where the line of that slope through the points' centre crosses x = 0; only where n > 0.
    double intercept(double slope) const { return (sy - slope * sx) / n; }
};

// The sums of a trace's levels between fromM and toM (both included; "no data" left out), x in
// km from originM: a slope in dB per km.
LineSums levelSums(const Trace &trace, double fromM, double toM, double originM = 0);

} // namespace Sor
