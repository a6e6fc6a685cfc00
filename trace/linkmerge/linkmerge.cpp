#include "linkmerge/linkmerge.h"

#include "linkmerge/bandmerge.h"
#include "linkmerge/disagreements.h"
#include "linkmerge/linkjudge.h"
#include "linkmerge/splitters.h"
#include "sor/linesums.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace LinkMerge {

namespace {

double resolution(const Link &link, int shot)
{
    return link.shots.at(shot).resolutionM;
}

// The shots' bands, shortest first.
QVector<int> bandsOf(const QVector<Shot> &shots)
{
    QVector<int> bands;
    for (const Shot &s : shots) {
        if (!bands.contains(s.band))
            bands.append(s.band);
    }
    std::sort(bands.begin(), bands.end());
    return bands;
}

// Each band's shots made one, in the link's band order.
QVector<BandLink> mergeBands(Link &link)
{
    QVector<BandLink> bandLinks;
    for (int band : std::as_const(link.bands)) {
        QVector<int> members;
        for (int i = 0; i < link.shots.size(); ++i) {
            if (link.shots.at(i).band == band)
                members.append(i);
        }
        bandLinks.append(mergeBand(link.shots, members, band, link.disagreements, link.notes));
    }
    return bandLinks;
}

// A band's event joined to the link's: its value, its readings, and its place where its shot
// is finer than the one that placed it so far.
void joinBand(const Link &link, LinkEvent &into, int band, const Candidate &c)
{
    if (into.placeShot < 0 || resolution(link, c.shot) < resolution(link, into.placeShot)) {
        into.placeShot = c.shot;
        into.distanceM = c.distanceM;
    }
    into.reflective = into.reflective || c.reflective;
    into.bands.append({band, c.shot, c.lossDb, c.reflectanceDb});
    into.readings += c.readings;
}

// The launch: the bands' front connectors, placed by the finest shot. Where no shot sees one
// (a trace that starts past it), the span's start all the same, so that the first section has
// its length and attenuation.
void placeLaunch(Link &link, const QVector<BandLink> &bandLinks)
{
    LinkEvent launch;
    launch.kind = Kind::Launch;
    for (const BandLink &b : bandLinks) {
        if (b.launch)
            joinBand(link, launch, b.band, *b.launch);
    }
    if (launch.placeShot < 0 && !link.shots.isEmpty()) {
        launch.placeShot = 0;
        for (int i = 1; i < link.shots.size(); ++i) {
            if (resolution(link, i) < resolution(link, launch.placeShot))
                launch.placeShot = i;
        }
        launch.distanceM = 0;
    }
    if (launch.placeShot >= 0)
        link.events.append(launch);
}

// The bands laid side by side: one event where their places lie within the coarser
// resolution (and that band has no value there yet), placed by the finest shot.
void laySideBySide(Link &link, const QVector<BandLink> &bandLinks)
{
    struct Item
    {
        int band;
        Candidate c;
    };
    QVector<Item> items;
    for (const BandLink &b : bandLinks) {
        for (const Candidate &c : b.events)
            items.append({b.band, c});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item &x, const Item &y) {
        return x.c.distanceM < y.c.distanceM;
    });
    for (const Item &item : std::as_const(items)) {
        LinkEvent *into = nullptr;
        if (!link.events.isEmpty() && link.events.last().kind != Kind::Launch) {
            LinkEvent &last = link.events.last();
            const double tol
                = std::max(resolution(link, last.placeShot), resolution(link, item.c.shot));
            if (std::abs(last.distanceM - item.c.distanceM) <= tol && !last.valueAt(item.band))
                into = &last;
        }
        if (!into) {
            link.events.append(LinkEvent());
            into = &link.events.last();
        }
        joinBand(link, *into, item.band, item.c);
    }
}

// The end: the bands' ends, placed by the finest shot that reaches it; nothing lies past it.
// Bands whose ends lie apart disagree.
void placeEnd(Link &link, const QVector<BandLink> &bandLinks)
{
    LinkEvent end;
    end.kind = Kind::End;
    for (const BandLink &b : bandLinks) {
        if (!b.end)
            continue;
        if (end.placeShot >= 0) {
            if (const std::optional<Disagreement> d = endsApart(link.shots, end, b.band, *b.end))
                link.disagreements.append(*d);
        }
        joinBand(link, end, b.band, *b.end);
    }
    if (end.placeShot < 0) {
        link.notes << QStringLiteral("nenhum traço achou o fim da fibra");
        return;
    }
    while (!link.events.isEmpty() && link.events.last().kind != Kind::Launch
           && link.events.last().distanceM >= end.distanceM)
        link.events.removeLast();
    link.events.append(end);
    link.endM = end.distanceM;
    link.endShot = end.placeShot;
}

// Each band's total loss and ORL, from the shot that gave its end.
QVector<BandTotal> totalsOf(const Link &link, const QVector<BandLink> &bandLinks)
{
    QVector<BandTotal> totals;
    for (const BandLink &b : bandLinks) {
        BandTotal t;
        t.band = b.band;
        t.shot = b.endShot;
        if (b.endShot >= 0) {
            t.totalLossDb = link.shots.at(b.endShot).analysis.totalLossDb;
            t.orlDb = link.shots.at(b.endShot).analysis.orlDb;
        }
        totals.append(t);
    }
    return totals;
}

