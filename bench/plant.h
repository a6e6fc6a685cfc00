#pragma once

#include "sor/sortrace.h"

#include <QStringList>

#include <vector>

// Changes written into a real trace's own points, where its noise lets them be measured: what
// the benchmarks of the analysis and of the comparison with a baseline plant and look for.
namespace Plant {

// A splice of lossDb written into the points at index `at`: the power falls over one pulse
// length, as a real splice's does.
void plantSplice(Sor::Trace &t, size_t at, size_t pulse, double lossDb);
// Clean places for a planted splice: a quarter, a half and three quarters of the way to the
// stored end, moved off any stored event by five pulse lengths, with no "no data" within five
// pulse lengths and the trace 6 dB above the last tenth of its points there.
std::vector<size_t> cleanPlaces(const Sor::Trace &t, double endM, double toleranceM);
// The noise of a step measured at a place: the spread of the difference between the means of
// the ten pulse lengths (at least 20 points) before and after each point near it, less the
// trace's slope; a step is measurable there from a few times that.
double stepNoiseAt(const Sor::Trace &t, size_t at, size_t pulse);

// A folder's traces (and its folders'), in name order.
QStringList tracesIn(const QString &folder);

} // namespace Plant
