#pragma once

#include "sor/sortrace.h"

class QIODevice;

// Reads SOR trace files of version 1 and 2. It never reads outside the bytes it is given: a
// file that cannot be what it claims gives errors, an odd but readable one gives warnings.
namespace Sor {

// Whether the bytes start like a trace file (version 2's "Map\0", or a version 1 header).
bool looksLikeTrace(const QByteArray &bytes);

// Check reads the structure and the checksum and counts the points without converting them
// (their digest instead): what it takes to tell a sound file from a damaged one, and copies
// apart. Points converts the points of bytes a Check has already vetted, without verifying
// their checksum again.
enum class Detail { Full, Check, Points };

Trace read(const QByteArray &bytes, Detail detail = Detail::Full);
// A file that cannot be opened gives a Trace whose only error says why.
Trace readFile(const QString &path, Detail detail = Detail::Full);

// A trace opened for use, and why it cannot be used, as every tool names it: a file that
// cannot be read (none, a folder, no permission), one that is no trace or is cut short (its
// first error), one without points. A damaged trace is usable; the caller says what it makes of
// the damage.
struct Opened
{
    Trace trace;
    QString problem;
    bool usable() const { return problem.isEmpty(); }
};
Opened openTrace(const QString &path);
// The same from the file's bytes, read already.
Opened openTrace(const QByteArray &bytes, Detail detail = Detail::Full);
// The file's bytes, or why it cannot be read.
QByteArray readBytes(const QString &path, QString &problem);
// The .sor files in a folder and the folders under it, in name order. Hidden ones are left out
// (a card written on another system carries "._name.sor" shadows that are no traces);
// unreadable ones are kept, so that whoever opens them says why they cannot be read.
QStringList sorFilesIn(const QString &folder);

} // namespace Sor
