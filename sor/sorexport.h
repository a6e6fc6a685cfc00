#pragma once

#include "sor/sortrace.h"

#include <QJsonObject>

class QIODevice;

// The forms in which a trace leaves the program: JSON for other programs, CSV for spreadsheets.
namespace Sor {

// The keys other programs rely on: version, supplier, wavelength_nm, pulse_widths_ns, points,
// spacing_m, group_index, date, checksum {state, method, stored}, events, blocks, warnings,
// errors; with points, also trace {distance_m, level_db} (null for "no data").
QJsonObject toJson(const Trace &trace, bool withPoints = false);

// "distance_m,level_db", then one line per point; a "no data" point has an empty level.
bool writeCsv(const Trace &trace, QIODevice &out);

} // namespace Sor
