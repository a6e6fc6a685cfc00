#pragma once

#include "sor/sorcsv.h"
#include "sor/sortrace.h"

#include <QJsonObject>

class QIODevice;

// The forms in which a trace leaves the program: JSON for other programs, CSV for spreadsheets.
namespace Sor {

// The keys other programs rely on: version, supplier, wavelength_nm, pulse_widths_ns, points,
// spacing_m, group_index, date, checksum {state, method, stored}, events, blocks, warnings,
// errors; with points, also trace {distance_m, level_db} (null for "no data"). Every distance
// is measured from the span's start; front_panel_offset_m, acquisition_offset_m, user_offset_m
// and span_start_m (from the first point) say where that lies, offsets_stored as the file has
// them.
QJsonObject toJson(const Trace &trace, bool withPoints = false);

// "distance_m,level_db", then one line per point, in the CSV style given; a "no data" point
// has an empty level.
bool writeCsv(const Trace &trace, QIODevice &out, const CsvStyle &style = CsvStyle());

} // namespace Sor
