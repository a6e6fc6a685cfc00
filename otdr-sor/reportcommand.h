#pragma once

#include "report/report.h"

class QTextStream;

// otdr-sor report: one PDF (and, if asked, a CSV of its summary) of the files given, with a
// page per fibre measured from both ends. 0 when every trace passes (one end of a fibre by its
// fibre's averaged verdict), 1 when any fails or cannot be judged, 2 when the report cannot be
// written.
int writeReport(const QStringList &files,
                const Report::Options &options,
                const QString &pdf,
                const QString &csv,
                QTextStream &err);
