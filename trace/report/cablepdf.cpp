#include "report/pdfpage.h"

#include "cable/closureview.h"
#include "sor/sortext.h"
#include "traceplot/plotpainter.h"

#include <QFileInfo>
#include <QPageLayout>

namespace Report {

using namespace Pdf;

namespace {

constexpr int CableRowsPerPage = 50;
constexpr int CableClosuresPerPage = 14;
// The cover's closures: under its heading, then on pages of their own.
constexpr int CoverClosuresFirst = 26;
constexpr int CoverClosuresMore = 50;

// "lançamento 1000 m, recepção 1000 m"; empty without cords.
QString cordsText(const Cable::Options &o)
{
    QStringList cords;
    if (o.launchM)
        cords << QStringLiteral("lançamento %1 m").arg(Sor::decimal(*o.launchM, 0));
    if (o.receiveM)
        cords << QStringLiteral("recepção %1 m").arg(Sor::decimal(*o.receiveM, 0));
    return cords.join(QStringLiteral(", "));
}

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
        const Cable::Facts facts = Cable::facts(job);
        // When, with what and from where the cable was measured: the report's own date below
        // is not the measurement's.
        const QList<QPair<QString, QString>> heading
            = QList<QPair<QString, QString>>{{QStringLiteral("Cliente"), o.client},
                                             {QStringLiteral("Empresa"), o.company},
                                             {QStringLiteral("Operador"), o.operatorName},
                                             {QStringLiteral("Cabo"), facts.cable}}
              + Cable::factRows(facts)
              + QList<QPair<QString, QString>>{
                  {QStringLiteral("Cordões"), cordsText(job.options)},
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
                  Cable::bendsText(f),
                  Acceptance::verdictWord(f.verdict),
                  f.files.join(QStringLiteral(", "))},
                 widths,
                 false,
                 colours);
    }
    page.cutTexts();
}

// A fibre's pages: its heading and its two ends' plot, then a row for every closure of the
// matrix and every other event of its span, what the marks mean and why it fails; what does not
// fit goes on to a page of its own. Each part is drawn by a function of its own, so that a page
// can take another block.
constexpr int FibreRowsFirst = 27; // under the heading and the plot
constexpr int FibreRowsMore = 50;  // on a page that goes on
const QVector<double> FibreTableWidths{0.06, 0.10, 0.10, 0.10, 0.11, 0.09, 0.08, 0.36};

struct FibreRow
{
    double atM = 0;
    QStringList cells;
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
};

// What a page holds, in table rows: a row, the notes, the reasons' title or one reason.
struct Piece
{
    enum Kind { Row, Notes, ReasonsTitle, Reason };
    Kind kind = Row;
    int index = 0;
    int units = 1;
};

struct FibreLayout
{
    const Cable::Fibre *fibre = nullptr;
    int band = 0;
    QVector<FibreRow> rows;
    QStringList aShots; // the A end's files at every band: its link map
    int mapHeight = 0;  // the map's block, in the page's dots; 0 without one
    QVector<QVector<Piece>> pages;
};

// The width a page gives its content, as writeDocument lays it out.
int contentWidth()
{
    return QPageLayout(QPageSize(QPageSize::A4),
                       QPageLayout::Portrait,
                       QMarginsF(15, 15, 15, 15),
                       QPageLayout::Millimeter)
        .paintRectPixels(Resolution)
        .width();
}

// The plot's height under a link map of that height: the map takes its height from the
// plot's, down to a readable plot.
int plotHeightUnder(int mapHeight)
{
    return mapHeight > 0 ? std::max(PlotHeight - mapHeight, MapPlotHeight) : PlotHeight;
}

QString endValue(const std::optional<double> &loss, Cable::How how)
{
    return loss ? Sor::decimal(*loss, 3)
                      + (how == Cable::How::Measured ? QStringLiteral("*") : QString())
                : QStringLiteral("ausente");
}

// A cord's or an instrument's connector: its loss (none for a front connector: nothing lies
// before it), its reflectance, its verdict.
FibreRow connectorRow(const Cable::PlaceName &name, const Cable::Connector &c, const QString &seen)
{
    return {c.distanceM,
            {name.flag,
             Sor::decimal(c.distanceM / 1000, 4),
             QString(),
             QString(),
             Sor::measuredText(c.lossDb, 3),
             Sor::optionalDecimal(c.reflectanceDb, 2),
             seen,
             c.judged ? Cable::connectorVerdictText(c)
                      : QStringLiteral("não julgado: %1").arg(name.where)},
            c.verdict};
}

