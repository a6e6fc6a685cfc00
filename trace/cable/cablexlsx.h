#pragma once

#include "cable/cablejob.h"

#include <QDateTime>

namespace Cable {

// Whether this build writes workbooks (libxlsxwriter was found).
bool xlsxAvailable();
// Who the job was made by and for, as a report's cover names them.
struct Heading
{
    QString client;
    QString company;
    QString operatorName;
    QDateTime made = QDateTime::currentDateTime();
};
// The job as a workbook: a sheet naming the job (cable, client, when, with what, from where,
// bands and pulses, cords, limits, the program), one sheet per band with the matrix of averaged
// losses coloured by verdict (a loss measured on the points in italics, "ausente" where none),
// the fibre summary and the checks. Each value is stored as the PDF prints it (its decimals),
// so that both read alike. Written whole or not at all; false with the reason.
bool writeXlsx(const Job &job, const Heading &heading, const QString &path, QString *error);
bool writeXlsx(const Job &job, const QString &path, QString *error);

} // namespace Cable
