#include "report/cablepages.h"

#include "cable/closureview.h"
#include "sor/sortext.h"

#include <algorithm>

namespace Report::CablePages {

using namespace Pdf;

namespace {

// The cover's closures: under its heading, then on pages of their own.
constexpr int CoverClosuresFirst = 26;
constexpr int CoverClosuresMore = 50;

// Each closure's mean loss over the fibres at a band, and its worst: value, fibre, verdict.
struct ClosureFigures
{
    std::optional<double> meanDb;
    std::optional<double> worstDb;
    QString worstFiber;
    Acceptance::Verdict worstVerdict = Acceptance::Verdict::NoLimits;
};

ClosureFigures closureFigures(const Cable::Job &job, int closure, int bandNm)
{
    ClosureFigures figures;
    double sum = 0;
    int count = 0;
    for (const Cable::Cell &cell : job.matrix) {
        if (cell.closure != closure || cell.bandNm != bandNm || !cell.lossDb)
            continue;
        sum += *cell.lossDb;
        ++count;
        if (!figures.worstDb || *cell.lossDb > *figures.worstDb) {
            figures.worstDb = cell.lossDb;
            figures.worstFiber = cell.fiber;
            figures.worstVerdict = cell.verdict;
        }
    }
    if (count > 0)
        figures.meanDb = sum / count;
    return figures;
}

// Who, what, by which limits, how many passed, whether the checks before delivery are clear.
void coverHeading(Page &page, const Cable::Job &job, const Options &o)
{
    page.line(o.title, 16, true);
    const Cable::Facts facts = Cable::facts(job);
    // When, with what and from where the cable was measured: the report's own date below
    // is not the measurement's.
    const QList<QPair<QString, QString>> heading
        = QList<QPair<QString, QString>>{{QStringLiteral("Cliente"), o.client},
                                         {QStringLiteral("Empresa"), o.company},
                                         {QStringLiteral("Operador"), o.operatorName},
                                         {QStringLiteral("Cabo"), facts.cable}}
          + Cable::factRows(facts)
          + QList<QPair<QString, QString>>{{QStringLiteral("Cordões"), cordsText(job.options)},
                                           {QStringLiteral("Data do relatório"),
                                            o.date.toString(QStringLiteral("dd/MM/yyyy HH:mm"))}};
    for (const auto &h : heading) {
        if (!h.second.isEmpty())
            page.line(QStringLiteral("%1: %2").arg(h.first, h.second));
    }
    page.line(QStringLiteral("%1 fibras; %2; tolerância %3 m")
                  .arg(job.fibres.size())
                  .arg(Cable::closureCounts(job.closures)
                           .replace(QStringLiteral("   "), QStringLiteral(", ")),
                       Sor::decimal(job.toleranceM, 1)));
    page.y += Row / 2;
    limitsLines(page, o.limits);
    QVector<Acceptance::Verdict> verdicts;
    for (const Cable::Fibre &f : job.fibres)
        verdicts << f.verdict;
    countsLine(page, QStringLiteral("fibras"), verdicts);
    page.line(job.checks.raised()
                  ? QStringLiteral("Verificações antes da entrega: há pendências (ver a página "
                                   "de verificações)")
                  : QStringLiteral("Verificações antes da entrega: nenhuma pendência"),
              BodyPoints,
              true,
              job.checks.raised() ? FailColour : PassColour);
    page.y += Row / 2;
    page.line(
        QStringLiteral("Perda por emenda e conector (dB): a média das fibras e a pior"), 11, true);
}

// The closures from `from` to `to`, each with its mean and worst loss at every band.
void closureTable(Page &page, const Cable::Job &job, int from, int to)
{
    QVector<double> widths{0.06, 0.12, 0.12};
    QStringList header{QStringLiteral("Nº"), QStringLiteral("Tipo"), QStringLiteral("km de A")};
    const double share = 0.70 / std::max(1, int(job.bands.size()));
    for (int band : job.bands) {
        widths << share * 0.3 << share * 0.3 << share * 0.4;
        header << QStringLiteral("Média %1 nm").arg(band) << QStringLiteral("Pior %1 nm").arg(band)
               << QStringLiteral("Fibra da pior");
    }
    page.rowPoints = SummaryPoints;
    if (from < to)
        page.row(header, widths, true);
    for (int i = from; i < to; ++i) {
        const Cable::Closure &c = job.closures.at(i);
        QStringList cells{
            Cable::closureTitle(c), Cable::closureKind(c), Sor::decimal(c.distanceM / 1000, 3)};
        QVector<QColor> colours(3);
        for (int band : job.bands) {
            const ClosureFigures figures = closureFigures(job, c.number, band);
            cells << Sor::optionalDecimal(figures.meanDb, 3, QStringLiteral("—"))
                  << Sor::optionalDecimal(figures.worstDb, 3, QStringLiteral("—"))
                  << figures.worstFiber;
            colours << QColor() << judgedColour(figures.worstVerdict) << QColor();
        }
        page.row(cells, widths, false, colours);
    }
}

} // namespace

int coverPages(const Cable::Job &job)
{
    const int more = std::max(0, int(job.closures.size()) - CoverClosuresFirst);
    return 1 + (more + CoverClosuresMore - 1) / CoverClosuresMore;
}

// The page a client reads first: who, what, by which limits, how many passed, each closure's
// mean and worst loss, and where both sign (after the last of the closures).
void coverPage(Page &page, const Cable::Job &job, const Options &o, int number, int pages)
{
    if (number == 0)
        coverHeading(page, job, o);
    const int from = number == 0 ? 0 : CoverClosuresFirst + (number - 1) * CoverClosuresMore;
    const int to = std::min(int(job.closures.size()),
                            from + (number == 0 ? CoverClosuresFirst : CoverClosuresMore));
    closureTable(page, job, from, to);
    page.cutTexts();
    if (number == pages - 1)
        signatureLines(page, o);
}

} // namespace Report::CablePages
