#pragma once

#include "cable/cablejob.h"

#include <optional>

// One closure of one fibre at one band as a technician checks it before signing: the fibre's
// two ends on one axis (A's), B's levels moved to meet A's just before the closure so that the
// step reads as one, with the cell's values, its limit and its verdict.
namespace Cable {

// A fibre's two ends at a band as its pages draw them: A's trace, B's mirrored onto A's axis
// with its own events, each event's flag named as the matrix names the place ("3", "C1", "L",
// "F", "fim", "x1"; empty for no flag).
struct FibreTraces
{
    QString problem; // why neither end can be drawn; empty when one can
    QString pathA;
    QString pathB;
    std::optional<Sor::Trace> a;
    std::optional<Sor::Trace> b;
    QStringList flagsA;
    QStringList flagsB;
    Acceptance::TwoWay twoWay; // how B was laid on A's axis
};
FibreTraces fibreTraces(const Job &job, const QString &fiber, int bandNm);
// The flags of a trace's events on A's axis, as the fibre's pages name them; from B, its own
// end and front connector get none (A's are there).
QStringList eventFlags(const Job &job, const Fibre &fibre, const Sor::Trace &onA, bool fromB);

struct ClosureTraces
{
    QString problem; // why nothing can be shown; empty when it can
    Closure closure;
    Cell cell;
    std::optional<double> limitDb; // the loss limit of the closure's kind, when set
    QString nameA;
    QString nameB;
    QString pathA;
    QString pathB;
    std::optional<Sor::Trace> a;
    // End B's trace mirrored onto A's axis with its own events, its levels moved by offsetDb.
    std::optional<Sor::Trace> b;
    QStringList flagsA; // as the matrix names each event's place
    QStringList flagsB;
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
