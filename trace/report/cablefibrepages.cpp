#include "report/cablepages.h"

#include "cable/closureview.h"
#include "sor/sortext.h"

#include <QFileInfo>
#include <QPageLayout>

#include <algorithm>

// A fibre's pages: its heading and its two ends' plot, then a row for every closure of the
// matrix and every other event of its span, what the marks mean and why it fails; what does not
// fit goes on to a page of its own. Each part is drawn by a function of its own, so that a page
// can take another block.
namespace Report::CablePages {

using namespace Pdf;

namespace {

constexpr int FibreRowsFirst = 27; // under the heading and the plot
constexpr int FibreRowsMore = 50;  // on a page that goes on
const QVector<double> FibreTableWidths{0.06, 0.10, 0.10, 0.10, 0.11, 0.09, 0.08, 0.36};

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

// The fibre's verdict at a closure in words: its own judged event's where it stores one there,
// else the cell's, with the limit a failing cell broke.
QString closureVerdict(const Cable::Job &job,
                       const Cable::Fibre &fibre,
                       const Cable::Closure &c,
                       const Cable::Cell &cell,
                       const std::optional<double> &nm)
{
    QString verdict = Acceptance::verdictWord(cell.verdict);
    for (const Acceptance::JudgedEvent &e : fibre.events) {
        if (e.where == QStringLiteral("%1 %2").arg(Cable::closureKind(c), Cable::closureTitle(c)))
            verdict = Acceptance::eventVerdictText(e, job.options.limits, nm);
    }
    if (cell.verdict == Acceptance::Verdict::Fail
        && verdict == Acceptance::verdictWord(cell.verdict))
        verdict += QStringLiteral(": %1").arg(
            Acceptance::limitText(c.connector ? QStringLiteral("connector_loss_max_db")
                                              : QStringLiteral("splice_loss_max_db"),
                                  job.options.limits,
                                  nm));
    return verdict;
}

// A closure of the matrix as the fibre's row, with the matrix's values: each end's loss, their
// mean, and from which ends it was seen.
FibreRow
closureRow(const Cable::Job &job, const Cable::Fibre &fibre, const Cable::Closure &c, int band)
{
    const Cable::Cell *found = matrixCell(job, fibre.fiber, band, c.number);
    const Cable::Cell cell = found ? *found : Cable::Cell();
    const double atM = c.distanceM * fibre.lengthScale;
    return {atM,
            {Cable::closureTitle(c),
             Sor::decimal(atM / 1000, 4),
             lossText(cell.lossAbDb, cell.howAb == Cable::How::Measured),
             lossText(cell.lossBaDb, cell.howBa == Cable::How::Measured),
             lossText(cell.lossDb, measuredOnPoints(cell)),
             Sor::optionalDecimal(cell.reflectanceDb, 2),
             cell.lossAbDb && cell.lossBaDb ? QStringLiteral("ambas")
             : cell.lossAbDb                ? QStringLiteral("só A")
             : cell.lossBaDb                ? QStringLiteral("só B")
                                            : QStringLiteral("nenhuma"),
             closureVerdict(job, fibre, c, cell, band)},
            cell.verdict};
}

// The span's other events: its own (not at any closure) and its end.
QVector<FibreRow>
spanEventRows(const Cable::Job &job, const Cable::Fibre &fibre, const std::optional<double> &nm)
{
    QVector<FibreRow> rows;
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
    return rows;
}

// Every closure of the matrix, the instruments' and the cords' connectors and the span's other
// events, in order along A's axis.
QVector<FibreRow> fibreRows(const Cable::Job &job, const Cable::Fibre &fibre, int band)
{
    QVector<FibreRow> rows;
    for (const Cable::Closure &c : job.closures)
        rows.append(closureRow(job, fibre, c, band));
    const auto connector = [&](const std::optional<Cable::Connector> &c, const QString &seen) {
        if (c)
            rows.append(connectorRow(Cable::placeName(job, fibre, c->distanceM), *c, seen));
    };
    connector(fibre.frontA, QStringLiteral("só A"));
    connector(fibre.frontB, QStringLiteral("só B"));
    connector(fibre.launchConnector, QStringLiteral("—"));
    connector(fibre.receiveConnector, QStringLiteral("—"));
    rows += spanEventRows(job, fibre, band);
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
    if (!traces.problem.isEmpty()) {
        if (map)
            linkMapBlock(page, *map);
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
    const std::optional<double> end
        = traces.twoWay.fiberLengthM ? traces.twoWay.fiberLengthM : traces.twoWay.lengthAM;
    plotUnderMap(page, map, series, TracePlot::viewToEnd(series, end));
}

void fibreTableHeader(Page &page)
{
    page.rowPoints = BodyPoints;
    page.row(twoEndedColumns(), FibreTableWidths, true);
}

void fibreTableRow(Page &page, const FibreRow &row)
{
    QVector<QColor> colours(FibreTableWidths.size());
    colours.last() = judgedColour(row.verdict);
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

void fibrePages(const std::function<Page()> &nextPage,
                const Cable::Job &job,
                const Options &options,
                const QVector<FibreLayout> &layouts)
{
    // Each fibre's two files read again to be drawn, then let go. The job's figures, numbers
    // and verdicts are what they show.
    for (const FibreLayout &layout : layouts) {
        const Cable::FibreTraces traces = Cable::fibreTraces(job, layout.fibre->fiber, layout.band);
        const std::optional<LinkMerge::Link> map
            = layout.mapHeight > 0 ? linkOfFiles(layout.aShots, options.limits) : std::nullopt;
        for (int p = 0; p < layout.pages.size(); ++p) {
            Page page = nextPage();
            fibrePage(page, job, layout, traces, map, p);
        }
    }
}

} // namespace Report::CablePages
