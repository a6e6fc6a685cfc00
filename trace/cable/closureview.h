#pragma once

#include "cable/cablejob.h"

#include <optional>

// One closure of one fibre at one band as a technician checks it before signing: the fibre's
// two ends on one axis (A's), B's levels moved to meet A's just before the closure so that the
// step reads as one, with the cell's values, its limit and its verdict.
namespace Cable {

struct ClosureTraces
{
    QString problem; // why nothing can be shown; empty when it can
    Closure closure;
    Cell cell;
    std::optional<double> limitDb; // the loss limit of the closure's kind, when set
    QString nameA;
    QString nameB;
    std::optional<Sor::Trace> a;
    // End B's trace mirrored onto A's axis with its own events, its levels moved by offsetDb.
    std::optional<Sor::Trace> b;
    double offsetDb = 0;
    double atM = 0;        // the closure on A's axis: its place on this fibre
    double halfWidthM = 0; // the stretch either side worth showing
    double toleranceM = 0;
};

ClosureTraces closureTraces(const Job &job,
                            const QString &fiber,
                            int bandNm,
                            int closure,
                            const Acceptance::Limits &limits);

} // namespace Cable
