#include "linkmap/linkmap.h"
#include "report/pdfpage.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QFileInfo>
#include <QHash>

#include <cmath>

namespace Report::Pdf {

namespace {

// The map's words at a reader's size on paper.
constexpr double MapPoints = 7;

double mapUnit()
{
    return MapPoints * Resolution / 72.0;
}

QString fibreKey(const Sor::Trace &t)
{
    if (!t.general || t.general->fiberId.trimmed().isEmpty())
        return QString();
    return t.general->cableId.trimmed() + QLatin1Char('\n') + t.general->fiberId.trimmed()
           + QLatin1Char('\n') + t.general->locationA.trimmed();
}

} // namespace

std::optional<LinkMerge::Link>
linkOf(const QVector<Entry> &entries, int index, const Acceptance::Limits &limits)
{
    if (index < 0 || index >= entries.size())
        return std::nullopt;
    const Entry &self = entries.at(index);
    if (!self.readable || self.trace.damaged() || self.trace.points() == 0)
        return std::nullopt;
    // The shots of its fibre from its end: the same cable, fibre and place; else itself.
    const QString key = fibreKey(self.trace);
    QVector<LinkMerge::Shot> shots;
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &e = entries.at(i);
        const bool mine = i == index || (!key.isEmpty() && fibreKey(e.trace) == key);
        if (!mine || !e.readable || e.trace.damaged() || e.trace.points() == 0)
            continue;
        shots.append(
            LinkMerge::shotOf(QFileInfo(e.path).fileName(), e.trace, Analysis::analyze(e.trace)));
    }
    if (!LinkMerge::oneFibreProblem(shots, false).isEmpty()) {
        shots = {LinkMerge::shotOf(
            QFileInfo(self.path).fileName(), self.trace, Analysis::analyze(self.trace))};
        if (!LinkMerge::oneFibreProblem(shots, false).isEmpty())
            return std::nullopt;
    }
    return LinkMerge::mergeShots(shots, limits);
}

QVector<std::optional<LinkMerge::Link>> linksOf(const QVector<Entry> &entries,
                                                const Acceptance::Limits &limits)
{
    QVector<std::optional<LinkMerge::Link>> links(entries.size());
    // Each fibre's shots are merged once, its link given to each of them.
    QHash<QString, int> first;
    for (int i = 0; i < entries.size(); ++i) {
        const QString key = fibreKey(entries.at(i).trace);
        const auto seen = first.constFind(key);
        if (!key.isEmpty() && seen != first.constEnd() && links.at(*seen)
            && links.at(*seen)->shots.size() > 1) {
            links[i] = links.at(*seen);
            continue;
        }
        links[i] = linkOf(entries, i, limits);
        if (!key.isEmpty() && !first.contains(key))
            first.insert(key, i);
    }
    return links;
}

std::optional<LinkMerge::Link> linkOfFiles(const QStringList &paths,
                                           const Acceptance::Limits &limits)
{
    QVector<LinkMerge::Shot> shots;
    for (const QString &path : paths) {
        const Sor::Opened opened = Sor::openTrace(path);
        if (!opened.usable() || opened.trace.damaged() || opened.trace.points() == 0)
            continue;
        shots.append(LinkMerge::shotOf(
            QFileInfo(path).fileName(), opened.trace, Analysis::analyze(opened.trace)));
    }
    if (!LinkMerge::oneFibreProblem(shots, false).isEmpty())
        return std::nullopt;
    return LinkMerge::mergeShots(shots, limits);
}

namespace {

// The map's text height: a reader's size, smaller where the map, its caption and the least plot
// under it would not fit on a page `pageHeight` high (none: no page to fit), so that a link of
// many events stays inside its page.
double unitOnPage(const LinkMap::Map &map, int width, int pageHeight)
{
    double unit = mapUnit();
    if (pageHeight <= 0)
        return unit;
    const int room = pageHeight - ContinuedHeadingHeight - MapPlotHeight - 5 * Row;
    while (unit > 1 && LinkMap::heightFor(map, width, unit) > room)
        unit *= 0.95;
    return unit;
}

} // namespace

int linkMapHeight(const LinkMerge::Link &link, int width, int pageHeight)
{
    const LinkMap::Map map = LinkMap::mapOf(link);
    return int(std::ceil(LinkMap::heightFor(map, width, unitOnPage(map, width, pageHeight))))
           + 2 * Row;
}

void linkMapBlock(Page &page, const LinkMerge::Link &link)
{
    QStringList names;
    for (const LinkMerge::Shot &s : link.shots)
        names << s.name;
    page.line(QStringLiteral("Mapa do enlace (eventos achados nos pontos de %1): %2")
                  .arg(names.size() == 1 ? QStringLiteral("1 traço")
                                         : QStringLiteral("%1 traços").arg(names.size()),
                       names.join(QStringLiteral(", "))),
              BodyPoints,
              true);
    const LinkMap::Map map = LinkMap::mapOf(link);
    const double unit = unitOnPage(map, page.area.width(), page.area.height());
    const double height = LinkMap::heightFor(map, page.area.width(), unit);
    const QRectF area(page.area.left(), page.area.top() + page.y, page.area.width(), height);
    if (!page.dry)
        LinkMap::paint(page.painter, area, map, unit);
    page.y += int(std::ceil(height));
    if (!link.disagreements.isEmpty())
        page.line(QStringLiteral("Divergências entre os traços: %1").arg(link.disagreements.size()),
                  BodyPoints,
                  false,
                  AttentionColour);
    page.y += Row / 2;
}

} // namespace Report::Pdf
