#include "report/pdfpage.h"

#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "traceplot/plotpainter.h"

#include <QFileInfo>

namespace Report {

using namespace Pdf;

namespace {

constexpr int DifferenceHeight = 300;

// A pair's page: what changed, both traces overlaid, the difference of their points below.
void comparisonPage(Page &page, const ComparedPair &pair)
{
    const QString baseName = QFileInfo(pair.basePath).fileName();
    const QString nowName = QFileInfo(pair.nowPath).fileName();
    page.line(QStringLiteral("%1 desde %2").arg(nowName, baseName), 13, true);
    if (!pair.comparison) {
        page.line(QStringLiteral("Não comparados: %1").arg(pair.problem), 10, true, FailColour);
        return;
    }
    const Sor::Trace &base = pair.base->trace;
    const Baseline::Comparison &c = *pair.comparison;
    if (!c.problem.isEmpty()) {
        page.line(QStringLiteral("Não comparados: %1").arg(c.problem), 10, true, FailColour);
        return;
    }
    const bool changed = c.changed();
    page.line(QStringLiteral("Veredito: %1")
                  .arg(c.samePoints ? QStringLiteral("sem mudança (os pontos "
                                                     "são iguais)")
                                    : c.verdict()),
              11,
              true,
              changed ? FailColour : PassColour);
    for (const QString &note : c.notes)
        page.line(QStringLiteral("Medidos de outro modo: %1").arg(note));
    if (c.samePoints)
        return;
    const auto value = [](const std::optional<double> &v, int decimals, const QString &unit) {
        return v ? Sor::decimal(*v, decimals) + unit : QStringLiteral("—");
    };
    page.line(QStringLiteral("Comprimento %1 → %2   Perda total %3 → %4   ORL %5 → %6")
                  .arg(value(c.lengthBeforeM ? std::optional<double>(*c.lengthBeforeM / 1000)
                                             : std::nullopt,
                             4,
                             QStringLiteral(" km")),
                       value(c.lengthAfterM ? std::optional<double>(*c.lengthAfterM / 1000)
                                            : std::nullopt,
                             4,
                             QStringLiteral(" km")),
                       value(c.lossBeforeDb, 3, QStringLiteral(" dB")),
                       value(c.lossAfterDb, 3, QStringLiteral(" dB")),
                       value(c.orlBeforeDb, 2, QStringLiteral(" dB")),
                       value(c.orlAfterDb, 2, QStringLiteral(" dB"))));
    page.y += Row / 2;
    // Both traces on the baseline's axis, the now trace's levels met to the baseline's.
    Sor::Trace moved = pair.now->trace;
    for (double &x : moved.distanceM)
        x += c.shiftM;
    for (double &level : moved.levelDb)
        level += c.difference.levelShiftDb;
    const QVector<TracePlot::Series> both{
        {&base, QStringLiteral("%1 (base)").arg(baseName), TracePlot::seriesColour(0)},
        {&moved, QStringLiteral("%1 (agora)").arg(nowName), TracePlot::seriesColour(1), true}};
    const std::optional<double> end = c.lengthBeforeM && c.lengthAfterM
                                          ? std::max(*c.lengthBeforeM, *c.lengthAfterM)
                                          : c.lengthBeforeM;
    const TracePlot::View view = TracePlot::viewToEnd(both, end);
    page.font(BodyPoints);
    TracePlot::paint(
        page.painter,
        QRect(page.area.left(), page.area.top() + page.y, page.area.width(), PlotHeight - 80),
        both,
        view);
    page.y += PlotHeight - 80;
    Sor::Trace difference;
    difference.distanceM = c.difference.distanceM;
    difference.levelDb = c.difference.deltaDb;
    const QVector<TracePlot::Series> delta{
        {&difference, QStringLiteral("diferença (agora − base), dB"), QColor(0x60, 0x60, 0x60)}};
    TracePlot::View deltaView = TracePlot::fitLevels(delta, {view.x0, view.x1, -1, 1});
    deltaView.y0 = std::max(deltaView.y0, -5.0);
    deltaView.y1 = std::min(deltaView.y1, 5.0);
    TracePlot::paint(
        page.painter,
        QRect(page.area.left(), page.area.top() + page.y, page.area.width(), DifferenceHeight),
        delta,
        deltaView);
    page.y += DifferenceHeight + Row / 2;
    const int room = page.rowsLeft() - 1;
    for (int i = 0; i < c.changes.size() && i < room; ++i)
        page.row({c.changes.at(i).text}, {1.0}, false, {FailColour});
    if (c.changes.size() > room)
        page.line(QStringLiteral("… e mais %1 mudanças, que não cabem nesta página.")
                      .arg(c.changes.size() - room));
}

} // namespace

bool writeBaselinePdf(int pairs,
                      const std::function<ComparedPair(int)> &pairAt,
                      const Options &options,
                      const QString &path,
                      QString *error)
{
    return writeDocument(
        path,
        options,
        std::max(1, pairs),
        [&](const std::function<Page()> &nextPage) {
            if (pairs == 0) {
                Page page = nextPage();
                page.line(QStringLiteral("Nenhum par de traços a comparar."), 11, true);
            }
            // Each pair compared, drawn and let go in turn.
            for (int i = 0; i < pairs; ++i) {
                const ComparedPair pair = pairAt(i);
                Page page = nextPage();
                comparisonPage(page, pair);
            }
        },
        error);
}

} // namespace Report
