#include "traceplot/plotmath.h"

#include <algorithm>
#include <cmath>

namespace TracePlot {

bool drawable(const QRect &area, const View &view)
{
    return area.width() >= 10 && area.height() >= 10 && view.x1 > view.x0 && view.y1 > view.y0;
}

QVector<Column>
thin(const double *x, const double *y, size_t count, double x0, double x1, int columns)
{
    QVector<Column> out(qMax(columns, 0));
    if (columns <= 0 || !(x1 > x0))
        return out;
    const double perColumn = columns / (x1 - x0);
    // Points are in distance order: start at the first one in view.
    size_t i = size_t(std::lower_bound(x, x + count, x0) - x);
    for (; i < count && x[i] < x1; ++i) {
        const double level = y[i];
        const int c = qBound(0, int((x[i] - x0) * perColumn), columns - 1);
        Column &column = out[c];
        if (std::isnan(level)) {
            column.noData = true;
            continue;
        }
        if (column.empty) {
            column.min = column.max = level;
            column.empty = false;
        } else {
            column.min = std::min(column.min, level);
            column.max = std::max(column.max, level);
        }
    }
    return out;
}

double tickStep(double lo, double hi, int wanted)
{
    const double span = hi - lo;
    if (!(span > 0) || wanted < 1)
        return 1;
    const double raw = span / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= raw)
            return factor * power;
    }
    return 10 * power;
}

int readableTicks(double lo, double hi, int wanted)
{
    // A narrow view may fall between two round steps: ask for more until two ticks show.
    for (int more = wanted; more <= 3 * wanted; ++more) {
        if (ticks(lo, hi, more).size() >= 2)
            return more;
    }
    return wanted;
}

QVector<double> ticks(double lo, double hi, int wanted)
{
    QVector<double> out;
    if (!(hi > lo))
        return out;
    const double step = tickStep(lo, hi, wanted);
    for (double v = std::ceil(lo / step - 1e-9) * step; v <= hi + step * 1e-9; v += step)
        out.append(std::abs(v) < step * 1e-9 ? 0.0 : v);
    return out;
}

} // namespace TracePlot
