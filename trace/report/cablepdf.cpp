#include "report/pdfpage.h"

#include "sor/sortext.h"

#include <QFileInfo>
#include <QSet>

namespace Report {

using namespace Pdf;

namespace {

constexpr int CableRowsPerPage = 50;
constexpr int CableClosuresPerPage = 14;
// The cover's closures: under its heading, then on pages of their own.
constexpr int CoverClosuresFirst = 26;
constexpr int CoverClosuresMore = 50;

int coverPages(const Cable::Job &job)
{
    const int more = std::max(0, int(job.closures.size()) - CoverClosuresFirst);
    return 1 + (more + CoverClosuresMore - 1) / CoverClosuresMore;
}

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

// The page a client reads first: who, what, by which limits, how many passed, each closure's
// mean and worst loss, and where both sign (after the last of the closures).
void coverPage(Page &page, const Cable::Job &job, const Options &o, int number, int pages)
{
    if (number == 0) {
        page.line(o.title, 16, true);
        QSet<QString> cables;
        for (const Cable::Fibre &f : job.fibres) {
            if (!f.cable.isEmpty())
                cables.insert(f.cable);
        }
        QStringList named(cables.cbegin(), cables.cend());
        named.sort();
        const QList<QPair<QString, QString>> heading{
            {QStringLiteral("Cliente"), o.client},
            {QStringLiteral("Empresa"), o.company},
            {QStringLiteral("Operador"), o.operatorName},
            {QStringLiteral("Data"), o.date.toString(QStringLiteral("dd/MM/yyyy HH:mm"))},
            {QStringLiteral("Cabo"), named.join(QStringLiteral(", "))}};
        for (const auto &h : heading) {
            if (!h.second.isEmpty())
                page.line(QStringLiteral("%1: %2").arg(h.first, h.second));
        }
        QStringList bands;
        for (int band : job.bands)
            bands << QStringLiteral("%1 nm").arg(band);
        page.line(QStringLiteral("%1 fibras em %2; %3; tolerância %4 m")
                      .arg(job.fibres.size())
                      .arg(bands.join(QStringLiteral(" e ")),
                           Cable::closureCounts(job.closures)
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
        page.line(QStringLiteral("Perda por emenda e conector (dB): a média das fibras e a pior"),
                  11,
                  true);
    }
    QVector<double> widths{0.06, 0.12, 0.12};
    QStringList header{QStringLiteral("Nº"), QStringLiteral("Tipo"), QStringLiteral("km de A")};
    const double share = 0.70 / std::max(1, int(job.bands.size()));
    for (int band : job.bands) {
        widths << share * 0.3 << share * 0.3 << share * 0.4;
        header << QStringLiteral("Média %1 nm").arg(band) << QStringLiteral("Pior %1 nm").arg(band)
               << QStringLiteral("Fibra da pior");
    }
    page.rowPoints = SummaryPoints;
    const int from = number == 0 ? 0 : CoverClosuresFirst + (number - 1) * CoverClosuresMore;
    const int to = std::min(int(job.closures.size()),
                            from + (number == 0 ? CoverClosuresFirst : CoverClosuresMore));
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
            colours << QColor()
                    << (figures.worstVerdict == Acceptance::Verdict::NoLimits
                            ? QColor()
                            : verdictColour(figures.worstVerdict))
                    << QColor();
        }
        page.row(cells, widths, false, colours);
    }
    page.cutTexts();
    if (number == pages - 1)
        signatureLines(page, o);
}

// A block of the matrix: some fibres by some closures, at one band.
struct MatrixBlock
{
    int bandNm = 0;
    int firstFibre = 0;
    int firstClosure = 0;
    int closures = 0;
};

QVector<MatrixBlock> matrixBlocks(const Cable::Job &job)
{
    QVector<MatrixBlock> blocks;
    // The closures spread evenly over the pages a band's columns need.
    const int n = int(job.closures.size());
    const int pages = std::max(1, (n + CableClosuresPerPage - 1) / CableClosuresPerPage);
    const int perPage = std::max(1, (n + pages - 1) / pages);
    for (int band : job.bands) {
        for (int f = 0; f < std::max(1, int(job.fibres.size())); f += CableRowsPerPage) {
            for (int c = 0; c < std::max(1, n); c += perPage)
                blocks.append({band, f, c, std::min(perPage, n - c)});
        }
    }
    return blocks;
}

void matrixPage(Page &page, const Cable::Job &job, const MatrixBlock &b)
{
    page.line(QStringLiteral("Matriz de emendas em %1 nm: perda média das duas pontas (dB), "
                             "emendas numeradas a partir da ponta A com a distância em km")
                  .arg(b.bandNm),
              12,
              true);
    page.line(QStringLiteral("* medida nos pontos do traço (o arquivo não traz o evento); "
                             "ausente: nem o arquivo nem os pontos dão o valor; C: conector, "
                             "julgado pelo limite de conector; a cor é o veredito que entra no "
                             "da fibra"));
    page.y += Row / 2;
    const int closures = b.closures;
    QVector<double> widths{0.12};
    QStringList header{QStringLiteral("Fibra")};
    for (int c = 0; c < closures; ++c) {
        const Cable::Closure &closure = job.closures.at(b.firstClosure + c);
        widths << 0.88 / std::max(1, closures);
        header << QStringLiteral("%1: %2")
                      .arg(Cable::closureTitle(closure))
                      .arg(Sor::decimal(closure.distanceM / 1000, 2));
    }
    page.rowPoints = SummaryPoints;
    page.row(header, widths, true);
    const int last = std::min(int(job.fibres.size()), b.firstFibre + CableRowsPerPage);
    for (int f = b.firstFibre; f < last; ++f) {
        const QString &fiber = job.fibres.at(f).fiber;
        QStringList cells{fiber};
        QVector<QColor> colours{QColor()};
        for (int c = 0; c < closures; ++c) {
            const int number = job.closures.at(b.firstClosure + c).number;
            QString text = QStringLiteral("—");
            QColor colour;
            for (const Cable::Cell &cell : job.matrix) {
                if (cell.fiber != fiber || cell.bandNm != b.bandNm || cell.closure != number)
                    continue;
                const bool measured
                    = cell.howAb == Cable::How::Measured || cell.howBa == Cable::How::Measured;
                text = cell.lossDb ? Sor::decimal(*cell.lossDb, 3)
                                         + (measured ? QStringLiteral("*") : QString())
                                   : QStringLiteral("ausente");
                colour = cell.verdict == Acceptance::Verdict::NoLimits
                             ? QColor()
                             : verdictColour(cell.verdict);
            }
            cells << text;
            colours << colour;
        }
        page.row(cells, widths, false, colours);
    }
}

void cableSummaryPage(Page &page, const Cable::Job &job, int from)
{
    page.line(QStringLiteral("Fibras"), 12, true);
    page.y += Row / 2;
    const QVector<double> widths{0.12, 0.12, 0.12, 0.10, 0.08, 0.14, 0.32};
    page.rowPoints = SummaryPoints;
    page.row({QStringLiteral("Fibra"),
              QStringLiteral("Compr. (km)"),
              QStringLiteral("Perda (dB)"),
              QStringLiteral("ORL (dB)"),
              QStringLiteral("Curv."),
              QStringLiteral("Veredito"),
              QStringLiteral("Arquivos")},
             widths,
             true);
    for (int i = from; i < std::min(int(job.fibres.size()), from + CableRowsPerPage); ++i) {
        const Cable::Fibre &f = job.fibres.at(i);
        QVector<QColor> colours(widths.size());
        colours[5] = verdictColour(f.verdict);
        page.row({f.fiber,
                  f.lengthM ? Sor::decimal(*f.lengthM / 1000, 3) : QStringLiteral("não medido"),
                  Sor::measuredText(f.totalLossDb, 3),
                  Sor::measuredText(f.orlDb, 2),
                  QString::number(f.bends),
                  Acceptance::verdictWord(f.verdict),
                  f.files.join(QStringLiteral(", "))},
                 widths,
                 false,
                 colours);
    }
    page.cutTexts();
}

// The fibres with both ends at the first band, each as the report's two-ended page draws it:
// the files the job used (a re-shoot's newest) as its ends.
struct TwoEnded
{
    const Cable::Fibre *fibre = nullptr;
    QString a;
    QString b;
    QStringList aShots; // the A end's files at every band: its link map
};

QVector<TwoEnded> twoEndedFiles(const Cable::Job &job)
{
    QVector<TwoEnded> pairs;
    const int band = job.bands.value(0);
    for (const Cable::Fibre &fibre : job.fibres) {
        TwoEnded two{&fibre, QString(), QString(), {}};
        for (const Cable::File &f : job.files) {
            if (f.problem.isEmpty() && !f.repeated && f.fiber == fibre.fiber && f.bandNm == band)
                (f.end == QLatin1Char('A') ? two.a : two.b) = f.path;
            if (f.problem.isEmpty() && !f.repeated && f.fiber == fibre.fiber
                && f.end == QLatin1Char('A'))
                two.aShots << f.path;
        }
        if (!two.a.isEmpty() && !two.b.isEmpty())
            pairs.append(two);
    }
    return pairs;
}

} // namespace

bool writeCablePdf(const Cable::Job &job,
                   const Options &options,
                   const QString &path,
                   QString *error)
{
    const QVector<MatrixBlock> blocks = matrixBlocks(job);
    const int summaryPages
        = std::max(1, int((job.fibres.size() + CableRowsPerPage - 1) / CableRowsPerPage));
    const QStringList checks = Cable::checkLines(job);
    const int checkPages
        = std::max(1, int((checks.size() + CableRowsPerPage - 1) / CableRowsPerPage));
    const QVector<TwoEnded> pairs = twoEndedFiles(job);
    const int cover = coverPages(job);
    const QStringList since = Cable::baselineLines(job);
    const int sincePages = int((since.size() + CableRowsPerPage - 1) / CableRowsPerPage);
    const int total
        = cover + int(blocks.size()) + summaryPages + checkPages + sincePages + int(pairs.size());
    return writeDocument(
        path,
        options,
        total,
        [&](const std::function<Page()> &nextPage) {
            for (int p = 0; p < cover; ++p) {
                Page page = nextPage();
                coverPage(page, job, options, p, cover);
            }
            for (const MatrixBlock &b : blocks) {
                Page page = nextPage();
                matrixPage(page, job, b);
            }
            for (int p = 0; p < summaryPages; ++p) {
                Page page = nextPage();
                cableSummaryPage(page, job, p * CableRowsPerPage);
            }
            for (int p = 0; p < checkPages; ++p) {
                Page page = nextPage();
                page.line(QStringLiteral("Verificações antes da entrega"), 12, true);
                page.y += Row / 2;
                page.rowPoints = SummaryPoints;
                for (int i = p * CableRowsPerPage;
                     i < std::min(int(checks.size()), (p + 1) * CableRowsPerPage);
                     ++i)
                    page.row({checks.at(i)}, {1.0});
            }
            // What changed since the as-built, where the job was compared with one.
            for (int p = 0; p < sincePages; ++p) {
                Page page = nextPage();
                page.line(QStringLiteral("Desde a linha de base"), 12, true);
                page.y += Row / 2;
                page.rowPoints = SummaryPoints;
                for (int i = p * CableRowsPerPage;
                     i < std::min(int(since.size()), (p + 1) * CableRowsPerPage);
                     ++i)
                    page.row({since.at(i)}, {1.0});
            }
            // Each fibre's page: its two files read again, judged and averaged, then let go.
            // The job told its ends apart; the page answers to the job's verdict, every band's.
            for (const TwoEnded &pair : pairs) {
                Page page = nextPage();
                const QVector<Entry> entries = judgeFiles({pair.a, pair.b}, options);
                Fibre fibre = fibreOf(entries, 0, 1, options);
                if (fibre.problem.isEmpty()) {
                    fibre.judgement.verdict = pair.fibre->verdict;
                    fibre.judgement.reasons = pair.fibre->reasons;
                }
                fibrePage(page, entries, fibre, options, linkOfFiles(pair.aShots, options.limits));
            }
        },
        error);
}

} // namespace Report
