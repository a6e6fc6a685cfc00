#pragma once

#include "route/route.h"

// What the CSV and the KML readers share: the names they keep, the distances they allow, and
// the route they make of the points read.
namespace Route {

// No OTDR reaches this far: a route distance beyond it is a mistake in the file.
constexpr double MostRouteM = 1e6;

// A name as a map can carry it: no control codes, no halves of a character.
QString cleanName(const QString &text);

// The route read: its points' route distances where only their coordinates were given,
// measured along the points; the line drawn through the points with coordinates; distances that
// go back refused. `where` names each point's line or placemark for the message.
Read settled(Route route, const QStringList &where);

} // namespace Route
