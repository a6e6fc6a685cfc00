#include "analysis/eventsource.h"

#include <algorithm>

namespace Analysis {

bool storesEvents(const Sor::Trace &trace)
{
    if (!trace.keyEvents)
        return false;
    return std::any_of(
        trace.keyEvents->events.cbegin(), trace.keyEvents->events.cend(), [](const Sor::Event &e) {
            return e.mode() != QLatin1Char('E') && !e.outOfRange();
        });
}

std::optional<Result> supplyEvents(Sor::Trace &trace)
{
    if (storesEvents(trace) || trace.levelDb.empty())
        return std::nullopt;
    Result found = analyze(trace);
    trace.keyEvents = asKeyEvents(found);
    return found;
}

} // namespace Analysis
