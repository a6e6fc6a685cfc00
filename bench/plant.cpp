#include "plant.h"

#include <QDirIterator>

#include <algorithm>
#include <cmath>

namespace Plant {

void plantSplice(Sor::Trace &t, size_t at, size_t pulse, double lossDb)
{
    const double kept = std::pow(10.0, -lossDb / 5);
    for (size_t i = at; i < t.levelDb.size(); ++i) {
        const double share = std::min(1.0, double(i - at + 1) / double(pulse));
        t.levelDb[i] += 5 * std::log10(1 - (1 - kept) * share);
    }
}

std::vector<size_t> cleanPlaces(const Sor::Trace &t, double endM, double toleranceM)
{
    std::vector<size_t> places;
    const double dx = *t.spacingM;
    const double x0 = t.distanceM.front();
    const size_t n = t.levelDb.size();
    const double clear = 5 * toleranceM;
    std::vector<double> tail;
    for (size_t i = n - n / 10; i < n; ++i)
        if (std::isfinite(t.levelDb[i]))
            tail.push_back(t.levelDb[i]);
    std::sort(tail.begin(), tail.end());
    const double floor = tail.empty() ? -1e9 : tail[tail.size() / 2];
    for (double share : {0.25, 0.5, 0.75}) {
        double x = share * endM;
        for (int tries = 0; tries < 20; ++tries) {
            bool near = false;
            for (const Sor::Event &e : t.keyEvents->events)
                near = near || std::abs(e.distanceM - x) < clear;
            if (!near)
                break;
            x += clear / 2;
        }
        if (x < clear || x > endM - clear)
            continue;
        const long at = std::lround((x - x0) / dx);
        const long reach = long(clear / dx);
        if (at - reach < 0 || at + reach >= long(n))
            continue;
        bool data = true;
        for (long i = at - reach; i <= at + reach && data; ++i)
            data = std::isfinite(t.levelDb[size_t(i)]) && t.levelDb[size_t(i)] > floor + 6;
        if (data)
            places.push_back(size_t(at));
    }
    return places;
}

double stepNoiseAt(const Sor::Trace &t, size_t at, size_t pulse)
{
    const size_t w = std::max<size_t>(20, 10 * pulse);
    const size_t n = t.levelDb.size();
    if (at < 3 * w || at + 3 * w >= n)
        return HUGE_VAL;
    std::vector<double> sums(6 * w + 1, 0.0);
    for (size_t k = 0; k < 6 * w; ++k)
        sums[k + 1] = sums[k] + t.levelDb[at - 3 * w + k];
    const auto mean = [&](size_t from) { return (sums[from + w] - sums[from]) / double(w); };
    std::vector<double> steps;
    for (size_t i = w; i + w <= 6 * w; ++i)
        steps.push_back(mean(i - w) - mean(i));
    std::sort(steps.begin(), steps.end());
    const double centre = steps[steps.size() / 2];
    for (double &s : steps)
        s = std::abs(s - centre);
    std::sort(steps.begin(), steps.end());
    return 1.4826 * steps[steps.size() / 2];
}

QStringList tracesIn(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder,
                    {QStringLiteral("*.sor"), QStringLiteral("*.SOR")},
                    QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace Plant
