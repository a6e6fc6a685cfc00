#pragma once

#include <QStringList>

class QTextStream;

// otdr-sor: checks, describes, exports and plots SOR traces. Results go to `out`, messages to
// `err`; the result is the exit status (0 sound, 1 damaged, 2 usage error or unreadable file).
int runSorTool(const QStringList &arguments, QTextStream &out, QTextStream &err);

// Whether the command line runs a command that draws, so that main starts the GUI application
// its fonts need; the command itself says so.
bool sorToolDraws(const QStringList &arguments);
