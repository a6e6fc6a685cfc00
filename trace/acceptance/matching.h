#pragma once

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

} // namespace Acceptance
