#include "report/pdfpage.h"

#include "sor/sortext.h"

#include <QFileInfo>

namespace Report {

using namespace Pdf;

namespace {

constexpr int CableRowsPerPage = 50;
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
                             "ausente: nem o arquivo nem os pontos dão o valor"));
    page.y += Row / 2;
    const int closures = b.closures;
    QVector<double> widths{0.12};
    QStringList header{QStringLiteral("Fibra")};
    for (int c = 0; c < closures; ++c) {
        const Cable::Closure &closure = job.closures.at(b.firstClosure + c);
        widths << 0.88 / std::max(1, closures);
        header << QStringLiteral("%1: %2")
                      .arg(closure.number)
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
}

// The fibres with both ends at the first band, each as the report's two-ended page draws it.
QVector<QPair<QString, QString>> twoEndedFiles(const Cable::Job &job)
{
    QVector<QPair<QString, QString>> pairs;
    const int band = job.bands.value(0);
    for (const Cable::Fibre &fibre : job.fibres) {
        QString a;
        QString b;
        for (const Cable::File &f : job.files) {
            if (f.problem.isEmpty() && f.fiber == fibre.fiber && f.bandNm == band)
                (f.end == QLatin1Char('A') ? a : b) = f.path;
        }
        if (!a.isEmpty() && !b.isEmpty())
            pairs.append({a, b});
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
    const QVector<QPair<QString, QString>> pairs = twoEndedFiles(job);
    const int total = int(blocks.size()) + summaryPages + checkPages + int(pairs.size());
    return writeDocument(
        path,
        options,
        total,
        [&](const std::function<Page()> &nextPage) {
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
            // Each fibre's page: its two files read again, judged and averaged, then let go.
            for (const auto &pair : pairs) {
                Page page = nextPage();
                QVector<Entry> entries = judgeFiles({pair.first, pair.second}, options);
                const QVector<Fibre> fibres = pairFibres(entries, options);
                if (fibres.isEmpty()) {
                    page.line(QStringLiteral("%1 e %2: não foram reconhecidos como as duas "
                                             "pontas de uma fibra")
                                  .arg(QFileInfo(pair.first).fileName(),
                                       QFileInfo(pair.second).fileName()));
                    continue;
                }
                fibrePage(page, entries, fibres.first(), options);
            }
        },
        error);
}

} // namespace Report
