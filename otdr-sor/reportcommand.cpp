#include "reportcommand.h"

#include <QTextStream>

int writeReport(const QStringList &files,
                const Report::Options &options,
                const QString &pdf,
                const QString &csv,
                QTextStream &err)
{
    const QVector<Report::Entry> entries = Report::judgeFiles(files, options);
    QString error;
    if (!Report::writePdf(entries, options, pdf, &error)) {
        err << "otdr-sor: " << pdf << ": " << error << "\n";
        return 2;
    }
    if (!csv.isEmpty() && !Report::writeCsv(entries, csv, &error)) {
        err << "otdr-sor: " << csv << ": " << error << "\n";
        return 2;
    }
    int status = 0;
    for (const Report::Entry &e : entries) {
        if (!e.readable)
            err << "otdr-sor: " << e.path << ": " << e.problem << "\n";
        if (e.judgement.verdict != Acceptance::Verdict::Pass)
            status = 1;
    }
    return status;
}