QVector<FibreRow> fibreRows(const Cable::Job &job, const Cable::Fibre &fibre, int band)
{
    QVector<FibreRow> rows;
    const std::optional<double> nm = band;
    // Every closure of the matrix, with the matrix's values.
    for (const Cable::Closure &c : job.closures) {
        const Cable::PlaceName name = Cable::placeName(job, fibre, c.distanceM * fibre.lengthScale);
        Cable::Cell cell;
        for (const Cable::Cell &m : job.matrix) {
            if (m.fiber == fibre.fiber && m.bandNm == band && m.closure == c.number)
                cell = m;
        }
        const bool measured
            = cell.howAb == Cable::How::Measured || cell.howBa == Cable::How::Measured;
        QString verdict = Acceptance::verdictWord(cell.verdict);
        for (const Acceptance::JudgedEvent &e : fibre.events) {
            if (e.where
                == QStringLiteral("%1 %2").arg(Cable::closureKind(c), Cable::closureTitle(c)))
                verdict = Acceptance::eventVerdictText(e, job.options.limits, nm);
        }
        if (cell.verdict == Acceptance::Verdict::Fail
            && verdict == Acceptance::verdictWord(cell.verdict))
            verdict += QStringLiteral(": %1").arg(
                Acceptance::limitText(c.connector ? QStringLiteral("connector_loss_max_db")
                                                  : QStringLiteral("splice_loss_max_db"),
                                      job.options.limits,
                                      nm));
        rows.append({c.distanceM * fibre.lengthScale,
                     {Cable::closureTitle(c),
                      Sor::decimal(c.distanceM * fibre.lengthScale / 1000, 4),
                      endValue(cell.lossAbDb, cell.howAb),
                      endValue(cell.lossBaDb, cell.howBa),
                      cell.lossDb ? Sor::decimal(*cell.lossDb, 3)
                                        + (measured ? QStringLiteral("*") : QString())
                                  : QStringLiteral("ausente"),
                      Sor::optionalDecimal(cell.reflectanceDb, 2),
                      cell.lossAbDb && cell.lossBaDb ? QStringLiteral("ambas")
                      : cell.lossAbDb                ? QStringLiteral("só A")
                      : cell.lossBaDb                ? QStringLiteral("só B")
                                                     : QStringLiteral("nenhuma"),
                      verdict},
                     cell.verdict});
    }
    const auto connector = [&](const std::optional<Cable::Connector> &c, const QString &seen) {
        if (c)
            rows.append(connectorRow(Cable::placeName(job, fibre, c->distanceM), *c, seen));
    };
    connector(fibre.frontA, QStringLiteral("só A"));
    connector(fibre.frontB, QStringLiteral("só B"));
    connector(fibre.launchConnector, QStringLiteral("—"));
    connector(fibre.receiveConnector, QStringLiteral("—"));
    // The span's other events: its own (not at any closure) and its end.
    for (const Acceptance::JudgedEvent &e : fibre.events) {
        const Cable::PlaceName name = Cable::placeName(job, fibre, e.distanceM, e.end);
        if (name.kind == Cable::PlaceName::Closure || name.kind == Cable::PlaceName::None)
            continue;
        rows.append({e.distanceM,
                     {name.flag,
                      Sor::decimal(e.distanceM / 1000, 4),
                      QString(),
                      QString(),
                      e.end ? QString() : Sor::measuredText(e.lossDb, 3),
                      Sor::optionalDecimal(e.reflectanceDb, 2),
                      QString(),
                      e.end ? QString() : Acceptance::eventVerdictText(e, job.options.limits, nm)},
                     e.end ? Acceptance::Verdict::NoLimits : e.verdict});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const FibreRow &x, const FibreRow &y) {
        return x.atM < y.atM;
    });
    return rows;
}

// The pieces packed on pages in order: the first page holds fewer rows under the plot (and
// fewer still where a link map pushes it down).
QVector<QVector<Piece>> packed(int rows, int reasons, int mapHeight)
{
    QVector<Piece> pieces;
    for (int r = 0; r < rows; ++r)
        pieces.append({Piece::Row, r, 1});
    pieces.append({Piece::Notes, 0, 3});
    if (reasons > 0)
        pieces.append({Piece::ReasonsTitle, 0, 2});
    for (int r = 0; r < reasons; ++r)
        pieces.append({Piece::Reason, r, 2});
    QVector<QVector<Piece>> pages(1);
    const int pushed = std::max(0, mapHeight + plotHeightUnder(mapHeight) - PlotHeight);
    int room = FibreRowsFirst - (pushed + Row - 1) / Row;
    for (const Piece &p : pieces) {
        if (p.units > room && !pages.last().isEmpty()) {
            pages.append(QVector<Piece>());
            room = FibreRowsMore;
        }
        pages.last().append(p);
        room -= p.units;
    }
    return pages;
}

