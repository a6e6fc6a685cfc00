#pragma once

#include "acceptance/verdict.h"
#include "analysis/analysis.h"
#include "sor/sortrace.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// The report a client receives: a summary of every trace with its verdict, then a page per
// trace with its identification, its plot, its events and their verdicts. A document drawn by
// a painter on A4 pages; its pagination is plain arithmetic.
namespace Report {

struct Options
{
    QString title = QStringLiteral("Relatório de certificação OTDR");
    QString company;
    QString operatorName;
    Acceptance::Limits limits;
    bool reanalyze = false; // judge the analysis' events, not the file's
    Analysis::Thresholds thresholds;
    // Without cable and fibre ids, the two ends of a fibre are the files whose names differ
    // only in these markers: A's, then B's.
    QStringList pairMarkers;
    double bendThresholdDb = 0.5;
    QDateTime date = QDateTime::currentDateTime();
};

// One file of the report, judged; a file that cannot be read or drawn says why.
struct Entry
{
    QString path;
    Sor::Trace trace; // with the events that were judged
    QString problem;  // why it could not be judged: unreadable or damaged
    bool readable = false;
    Acceptance::Link link;
    Acceptance::Judgement judgement;
};

QVector<Entry> judgeFiles(const QStringList &paths, const Options &options);

// The summary's columns and one entry's row: file, cable, fibre, wavelength, length, total
// loss, worst event, verdict.
QStringList summaryHeader();
QStringList summaryRow(const Entry &entry);

// Pages: the summary (as many as its rows need), then one per entry.
int summaryRowsOnFirstPage();
int summaryRowsPerPage();
int summaryPages(int entries);
int pageCount(int entries);

bool writePdf(const QVector<Entry> &entries,
              const Options &options,
              const QString &path,
              QString *error);
bool writeCsv(const QVector<Entry> &entries, const QString &path, QString *error);

} // namespace Report
