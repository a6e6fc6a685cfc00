#pragma once

#include "sor/sortrace.h"

#include <QString>

#include <optional>

// A loss measured where a trace stores no event: the four-point least-squares loss at a given
// place, from the backscatter on either side of it, as an instrument's software measures an
// event another measurement found.
namespace Analysis {

// What a place's loss measured on the points came to: the loss, or why the points cannot give
// it.
struct PointLoss
{
    std::optional<double> db;
    QString why; // in words, when there is no loss
};

// The backscatter a place's loss may be measured on: the stretch before it starts no earlier
// than fromM (the event before it, past its dead zone), the stretch after it ends no later than
// toM (the next event, or the fibre's end). Unbounded on a side that is not given.
struct Bounds
{
    std::optional<double> fromM;
    std::optional<double> toM;
};

// The loss (dB) at a distance on the trace's axis: a line through the backscatter before it and
// one through the backscatter a pulse's smear after it, their difference there; each stretch
// ten pulse lengths long where the bounds leave room, shorter (at least 20 points) where they
// do not. None where the points cannot give it: too near the trace's ends or a bound, "no data"
// around it, or an error of more than 0.05 dB.
PointLoss lossAt(const Sor::Trace &trace, double distanceM, const Bounds &bounds = {});

// An event's loss as the tools show it: the stored one, or for a marker that stores none its
// loss measured here on the points (empty where they cannot give it).
struct EventLoss
{
    std::optional<double> db;
    bool measuredHere = false;
};
EventLoss eventLoss(const Sor::Trace &trace, const Sor::Event &event);

} // namespace Analysis
