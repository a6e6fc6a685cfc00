#pragma once

#include "sor/sortrace.h"

#include <QString>
#include <QStringList>
#include <QVector>

// Which traces of a batch are one fibre seen twice, from the labels the instrument stored or
// from the files' names.
namespace Acceptance {

struct Pair
{
    int first = -1; // A→B, or the shorter wavelength
    int second = -1;
};

// The two directions of one fibre: equal cable and fibre ids and band, the two locations
// swapped; or ids that swap the places' codes ("ELMMIL0001", "MILELM0001") at one band. Traces left
// unpaired whose names differ only in the given markers (the first marker in A's name, the second
// in B's) are paired by name. Each trace is in one pair at most.
QVector<Pair> pairDirections(const QVector<const Sor::Trace *> &traces,
                             const QStringList &names,
                             const QStringList &markers = {});

// One fibre and direction at a shorter and a longer wavelength (1310 with 1550 or 1625): equal
// cable and fibre ids and locations.
QVector<Pair> pairWavelengths(const QVector<const Sor::Trace *> &traces);

} // namespace Acceptance
