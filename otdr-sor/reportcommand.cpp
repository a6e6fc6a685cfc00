#include "reportcommand.h"

#include <QTextStream>

int writeReport(const QStringList &files,
                const Report::Options &options,
                const QString &pdf,
                const QString &csv,
                QTextStream &err)
{
    QVector<Report::Entry> entries = Report::judgeFiles(files, options);
    const QVector<Report::Fibre> fibres = Report::pairFibres(entries, options);
    QString error;
    if (!Report::writePdf(entries, fibres, options, pdf, &error)) {
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
        if (!Report::passes(Report::finalVerdict(e)))
            status = 1;
    }
    for (const Report::Fibre &f : fibres) {
        if (!f.problem.isEmpty()) {
            err << QStringLiteral("otdr-sor: %1 e %2: não são as duas pontas de uma fibra: %3\n")
                       .arg(entries.at(f.a).path, entries.at(f.b).path, f.problem);
        }
        if (!Report::passes(f.judgement.verdict))
            status = 1;
    }
    return status;
}