// The fibres with both ends at a band, each laid out on its pages. Its link map is made here
// for its height, and again when its page is drawn: a cable's maps do not fit in memory at once.
QVector<FibreLayout> fibreLayouts(const Cable::Job &job, const Acceptance::Limits &limits)
{
    QVector<FibreLayout> layouts;
    const int width = contentWidth();
    for (const Cable::Fibre &fibre : job.fibres) {
        bool a = false;
        bool b = false;
        QStringList aShots;
        for (const Cable::File &f : job.files) {
            if (!f.problem.isEmpty() || f.repeated || f.fiber != fibre.fiber)
                continue;
            if (f.bandNm == fibre.pageBand)
                (f.end == QLatin1Char('A') ? a : b) = true;
            if (f.end == QLatin1Char('A'))
                aShots << f.path;
        }
        if (!a || !b)
            continue;
        FibreLayout layout;
        layout.fibre = &fibre;
        layout.band = fibre.pageBand;
        layout.rows = fibreRows(job, fibre, fibre.pageBand);
        layout.aShots = aShots;
        if (const std::optional<LinkMerge::Link> map = linkOfFiles(aShots, limits))
            layout.mapHeight = linkMapHeight(*map, width);
        layout.pages = packed(int(layout.rows.size()), int(fibre.reasons.size()), layout.mapHeight);
        layouts.append(layout);
    }
    return layouts;
}

// Which fibre, from where to where, from which files, its verdict and its span's figures (as the
// summary gives them).
void fibreHeading(Page &page,
                  const Cable::Job &job,
                  const FibreLayout &layout,
                  const Cable::FibreTraces &traces)
{
    const Cable::Fibre &f = *layout.fibre;
    QString title = QStringLiteral("Fibra %1").arg(f.fiber);
    if (!f.cable.isEmpty())
        title += QStringLiteral(" do cabo %1").arg(f.cable);
    if (traces.a && traces.a->general) {
        const Sor::GeneralParameters &g = *traces.a->general;
        if (!g.locationA.trimmed().isEmpty() && !g.locationB.trimmed().isEmpty())
            title += QStringLiteral(": %1 ↔ %2").arg(g.locationA.trimmed(), g.locationB.trimmed());
    }
    page.line(title, 13, true);
    // Each end's own measurement time: the footer's date is the report's.
    const auto when = [](const std::optional<Sor::Trace> &t) {
        return t && t->date ? QStringLiteral(", %1").arg(Sor::dateText(*t->date)) : QString();
    };
    page.line(QStringLiteral("Medida das duas pontas: %1 (de A%2) e %3 (de B%4), %5 nm")
                  .arg(QFileInfo(traces.pathA).fileName(),
                       when(traces.a),
                       QFileInfo(traces.pathB).fileName(),
                       when(traces.b))
                  .arg(layout.band));
    page.line(QStringLiteral("Veredito da fibra (perdas médias das duas pontas%1): %2")
                  .arg(job.bands.size() > 1 ? QStringLiteral(", todos os comprimentos de onda")
                                            : QString(),
                       Acceptance::verdictWord(f.verdict)),
              11,
              true,
              verdictColour(f.verdict));
    const QString cords = cordsText(job.options);
    page.line(
        QStringLiteral("Comprimento do enlace: %1   Perda total (média): %2   ORL: %3   "
                       "Curvaturas: %4%5")
            .arg(f.lengthM ? Sor::decimal(*f.lengthM / 1000, 3) + QStringLiteral(" km")
                           : QStringLiteral("não medido"),
                 f.totalLossDb ? Sor::decimal(*f.totalLossDb, 3) + QStringLiteral(" dB")
                               : QStringLiteral("não medida"),
                 f.orlDb ? Sor::decimal(*f.orlDb, 2) + QStringLiteral(" dB")
                         : QStringLiteral("não medido"),
                 Cable::bendsText(f),
                 cords.isEmpty() ? QString() : QStringLiteral(" (sem os cordões: %1)").arg(cords)));
    page.line(QStringLiteral("Distâncias de A; B espelhado sobre A (deslocamento comum removido: "
                             "%1 m; tolerância: %2 m)")
                  .arg(Sor::decimal(traces.twoWay.shiftM, 1), Sor::decimal(job.toleranceM, 1)),
              ReadablePoints + 1);
    page.y += Row / 2;
}

