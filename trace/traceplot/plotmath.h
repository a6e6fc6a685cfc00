#pragma once

#include <QRect>
#include <QRectF>
#include <QVector>

#include <cmath>
#include <cstddef>

// The arithmetic of a trace plot, apart from any painting: the mapping between the plane and
// pixels, thinning to pixel columns and choosing axis ticks.
namespace TracePlot {

// The part of the plane shown: distance in metres, level in dB (y0 below y1).
struct View
{
    double x0 = 0;
    double x1 = 1000;
    double y0 = -30;
    double y1 = 0;
};

// Between a view of the plane and the pixels of the area it is drawn in; the level axis points
// up. Painting, pointing and the tests use this one mapping.
class Mapping
{
public:
    Mapping(const QRectF &area, const View &view)
        : area(area)
        , view(view)
    {
    }

    double x(double metres) const
    {
        return area.left() + (metres - view.x0) / (view.x1 - view.x0) * area.width();
    }
    double y(double db) const
    {
        return area.bottom() - (db - view.y0) / (view.y1 - view.y0) * area.height();
    }
    double metres(double x) const
    {
        return view.x0 + (x - area.left()) / area.width() * (view.x1 - view.x0);
    }
    double level(double y) const
    {
        return view.y0 + (area.bottom() - y) / area.height() * (view.y1 - view.y0);
    }
    // Whether a pixel column lies within `pixels` of the line drawn at a distance.
    bool near(double metres, double x, double pixels) const
    {
        return std::abs(this->x(metres) - x) <= pixels;
    }

private:
    QRectF area;
    View view;
};

// An area too small, or a view without extent, shows nothing.
bool drawable(const QRect &area, const View &view);

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
// The `wanted` to ask for, raised where a narrow view would show fewer than two ticks.
int readableTicks(double lo, double hi, int wanted);

} // namespace TracePlot
