#pragma once

#include "acceptance/twoway.h"
#include "acceptance/verdict.h"
#include "analysis/analysis.h"
#include "baseline/baseline.h"
#include "cable/cablejob.h"
#include "route/route.h"
#include "sor/sorcsv.h"
#include "sor/sorreader.h"
#include "sor/sortrace.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

// The report a client receives: a summary of every trace with its verdict, then a page per
// trace with its identification, its plot, its events and their verdicts. A document drawn by
// a painter on A4 pages; its pagination is plain arithmetic.
namespace Report {

struct Options
{
    QString title = QStringLiteral("Relatório de certificação OTDR");
    QString company;
    QString operatorName;
    QString client; // who receives the work, on the cover and its signature line
    QImage logo;    // at the left of every page's header; none when null
    Acceptance::Limits limits;
    bool reanalyze = false;               // judge the analysis' events, not the file's
    Analysis::ThresholdChoice thresholds; // what is not chosen comes from each file

    // Without cable and fibre ids, the two ends of a fibre are the files whose names differ
    // only in these markers: A's, then B's.
    QStringList pairMarkers;
    double bendThresholdDb = Acceptance::DefaultBendThresholdDb;
    QDateTime date = QDateTime::currentDateTime();
    // The cable's route: each trace's page says where its end and its failing events lie.
    std::optional<Route::Route> route;
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
    QVector<double> bendsM; // where a longer wavelength of the same fibre shows a bend
    // The verdict of its fibre on both ends' averaged losses, when it is one end of a pair.
    std::optional<Acceptance::Verdict> fibreVerdict;
};

// One fibre measured from both ends: the two entries, matched and judged on averaged losses;
// a pair that cannot be averaged says why.
struct Fibre
{
    int a = -1; // index of the A→B entry
    int b = -1;
    QString problem;
    Acceptance::TwoWay twoWay;
    Acceptance::Link link;
    Acceptance::Judgement judgement;
};

// Each file judged by itself, and its bends found against the other wavelengths of its fibre.
QVector<Entry> judgeFiles(const QStringList &paths, const Options &options);
// Two entries as one fibre's ends (A's, then B's), averaged and judged; why not, where they
// cannot be.
Fibre fibreOf(const QVector<Entry> &entries, int a, int b, const Options &options);
// The batch's pairs of ends, judged; each paired entry learns its fibre's verdict.
QVector<Fibre> pairFibres(QVector<Entry> &entries, const Options &options);
// The verdict that counts for an entry: its fibre's, where it has one.
Acceptance::Verdict finalVerdict(const Entry &entry);
// Whether a verdict lets the batch's exit status say "sound": a pass, or nothing asked.
inline bool passes(Acceptance::Verdict v)
{
    return v == Acceptance::Verdict::Pass || v == Acceptance::Verdict::NoLimits;
}

// The summary's columns and one entry's row: file, cable, fibre, wavelength, length, total
// loss, worst event, bends, the fibre's verdict from both ends, the trace's verdict; its numbers
// with this decimal mark (a CSV's may be a point).
QStringList summaryHeader();
QStringList summaryRow(const Entry &entry, QChar decimalPoint = QLatin1Char(','));

// Pages: the summary (as many as its rows need, its legend and signature lines at the end of
// the last), then one per fibre measured from both ends, then one per entry; a fibre or an entry
// whose reasons or events do not fit on its page takes more, which this count leaves out.
int summaryRowsOnFirstPage();
int summaryRowsPerPage();
int summaryPages(int entries);
int pageCount(int entries, int fibres = 0);

// A cable's job as a PDF: the matrix (as many pages as it needs), the fibre summary, the checks,
// then each fibre measured from both ends on its own page, as writePdf draws it.
bool writeCablePdf(const Cable::Job &job,
                   const Options &options,
                   const QString &path,
                   QString *error);

// One pair of traces of a fibre, baseline and now, as the caller opened and compared them; no
// comparison (and the problem why) where they could not be.
struct ComparedPair
{
    QString basePath;
    QString nowPath;
    std::shared_ptr<const Sor::Opened> base;
    std::shared_ptr<const Sor::Opened> now;
    std::optional<Baseline::Comparison> comparison;
    QString problem;
};

// What changed on each fibre since its as-built: a page per pair (baseline, now), both traces
// overlaid, their difference below, the list of changes. `pairAt(i)` hands the pages their
// pairs one by one, so that a pair is let go once its page is drawn.
bool writeBaselinePdf(int pairs,
                      const std::function<ComparedPair(int)> &pairAt,
                      const Options &options,
                      const QString &path,
                      QString *error);

bool writePdf(const QVector<Entry> &entries,
              const QVector<Fibre> &fibres,
              const Options &options,
              const QString &path,
              QString *error);
bool writeCsv(const QVector<Entry> &entries,
              const QString &path,
              QString *error,
              const Sor::CsvStyle &style = Sor::CsvStyle());

} // namespace Report
