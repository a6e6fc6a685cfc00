#pragma once

#include "analysis/analysis.h"

#include <QString>

#include <optional>
#include <vector>

// The file's own events that an analysis of its points did not find: so that a tool judging
// the analysis' events says what it left out, and why, rather than dropping it in silence.
namespace Analysis {

struct Unfound
{
    double distanceM = 0;         // where the file stores it
    std::optional<double> lossDb; // measured here on the points, where they give it
    QString why;                  // in words
};

// Each event the file stores (not its end, nor a front connector at the start) with no event
// of the result within the pulse's length and two samples of it; its loss measured on the
// points, and why the analysis left it out: under its loss threshold, or what keeps the
// points from giving it, or, where it stands clear of both, simply not found.
std::vector<Unfound> storedNotFound(const Sor::Trace &trace, const Result &found);

} // namespace Analysis
