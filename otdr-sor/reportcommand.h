#pragma once

#include "report/report.h"

class QTextStream;

// otdr-sor report: one PDF (and, if asked, a CSV of its summary) of the files given. 0 when
// every trace passes, 1 when any fails or cannot be judged, 2 when the report cannot be
// written.
int writeReport(const QStringList &files,
                const Report::Options &options,
                const QString &pdf,
                const QString &csv,
                QTextStream &err);
