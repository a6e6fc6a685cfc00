#pragma once

#include "acceptance/verdict.h"

#include <optional>

class QCommandLineOption;
class QCommandLineParser;
class QTextStream;

// The verdict lines of otdr-sor check and info, and the limits they are asked for.

// The limits of --limits FILE or --preset NAME; none when neither is given. False, with the
// reason on `err`, when they cannot be used.
bool chosenLimits(const QCommandLineParser &parser,
                  const QCommandLineOption &file,
                  const QCommandLineOption &name,
                  std::optional<Acceptance::Limits> &limits,
                  QTextStream &err);

// "  veredito (NAME): REPROVADO: evento 2 (20,0000 km): perda de conector máx. 0,750 dB"
void printVerdict(const Sor::Trace &trace, const Acceptance::Limits &limits, QTextStream &out);
// 0 when the trace passes, 1 when it fails or cannot be judged.
int verdictStatus(const Sor::Trace &trace, const Acceptance::Limits &limits);