// The link map of A's shots, where there is one, then both ends on A's axis, each event
// flagged as the matrix names its place.
void fibrePlot(Page &page,
               const Cable::FibreTraces &traces,
               const std::optional<LinkMerge::Link> &map)
{
    if (map)
        linkMapBlock(page, *map);
    if (!traces.problem.isEmpty()) {
        page.line(QStringLiteral("Traços: %1").arg(traces.problem), BodyPoints, true, FailColour);
        return;
    }
    QVector<TracePlot::Series> series;
    if (traces.a)
        series.append({&*traces.a,
                       QFileInfo(traces.pathA).fileName(),
                       TracePlot::seriesColour(0),
                       false,
                       traces.flagsA});
    if (traces.b)
        series.append({&*traces.b,
                       QStringLiteral("%1 (espelhado)").arg(QFileInfo(traces.pathB).fileName()),
                       TracePlot::seriesColour(1),
                       false,
                       traces.flagsB});
    const int height = plotHeightUnder(map ? linkMapHeight(*map, page.area.width()) : 0);
    const QRect plot(page.area.left(), page.area.top() + page.y, page.area.width(), height);
    const std::optional<double> end
        = traces.twoWay.fiberLengthM ? traces.twoWay.fiberLengthM : traces.twoWay.lengthAM;
    page.font(BodyPoints);
    TracePlot::paint(page.painter, plot, series, TracePlot::viewToEnd(series, end));
    page.y += height + Row / 2;
}

void fibreTableHeader(Page &page)
{
    page.rowPoints = BodyPoints;
    page.row(twoEndedColumns(), FibreTableWidths, true);
}

void fibreTableRow(Page &page, const FibreRow &row)
{
    QVector<QColor> colours(FibreTableWidths.size());
    if (row.verdict != Acceptance::Verdict::NoLimits)
        colours.last() = verdictColour(row.verdict);
    page.row(row.cells, FibreTableWidths, false, colours);
}

void fibreNotes(Page &page)
{
    page.line(QStringLiteral("Nº: o da emenda na matriz (C: conector); F: conector frontal do "
                             "equipamento, que não é do cabo (não julgado); L, R: conectores dos "
                             "cordões de lançamento e de recepção; x1, x2…: eventos desta fibra "
                             "fora das emendas; fim: o fim da fibra. * medido nos pontos do traço "
                             "(o arquivo não traz o evento); ausente: nem o arquivo nem os pontos "
                             "dão o valor."),
              ReadablePoints + 1);
}

// One page of a fibre: the heading and the plot on its first, then its pieces.
void fibrePage(Page &page,
               const Cable::Job &job,
               const FibreLayout &layout,
               const Cable::FibreTraces &traces,
               const std::optional<LinkMerge::Link> &map,
               int number)
{
    const Cable::Fibre &f = *layout.fibre;
    if (number == 0) {
        fibreHeading(page, job, layout, traces);
        fibrePlot(page, traces, map);
    } else {
        page.line(QStringLiteral("Fibra %1 (continuação)").arg(f.fiber), 13, true);
        page.y += Row / 2;
    }
    bool header = false;
    for (const Piece &piece : layout.pages.at(number)) {
        switch (piece.kind) {
        case Piece::Row:
            if (!header)
                fibreTableHeader(page);
            header = true;
            fibreTableRow(page, layout.rows.at(piece.index));
            break;
        case Piece::Notes:
            fibreNotes(page);
            break;
        case Piece::ReasonsTitle:
            page.y += Row / 2;
            page.line(QStringLiteral("Por que %1:").arg(Acceptance::verdictWord(f.verdict)),
                      BodyPoints + 1,
                      true,
                      verdictColour(f.verdict));
            break;
        case Piece::Reason:
            page.line(f.reasons.at(piece.index), BodyPoints, false, verdictColour(f.verdict));
            break;
        }
    }
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
    const QVector<FibreLayout> layouts = fibreLayouts(job, options.limits);
    int fibrePages = 0;
    for (const FibreLayout &layout : layouts)
        fibrePages += int(layout.pages.size());
    const int cover = coverPages(job);
    const QStringList since = Cable::baselineLines(job);
    const int sincePages = int((since.size() + CableRowsPerPage - 1) / CableRowsPerPage);
    const int total
        = cover + int(blocks.size()) + summaryPages + checkPages + sincePages + fibrePages;
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
            // Each fibre's pages: its two files read again to be drawn, then let go. The job's
            // figures, numbers and verdicts are what they show.
            for (const FibreLayout &layout : layouts) {
                const Cable::FibreTraces traces
                    = Cable::fibreTraces(job, layout.fibre->fiber, layout.band);
                const std::optional<LinkMerge::Link> map
                    = layout.mapHeight > 0 ? linkOfFiles(layout.aShots, options.limits)
                                           : std::nullopt;
                for (int p = 0; p < layout.pages.size(); ++p) {
                    Page page = nextPage();
                    fibrePage(page, job, layout, traces, map, p);
                }
            }
        },
        error);
}

} // namespace Report
