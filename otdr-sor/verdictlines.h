#pragma once

#include "acceptance/verdict.h"

class QTextStream;

// The verdict lines of otdr-sor check and info.

// "  veredito (NAME): REPROVADO: evento 2 (20,0000 km): perda de conector máx. 0,750 dB"
void printVerdict(const Sor::Trace &trace, const Acceptance::Limits &limits, QTextStream &out);
// 0 when the trace passes, 1 when it fails or cannot be judged.
int verdictStatus(const Sor::Trace &trace, const Acceptance::Limits &limits);
