#pragma once

#include <QByteArray>

// The invariants the fuzz targets hold the program to; a failure aborts with a message.
// Shared by the libFuzzer targets and the test that replays their corpus.
namespace FuzzChecks {

// One list-reply record through OtdrAction: at most one entry, never empty, never the end
// marker, a size that fits 16 bits; false only for the end marker.
void listRecord(const QByteArray &reply);

// Any name made safe: never empty, no separator or reserved character, never "." or "..",
// never a Windows device name, always inside the directory; distinct within a batch.
void safeFileName(const QByteArray &bytes);

// Any bytes through the SOR reader: as many distances as levels, a version only for a file
// without errors or with one of the two versions, finite distances, and an export that works;
// then through the analysis: events in order, inside the trace, with finite losses.
void sorTrace(const QByteArray &bytes);

// Any bytes as a route, CSV and KML: read, or refused with a reason naming the file; a route
// read has its points in order at finite distances on the globe, and placed, reversed and
// written out (KML, GeoJSON) it stays so.
void route(const QByteArray &bytes);

} // namespace FuzzChecks
