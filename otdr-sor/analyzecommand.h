#pragma once

#include "analysis/analysis.h"

#include <QStringList>

class QTextStream;

// otdr-sor analyze: each file's events as the analysis finds them, beside the file's own, with
// the fibre end, total loss and ORL; as text or JSON. A file that cannot be read is named on
// `err` and the others are still analysed; the result is 1 when any could not be.
// Several shots of one fibre (the same cable and fibre ids and ends that agree, or `sameFibre`
// told so) are checked against each other: the same events and end within the shots' pulses,
// and where they disagree; the result is 2 when told they are one fibre and they visibly are
// not.
int analyzeFiles(const QStringList &files,
                 const Analysis::ThresholdChoice &thresholds,
                 bool json,
                 QTextStream &out,
                 QTextStream &err,
                 bool sameFibre = false);

// The event table a file stores, as otdr-sor info prints it.
void printFileEvents(const Sor::Trace &trace, QTextStream &out);
