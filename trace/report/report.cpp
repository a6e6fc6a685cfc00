#include "report/report.h"

#include "acceptance/pairing.h"
#include "sor/savefile.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QFileInfo>

#include <cmath>

namespace Report {

namespace {
constexpr int FirstPageRows = 34;
constexpr int PageRows = 52;
// The rows the legend and the signature lines take at the end of the summary.
constexpr int ClosingRows = 15;

// A number as the table writes it, with this decimal mark.
QString number(double value, int decimals, QChar decimalPoint)
{
    return Sor::decimal(value, decimals).replace(QLatin1Char(','), decimalPoint);
}

// The event that most needs the reader's eye: the worst failing one, else the lossiest.
QString worstEvent(const Entry &e, QChar decimalPoint)
{
    const Acceptance::JudgedEvent *worst = nullptr;
    for (const Acceptance::JudgedEvent &event : e.judgement.events) {
        if (event.end || event.marker || event.pastEnd)
            continue;
        const bool failing = event.verdict == Acceptance::Verdict::Fail;
        const bool worstFails = worst && worst->verdict == Acceptance::Verdict::Fail;
        if (!worst || (failing && !worstFails)
            || (failing == worstFails
                && event.lossDb.value_or(-1e9) > worst->lossDb.value_or(-1e9)))
            worst = &event;
    }
    if (!worst || !worst->lossDb)
        return QString();
    return QStringLiteral("%1: %2 dB")
        .arg(worst->number)
        .arg(number(*worst->lossDb, 3, decimalPoint));
}

QVector<const Sor::Trace *> readTraces(const QVector<Entry> &entries)
{
    QVector<const Sor::Trace *> traces;
    for (const Entry &e : entries)
        traces << &e.trace;
    return traces;
}

// Bends: each readable trace against the longer wavelengths of its fibre and direction.
void markBends(QVector<Entry> &entries, const Options &options)
{
    for (const Acceptance::Pair &p : Acceptance::pairWavelengths(readTraces(entries))) {
        Entry &shorter = entries[p.first];
        Entry &longer = entries[p.second];
        if (!shorter.readable || !longer.readable)
            continue;
        const Acceptance::Wavelengths w = Acceptance::compareWavelengths(
            Acceptance::measurementOf(shorter.path, shorter.trace, shorter.link),
            Acceptance::measurementOf(longer.path, longer.trace, longer.link),
            options.bendThresholdDb);
        for (const Acceptance::WavelengthEvent &e : w.events) {
            if (!e.bend && !e.sectionBend)
                continue;
            for (Entry *entry : {&shorter, &longer}) {
                if (!entry->bendsM.contains(e.distanceM))
                    entry->bendsM << e.distanceM;
            }
        }
    }
}

QString bendsText(const QVector<double> &bends, QChar decimalPoint)
{
    if (bends.isEmpty())
        return QString();
    const QString first = number(bends.first() / 1000.0, 3, decimalPoint) + QStringLiteral(" km");
    return bends.size() == 1 ? first : QStringLiteral("%1 +%2").arg(first).arg(bends.size() - 1);
}

} // namespace

Fibre fibreOf(const QVector<Entry> &entries, int first, int second, const Options &options)
{
    Fibre f;
    f.a = first;
    f.b = second;
    const Entry &a = entries.at(f.a);
    const Entry &b = entries.at(f.b);
    const Acceptance::Measurement ma
        = Acceptance::measurementOf(QFileInfo(a.path).fileName(), a.trace, a.link);
    const Acceptance::Measurement mb
        = Acceptance::measurementOf(QFileInfo(b.path).fileName(), b.trace, b.link);
    // Paired by their names, two files whose ids name different fibres are still two fibres.
    f.problem = !a.readable || !b.readable
                    ? QStringLiteral("%1 não pôde ser lido")
                          .arg(QFileInfo(a.readable ? b.path : a.path).fileName())
                    : Acceptance::idsProblem(a.path, ma, b.path, mb);
    if (f.problem.isEmpty())
        f.problem = Acceptance::directionsProblem(ma, mb);
    if (f.problem.isEmpty()) {
        f.twoWay = Acceptance::averageDirections(ma, mb);
        f.link = Acceptance::averagedLink(f.twoWay, a.link, b.link);
        f.judgement = Acceptance::judge(f.link, options.limits);
    } else {
        f.judgement.verdict = Acceptance::Verdict::Unknown;
    }
    return f;
}

QVector<Fibre> pairFibres(QVector<Entry> &entries, const Options &options)
{
    QStringList names;
    for (const Entry &e : entries)
        names << e.path;
    QVector<Fibre> fibres;
    const QVector<Acceptance::Pair> pairs
        = Acceptance::pairDirections(readTraces(entries), names, options.pairMarkers);
    for (const Acceptance::Pair &p : pairs)
        fibres.append(fibreOf(entries, p.first, p.second, options));
    // Each end of a fibre that could be averaged answers to its fibre's verdict.
    for (auto e = entries.begin(); e != entries.end(); ++e) {
        const int index = int(e - entries.begin());
        for (const Fibre &f : fibres) {
            if (f.problem.isEmpty() && (f.a == index || f.b == index))
                e->fibreVerdict = f.judgement.verdict;
        }
    }
    return fibres;
}

Acceptance::Verdict finalVerdict(const Entry &entry)
{
    return entry.fibreVerdict.value_or(entry.judgement.verdict);
}

QVector<Entry> judgeFiles(const QStringList &paths, const Options &options)
{
    QVector<Entry> entries;
    for (const QString &path : paths) {
        Entry e;
        e.path = path;
        // A file that cannot be used is named as the other commands name it.
        Sor::Opened opened = Sor::openTrace(path);
        e.trace = std::move(opened.trace);
        e.readable = opened.usable();
        if (!e.readable) {
            e.problem = opened.problem;
        } else if (e.trace.damaged()) {
            e.problem = Sor::damageText(e.trace, Sor::DamageWording::Command);
        }
        if (e.readable && options.reanalyze) {
            const Analysis::Result found
                = Analysis::analyze(e.trace, Analysis::thresholdsFor(e.trace, options.thresholds));
            e.link = Acceptance::analysedLink(e.trace, found);
            e.trace.keyEvents = Analysis::asKeyEvents(found);
        } else if (e.readable) {
            e.link = Acceptance::eventsLink(e.trace);
        } else {
            e.link = Acceptance::fileLink(e.trace);
        }
        e.link.damaged = e.link.damaged || !e.readable;
        e.judgement = Acceptance::judge(e.link, options.limits);
        entries.append(e);
    }
    markBends(entries, options);
    return entries;
}

QStringList summaryHeader()
{
    return {QStringLiteral("Arquivo"),
            QStringLiteral("Cabo"),
            QStringLiteral("Fibra"),
            QStringLiteral("λ nm"),
            QStringLiteral("Compr. km"),
            QStringLiteral("Perda dB"),
            QStringLiteral("Pior evento"),
            QStringLiteral("Curvatura"),
            QStringLiteral("2 pontas"),
            QStringLiteral("Veredito")};
}

QStringList summaryRow(const Entry &e, QChar decimalPoint)
{
    const Sor::Trace &t = e.trace;
    const auto optional
        = [decimalPoint](const std::optional<double> &v, double scale, int decimals) {
              return v ? number(*v * scale, decimals, decimalPoint) : QString();
          };
    return {QFileInfo(e.path).fileName(),
            t.general ? t.general->cableId : QString(),
            t.general ? t.general->fiberId : QString(),
            t.wavelengthNm
                ? Sor::wavelengthNumber(*t.wavelengthNm).replace(QLatin1Char(','), decimalPoint)
                : QString(),
            optional(e.link.lengthM, 0.001, 3),
            optional(e.link.totalLossDb, 1, 3),
            worstEvent(e, decimalPoint),
            bendsText(e.bendsM, decimalPoint),
            e.fibreVerdict ? Acceptance::verdictWord(*e.fibreVerdict) : QString(),
            // One end of a fibre measured from both answers to the fibre's verdict.
            Acceptance::verdictWord(finalVerdict(e))};
}

int summaryRowsOnFirstPage()
{
    return FirstPageRows;
}

int summaryRowsPerPage()
{
    return PageRows;
}

int summaryPages(int entries)
{
    const int rest = std::max(0, entries - FirstPageRows);
    const int pages = 1 + (rest + PageRows - 1) / PageRows;
    // The rows on the last page, and whether the closing lines still fit under them.
    const int last = pages == 1 ? entries : rest - (pages - 2) * PageRows;
    return last + ClosingRows <= (pages == 1 ? FirstPageRows : PageRows) ? pages : pages + 1;
}

int pageCount(int entries, int fibres)
{
    return summaryPages(entries) + fibres + entries;
}

bool writeCsv(const QVector<Entry> &entries,
              const QString &path,
              QString *error,
              const Sor::CsvStyle &style)
{
    QString text = Sor::csvRow(summaryHeader(), style) + QLatin1Char('\n');
    // Every number with the CSV's own decimal mark, those within a text ("3: 0.225 dB") too;
    // the ids a file gives are written as they are.
    for (const Entry &e : entries)
        text += Sor::csvRow(summaryRow(e, style.decimalPoint), style) + QLatin1Char('\n');
    return Sor::saveFile(path, text.toUtf8(), error);
}

} // namespace Report
