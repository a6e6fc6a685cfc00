#pragma once

#include "acceptance/verdict.h"

class QTextStream;

// The verdict lines of otdr-sor check and info.

// "  veredito (NAME): REPROVADO: evento 2 (20,0000 km): perda de conector máx. 0,750 dB"; the
// trace judged once for its line and its exit status: 0 when it passes, 1 when it fails or
// cannot be judged.
int printVerdict(const Sor::Trace &trace, const Acceptance::Limits &limits, QTextStream &out);
