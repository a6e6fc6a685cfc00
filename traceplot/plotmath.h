#pragma once

#include <QVector>

#include <cstddef>

// The arithmetic of a trace plot, apart from any painting: thinning to pixel columns and
// choosing axis ticks.
namespace TracePlot {

// The lowest and highest level that fall in one pixel column; empty when none does.
struct Column
{
    double min = 0;
    double max = 0;
    bool empty = true;
    bool noData = false; // a "no data" point fell here: the trace breaks if nothing else did
};

// Thins points (x ascending, y NaN for "no data") to `columns` columns spanning [x0, x1):
// each column keeps the minimum and maximum of its points, so that no spike disappears.
QVector<Column>
thin(const double *x, const double *y, size_t count, double x0, double x1, int columns);

// Round values (1, 2 or 5 times a power of ten) between lo and hi, about `wanted` of them.
QVector<double> ticks(double lo, double hi, int wanted);
// The step those ticks use.
double tickStep(double lo, double hi, int wanted);

} // namespace TracePlot
