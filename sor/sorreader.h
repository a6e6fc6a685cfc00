#pragma once

#include "sor/sortrace.h"

class QIODevice;

// Reads SOR trace files of version 1 and 2. It never reads outside the bytes it is given: a
// file that cannot be what it claims gives errors, an odd but readable one gives warnings.
namespace Sor {

// Whether the bytes start like a trace file (version 2's "Map\0", or a version 1 header).
bool looksLikeTrace(const QByteArray &bytes);

// Check reads the structure and the checksum and counts the points without converting them:
// what it takes to tell a sound file from a damaged one.
enum class Detail { Full, Check };

Trace read(const QByteArray &bytes, Detail detail = Detail::Full);
// A file that cannot be opened gives a Trace whose only error says why.
Trace readFile(const QString &path);

} // namespace Sor
