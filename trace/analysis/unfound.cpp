#include "analysis/unfound.h"

#include "analysis/pointloss.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace Analysis {

std::vector<Unfound> storedNotFound(const Sor::Trace &trace, const Result &found)
{
    std::vector<Unfound> left;
    if (!trace.keyEvents || !trace.spacingM || !trace.fixed || trace.fixed->pulseWidthsNs.isEmpty())
        return left;
    const double reach = Sor::pulseLengthM(trace) + 2 * *trace.spacingM;
    for (const Sor::Event &e : trace.keyEvents->events) {
        const bool end = e.code.size() > 1 && e.code.at(1) == QLatin1Char('E');
        if (end || e.distanceM <= reach)
            continue;
        const bool seen
            = std::any_of(found.events.begin(), found.events.end(), [&](const Event &f) {
                  return std::abs(f.distanceM - e.distanceM) <= reach;
              });
        if (seen || (found.fiberEndM && e.distanceM > *found.fiberEndM + reach))
            continue;
        Unfound u;
        u.distanceM = e.distanceM;
        const PointLoss here = lossAt(trace, e.distanceM);
        u.lossDb = here.db;
        if (!here.db)
            u.why = here.why;
        else if (std::abs(*here.db) < found.thresholds.lossDb)
            u.why = QStringLiteral("abaixo do limiar de perda (%1 dB)")
                        .arg(Sor::decimal(found.thresholds.lossDb, 3));
        else
            u.why = QStringLiteral("não encontrado pela análise");
        left.push_back(u);
    }
    return left;
}

} // namespace Analysis
