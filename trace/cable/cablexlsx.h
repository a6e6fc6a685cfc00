#pragma once

#include "cable/cablejob.h"

namespace Cable {

// Whether this build writes workbooks (libxlsxwriter was found).
bool xlsxAvailable();
// The job as a workbook: one sheet per band with the matrix of averaged losses coloured by
// verdict (a loss measured on the points in italics, "ausente" where none), the fibre summary
// and the checks. Written whole or not at all; false with the reason.
bool writeXlsx(const Job &job, const QString &path, QString *error);

} // namespace Cable
