#pragma once

#include "acceptance/verdict.h"

#include <QVector>

// Two lists of event positions matched in order along the fibre, each at most once, after the
// shift that best lays the second over the first (at most maxShiftM) is taken off: one fibre's
// events as two measurements of it place them.
namespace Acceptance {

struct Match
{
    int a = -1; // index into the first list; -1 when only the second has it
    int b = -1;
};
struct Matching
{
    QVector<Match> matches; // in order along the fibre
    double shiftM = 0;      // added to the second list's positions
};
Matching matchPositions(const QVector<double> &a,
                        const QVector<double> &b,
                        double toleranceM,
                        double maxShiftM);

// A link's events to match (indices into its events): the fibre's end is where the other
// direction starts, not an event.
QVector<int> eventsToMatch(const Link &link);
// Their positions along the fibre.
QVector<double> positionsOf(const Link &link, const QVector<int> &kept);

} // namespace Acceptance
