#include "report/cablepages.h"

#include "cable/closureview.h"
#include "sor/sortext.h"

#include <algorithm>

namespace Report {

using namespace Pdf;
using namespace CablePages;

QString CablePages::cordsText(const Cable::Options &o)
{
    QStringList cords;
    if (o.launchM)
        cords << QStringLiteral("lançamento %1 m").arg(Sor::decimal(*o.launchM, 0));
    if (o.receiveM)
        cords << QStringLiteral("recepção %1 m").arg(Sor::decimal(*o.receiveM, 0));
    return cords.join(QStringLiteral(", "));
}

const Cable::Cell *
CablePages::matrixCell(const Cable::Job &job, const QString &fiber, int bandNm, int closure)
{
    const Cable::Cell *found = nullptr;
    for (const Cable::Cell &cell : job.matrix) {
        if (cell.fiber == fiber && cell.bandNm == bandNm && cell.closure == closure)
            found = &cell;
    }
    return found;
}

bool CablePages::measuredOnPoints(const Cable::Cell &cell)
{
    return cell.howAb == Cable::How::Measured || cell.howBa == Cable::How::Measured;
}

QString CablePages::lossText(const std::optional<double> &lossDb, bool measured)
{
    return lossDb ? Sor::decimal(*lossDb, 3) + (measured ? QStringLiteral("*") : QString())
                  : QStringLiteral("ausente");
}

namespace {

constexpr int CableClosuresPerPage = 14;

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
        for (int f = 0; f < std::max(1, int(job.fibres.size())); f += RowsPerPage) {
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
    const int last = std::min(int(job.fibres.size()), b.firstFibre + RowsPerPage);
    for (int f = b.firstFibre; f < last; ++f) {
        const QString &fiber = job.fibres.at(f).fiber;
        QStringList cells{fiber};
        QVector<QColor> colours{QColor()};
        for (int c = 0; c < closures; ++c) {
            const int number = job.closures.at(b.firstClosure + c).number;
            const Cable::Cell *cell = matrixCell(job, fiber, b.bandNm, number);
            cells << (cell ? lossText(cell->lossDb, measuredOnPoints(*cell)) : QStringLiteral("—"));
            colours << (cell ? judgedColour(cell->verdict) : QColor());
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
    for (int i = from; i < std::min(int(job.fibres.size()), from + RowsPerPage); ++i) {
        const Cable::Fibre &f = job.fibres.at(i);
        QVector<QColor> colours(widths.size());
        colours[5] = verdictColour(f.verdict);
        page.row({f.fiber,
                  f.lengthM ? Sor::decimal(*f.lengthM / 1000, 3) : QStringLiteral("não medido"),
                  Sor::measuredText(f.totalLossDb, 3),
                  Sor::measuredText(f.orlDb, 2),
                  Cable::bendsText(f),
                  Acceptance::verdictWord(f.verdict),
                  f.files.join(QStringLiteral(", "))},
                 widths,
                 false,
                 colours);
    }
    page.cutTexts();
}

// A page of a list under its title, RowsPerPage lines from page `number`'s first.
void listPage(Page &page, const QString &title, const QStringList &lines, int number)
{
    page.line(title, 12, true);
    page.y += Row / 2;
    page.rowPoints = SummaryPoints;
    for (int i = number * RowsPerPage; i < std::min(int(lines.size()), (number + 1) * RowsPerPage);
         ++i)
        page.row({lines.at(i)}, {1.0});
}

// The pages a list of that many lines takes.
int listPages(int lines)
{
    return (lines + RowsPerPage - 1) / RowsPerPage;
}

// What the cable's document holds and how many pages each part takes, known before the first
// page is drawn for every page's footer.
struct CableContents
{
    QVector<MatrixBlock> blocks;
    int summaryPages = 0;
    QStringList checks;
    int checkPages = 0;
    QVector<FibreLayout> fibres;
    int cover = 0;
    QStringList since; // what changed since the as-built, where the job was compared with one
    int sincePages = 0;

    int total() const
    {
        int pages = cover + int(blocks.size()) + summaryPages + checkPages + sincePages;
        for (const FibreLayout &layout : fibres)
            pages += int(layout.pages.size());
        return pages;
    }
};

CableContents contentsOf(const Cable::Job &job, const Options &options)
{
    CableContents c;
    c.blocks = matrixBlocks(job);
    c.summaryPages = std::max(1, listPages(int(job.fibres.size())));
    c.checks = Cable::checkLines(job);
    c.checkPages = std::max(1, listPages(int(c.checks.size())));
    c.fibres = fibreLayouts(job, options.limits);
    c.cover = coverPages(job);
    c.since = Cable::baselineLines(job);
    c.sincePages = listPages(int(c.since.size()));
    return c;
}

} // namespace

bool writeCablePdf(const Cable::Job &job,
                   const Options &options,
                   const QString &path,
                   QString *error)
{
    const CableContents contents = contentsOf(job, options);
    return writeDocument(
        path,
        options,
        contents.total(),
        [&](const std::function<Page()> &nextPage) {
            for (int p = 0; p < contents.cover; ++p) {
                Page page = nextPage();
                coverPage(page, job, options, p, contents.cover);
            }
            for (const MatrixBlock &b : contents.blocks) {
                Page page = nextPage();
                matrixPage(page, job, b);
            }
            for (int p = 0; p < contents.summaryPages; ++p) {
                Page page = nextPage();
                cableSummaryPage(page, job, p * RowsPerPage);
            }
            for (int p = 0; p < contents.checkPages; ++p) {
                Page page = nextPage();
                listPage(page, QStringLiteral("Verificações antes da entrega"), contents.checks, p);
            }
            for (int p = 0; p < contents.sincePages; ++p) {
                Page page = nextPage();
                listPage(page, QStringLiteral("Desde a linha de base"), contents.since, p);
            }
            fibrePages(nextPage, job, options, contents.fibres);
        },
        error);
}

} // namespace Report