// What each event is: a splitter only where its loss fits a ratio and the backscatter goes on
// past it; a big step that is none says why.
void nameKinds(Link &link)
{
    for (auto it = link.events.begin(); it != link.events.end(); ++it) {
        LinkEvent &e = *it;
        if (e.kind == Kind::Launch || e.kind == Kind::End)
            continue;
        const std::optional<double> loss = e.lossDb();
        const auto next = std::next(it);
        const bool goesOn = next != link.events.end()
                            && next->distanceM - e.distanceM > resolution(link, e.placeShot);
        const std::optional<SplitterRatio> ratio = loss ? splitterFor(*loss) : std::nullopt;
        if (ratio && goesOn) {
            e.kind = Kind::Splitter;
            e.splitterWays = ratio->ways;
        } else if (loss && *loss < 0) {
            e.kind = Kind::Gainer;
        } else {
            e.kind = e.reflective ? Kind::Connector : Kind::Splice;
        }
        if (loss && !ratio)
            e.whyNoSplitter = whyNoSplitter(*loss);
        else if (ratio && !goesOn)
            e.whyNoSplitter = QStringLiteral("%1 dB: nenhum retroespalhamento depois dele")
                                  .arg(Sor::decimal(*loss, 3));
    }
}

// A band's finest shot that reaches past toM; -1 where none does.
int finestReaching(const QVector<Shot> &shots, int band, double toM)
{
    int best = -1;
    for (int si = 0; si < shots.size(); ++si) {
        const Shot &shot = shots.at(si);
        if (shot.band != band || shot.reachM < toM)
            continue;
        if (best < 0 || shot.resolutionM < shots.at(best).resolutionM)
            best = si;
    }
    return best;
}

// A shot's attenuation (dB/km) over a section, clear of both events' smear (a resolution each
// side) and of its dead zone; none where too little of the section is left, or fewer than 16
// levels lie there.
std::optional<double> attenuationOver(const Shot &shot, const Section &s)
{
    const double from = std::max(s.fromM + 2 * shot.resolutionM, shot.deadZoneM);
    const double to = s.toM - shot.resolutionM;
    if (!(to > from))
        return std::nullopt;
    const Sor::LineSums sums = Sor::levelSums(*shot.trace, from, to, from);
    if (sums.n < 16 || sums.determinant() <= 0)
        return std::nullopt;
    return -sums.slope();
}

// The sections between consecutive events, each band's attenuation from its finest shot that
// reaches past them.
QVector<Section> sectionsOf(const Link &link)
{
    QVector<Section> sections;
    for (int i = 0; i + 1 < link.events.size(); ++i) {
        Section s;
        s.fromM = link.events.at(i).distanceM;
        s.toM = link.events.at(i + 1).distanceM;
        for (int band : link.bands) {
            const int best = finestReaching(link.shots, band, s.toM);
            s.attenuationDbKm.append(
                {band, best >= 0 ? attenuationOver(link.shots.at(best), s) : std::nullopt});
            s.shots.append(best);
        }
        sections.append(s);
    }
    return sections;
}

} // namespace

const BandValue *LinkEvent::valueAt(int band) const
{
    for (const BandValue &v : bands) {
        if (v.band == band)
            return &v;
    }
    return nullptr;
}

std::optional<double> LinkEvent::lossDb() const
{
    for (const BandValue &v : bands) {
        if (v.lossDb)
            return v.lossDb;
    }
    return std::nullopt;
}

std::optional<double> LinkEvent::reflectanceDb() const
{
    std::optional<double> worst;
    for (const BandValue &v : bands) {
        if (v.reflectanceDb && (!worst || *v.reflectanceDb > *worst))
            worst = v.reflectanceDb;
    }
    return worst;
}

int Link::splitters() const
{
    return int(std::count_if(
        events.begin(), events.end(), [](const LinkEvent &e) { return e.kind == Kind::Splitter; }));
}

int Link::bends() const
{
    return int(
        std::count_if(events.begin(), events.end(), [](const LinkEvent &e) { return e.bend; }));
}

Link mergeShots(const QVector<Shot> &shots,
                const Acceptance::Limits &limits,
                double bendThresholdDb,
                bool sameFibre)
{
    Link link;
    link.shots = shots;
    link.bendThresholdDb = bendThresholdDb;
    if (const QString doubt = sameFibre ? QString() : oneFibreDoubt(shots); !doubt.isEmpty())
        link.notes << doubt;
    link.bands = bandsOf(shots);
    const QVector<BandLink> bandLinks = mergeBands(link);
    placeLaunch(link, bandLinks);
    laySideBySide(link, bandLinks);
    placeEnd(link, bandLinks);
    link.totals = totalsOf(link, bandLinks);
    nameKinds(link);
    link.sections = sectionsOf(link);
    markBends(link);
    judgeLink(link, limits);
    return link;
}

QString kindText(const LinkEvent &event)
{
    switch (event.kind) {
    case Kind::Launch:
        return QStringLiteral("lançamento");
    case Kind::Connector:
        return QStringLiteral("conector");
    case Kind::Splice:
        return QStringLiteral("emenda");
    case Kind::Gainer:
        return QStringLiteral("ganho");
    case Kind::Splitter:
        return QStringLiteral("divisor ") + ratioText(event.splitterWays.value_or(0));
    case Kind::End:
        return QStringLiteral("fim");
    }
    return QString();
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Launch:
        return QStringLiteral("launch");
    case Kind::Connector:
        return QStringLiteral("connector");
    case Kind::Splice:
        return QStringLiteral("splice");
    case Kind::Gainer:
        return QStringLiteral("gainer");
    case Kind::Splitter:
        return QStringLiteral("splitter");
    case Kind::End:
        return QStringLiteral("end");
    }
    return QString();
}

} // namespace LinkMerge
