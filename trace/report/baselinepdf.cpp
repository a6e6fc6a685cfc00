#include "report/pdfpage.h"

#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "traceplot/plotpainter.h"

#include <QFileInfo>

#include <utility>

namespace Report {

using namespace Pdf;

namespace {

constexpr int DifferenceHeight = 300;

// "Comprimento 12,3456 km → 12,3460 km   Perda total … → …   ORL … → …", "—" for a value not
// measured.
QString beforeAfterLine(const Baseline::Comparison &c)
{
    const auto value = [](const std::optional<double> &v, int decimals, const QString &unit) {
        return v ? Sor::decimal(*v, decimals) + unit : QStringLiteral("—");
    };
    const auto km = [](const std::optional<double> &m) {
        return m ? std::optional<double>(*m / 1000) : std::nullopt;
    };
    return QStringLiteral("Comprimento %1 → %2   Perda total %3 → %4   ORL %5 → %6")
        .arg(value(km(c.lengthBeforeM), 4, QStringLiteral(" km")),
             value(km(c.lengthAfterM), 4, QStringLiteral(" km")),
             value(c.lossBeforeDb, 3, QStringLiteral(" dB")),
             value(c.lossAfterDb, 3, QStringLiteral(" dB")),
             value(c.orlBeforeDb, 2, QStringLiteral(" dB")),
             value(c.orlAfterDb, 2, QStringLiteral(" dB")));
}

// Both traces on the baseline's axis, the now trace's levels met to the baseline's; the view
// they are shown in, for the difference under them.
TracePlot::View bothTraces(Page &page, const ComparedPair &pair, const Baseline::Comparison &c)
{
    Sor::Trace moved = pair.now->trace;
    for (double &x : moved.distanceM)
        x += c.shiftM;
    for (double &level : moved.levelDb)
        level += c.difference.levelShiftDb;
    const QVector<TracePlot::Series> both{
        {&pair.base->trace,
         QStringLiteral("%1 (base)").arg(QFileInfo(pair.basePath).fileName()),
         TracePlot::seriesColour(0)},
        {&moved,
         QStringLiteral("%1 (agora)").arg(QFileInfo(pair.nowPath).fileName()),
         TracePlot::seriesColour(1),
         true}};
    const std::optional<double> end = c.lengthBeforeM && c.lengthAfterM
                                          ? std::max(*c.lengthBeforeM, *c.lengthAfterM)
                                          : c.lengthBeforeM;
    const TracePlot::View view = TracePlot::viewToEnd(both, end);
    page.font(BodyPoints);
    if (!page.dry)
        TracePlot::paint(
            page.painter,
            QRect(page.area.left(), page.area.top() + page.y, page.area.width(), PlotHeight - 80),
            both,
            view);
    page.y += PlotHeight - 80;
    return view;
}

// The difference of the points (now − base) over the same distances, its levels within ±5 dB.
void differencePlot(Page &page, const Baseline::Comparison &c, const TracePlot::View &over)
{
    Sor::Trace difference;
    difference.distanceM = c.difference.distanceM;
    difference.levelDb = c.difference.deltaDb;
    const QVector<TracePlot::Series> delta{
        {&difference, QStringLiteral("diferença (agora − base), dB"), QColor(0x60, 0x60, 0x60)}};
    TracePlot::View view = TracePlot::fitLevels(delta, {over.x0, over.x1, -1, 1});
    view.y0 = std::max(view.y0, -5.0);
    view.y1 = std::min(view.y1, 5.0);
    if (!page.dry)
        TracePlot::paint(
            page.painter,
            QRect(page.area.left(), page.area.top() + page.y, page.area.width(), DifferenceHeight),
            delta,
            view);
    page.y += DifferenceHeight + Row / 2;
}

void verdictLine(Page &page, const Baseline::Comparison &c)
{
    page.line(
        QStringLiteral("Veredito: %1")
            .arg(c.samePoints ? QStringLiteral("sem mudança (os pontos são iguais)") : c.verdict()),
        11,
        true,
        c.changed() ? FailColour : PassColour);
}

// Its two files, with "(continuação)" and the verdict again on the pages after the first.
void pairHeading(Page &page, const ComparedPair &pair, bool continued)
{
    const QString title
        = QStringLiteral("%1 desde %2")
              .arg(QFileInfo(pair.nowPath).fileName(), QFileInfo(pair.basePath).fileName());
    page.line(continued ? QStringLiteral("%1 (continuação)").arg(title) : title, 13, true);
    if (continued && pair.comparison)
        verdictLine(page, *pair.comparison);
}

// A pair's pages: what changed, both traces overlaid, the difference of their points below, each
// change in words, carried on to the pages that follow where they do not fit; how many pages.
int comparisonPages(const std::function<Page()> &nextPage, const ComparedPair &pair)
{
    Flow flow(nextPage, [&pair](Page &p, bool continued) { pairHeading(p, pair, continued); });
    const QString problem = pair.comparison ? pair.comparison->problem : pair.problem;
    if (!problem.isEmpty() || !pair.comparison) {
        flow.put([&](Page &p) {
            p.line(QStringLiteral("Não comparados: %1").arg(problem), 10, true, FailColour);
        });
        return flow.pages();
    }
    const Baseline::Comparison &c = *pair.comparison;
    flow.put([&](Page &p) { verdictLine(p, c); });
    for (const QString &note : c.notes)
        flow.put([&](Page &p) { p.line(QStringLiteral("Medidos de outro modo: %1").arg(note)); });
    if (c.samePoints)
        return flow.pages();
    flow.put([&](Page &p) {
        p.line(beforeAfterLine(c));
        p.y += Row / 2;
    });
    flow.put([&](Page &p) {
        const TracePlot::View view = bothTraces(p, pair, c);
        differencePlot(p, c, view);
    });
    flow.table(
        int(c.changes.size()),
        [](Page &) {},
        [&c](Page &p, int i) { p.row({c.changes.at(i).text}, {1.0}, false, {FailColour}); });
    return flow.pages();
}

} // namespace

bool writeBaselinePdf(int pairs,
                      const std::function<ComparedPair(int)> &pairAt,
                      const Options &options,
                      const QString &path,
                      QString *error)
{
    // Each pair laid out first, dry, for the pages' count in every footer; then drawn and let go
    // in turn.
    QVector<ComparedPair> taken(pairs);
    const auto count = [&](const Page &probe) {
        int total = 0;
        for (int i = 0; i < pairs; ++i) {
            taken[i] = pairAt(i);
            total += comparisonPages([&probe] { return probe; }, taken.at(i));
        }
        return std::max(1, total);
    };
    return writeDocument(
        path,
        options,
        count,
        [&](const std::function<Page()> &nextPage) {
            if (pairs == 0) {
                Page page = nextPage();
                page.line(QStringLiteral("Nenhum par de traços a comparar."), 11, true);
            }
            for (int i = 0; i < pairs; ++i)
                comparisonPages(nextPage, std::exchange(taken[i], {}));
        },
        error);
}

} // namespace Report
