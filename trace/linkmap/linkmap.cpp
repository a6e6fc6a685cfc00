#include "linkmap/linkmap.h"

#include "linkmerge/splitters.h"
#include "sor/sortext.h"
#include "traceplot/picturefile.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace LinkMap {

namespace {

Symbol symbolOf(const LinkMerge::LinkEvent &e)
{
    switch (e.kind) {
    case LinkMerge::Kind::Launch:
        return Symbol::Launch;
    case LinkMerge::Kind::End:
        return Symbol::End;
    case LinkMerge::Kind::Splitter:
        return Symbol::Splitter;
    case LinkMerge::Kind::Gainer:
        return e.bend ? Symbol::Bend : Symbol::Gainer;
    case LinkMerge::Kind::Connector:
        return e.bend ? Symbol::Bend : Symbol::Connector;
    case LinkMerge::Kind::Splice:
        return e.bend ? Symbol::Bend : Symbol::Splice;
    }
    return Symbol::Splice;
}

QString labelOf(const LinkMerge::LinkEvent &e)
{
    if (e.bend)
        return QStringLiteral("curvatura");
    if (e.kind == LinkMerge::Kind::Splitter)
        return LinkMerge::ratioText(e.splitterWays.value_or(0));
    return LinkMerge::kindText(e);
}

// The symbol, `size` across, centred on c.
void drawSymbol(QPainter &p, Symbol s, const QPointF &c, double size, const QColor &colour)
{
    const double r = size / 2;
    p.setPen(QPen(colour.darker(140), std::max(1.0, size / 14)));
    p.setBrush(colour);
    switch (s) {
    case Symbol::Launch: {
        const QPointF tri[] = {c + QPointF(-r, -r), c + QPointF(r, 0), c + QPointF(-r, r)};
        p.drawPolygon(tri, 3);
        break;
    }
    case Symbol::Connector:
        p.drawRect(QRectF(c.x() - r * 0.8, c.y() - r * 0.8, 1.6 * r, 1.6 * r));
        break;
    case Symbol::Splice:
        p.drawEllipse(c, r * 0.6, r * 0.6);
        break;
    case Symbol::Splitter: {
        // One fibre in, several out: a fan opening to the right.
        const QPointF fan[] = {c + QPointF(-r, 0), c + QPointF(r, -r), c + QPointF(r, r)};
        p.drawPolygon(fan, 3);
        break;
    }
    case Symbol::Bend: {
        QPainterPath arc;
        arc.moveTo(c + QPointF(-r, r * 0.6));
        arc.quadTo(c + QPointF(0, -1.6 * r), c + QPointF(r, r * 0.6));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, std::max(2.0, size / 5), Qt::SolidLine, Qt::RoundCap));
        p.drawPath(arc);
        break;
    }
    case Symbol::Gainer: {
        const QPointF up[]
            = {c + QPointF(0, -r), c + QPointF(r, r * 0.8), c + QPointF(-r, r * 0.8)};
        p.drawPolygon(up, 3);
        break;
    }
    case Symbol::End:
        p.drawRect(QRectF(c.x() - r * 0.25, c.y() - r, r * 0.5, 2 * r));
        p.setPen(QPen(colour, std::max(1.0, size / 14)));
        for (int k = 0; k < 3; ++k) {
            const double y = c.y() - r + (k + 0.5) * (2 * r / 3);
            p.drawLine(QPointF(c.x() + r * 0.25, y), QPointF(c.x() + r * 0.75, y - r * 0.4));
        }
        break;
    }
}

QString verdictShort(Acceptance::Verdict v)
{
    switch (v) {
    case Acceptance::Verdict::Fail:
        return QStringLiteral("REPROVADO");
    case Acceptance::Verdict::Unknown:
        return QStringLiteral("INDETERM.");
    default:
        return QString();
    }
}

} // namespace

QColor verdictColour(Acceptance::Verdict verdict)
{
    switch (verdict) {
    case Acceptance::Verdict::Pass:
        return QColor(0x2e, 0x7d, 0x32);
    case Acceptance::Verdict::Fail:
        return QColor(0xc6, 0x28, 0x28);
    case Acceptance::Verdict::Unknown:
        return QColor(0xe6, 0x8a, 0x00);
    case Acceptance::Verdict::NoLimits:
        return QColor(0x54, 0x6e, 0x7a);
    }
    return Qt::gray;
}

Map mapOf(const LinkMerge::Link &link)
{
    Map m;
    for (int i = 0; i < link.events.size(); ++i) {
        const LinkMerge::LinkEvent &e = link.events.at(i);
        Item item;
        item.symbol = symbolOf(e);
        item.event = i + 1;
        item.distanceM = e.distanceM;
        item.label = labelOf(e);
        item.distance = Sor::decimal(e.distanceM / 1000.0, 3) + QStringLiteral(" km");
        QStringList losses;
        if (e.kind != LinkMerge::Kind::Launch && e.kind != LinkMerge::Kind::End) {
            for (int band : link.bands) {
                const LinkMerge::BandValue *v = e.valueAt(band);
                losses << (v && v->lossDb ? Sor::decimal(*v->lossDb, 2) : QStringLiteral("—"));
            }
            item.loss = losses.join(QStringLiteral(" | ")) + QStringLiteral(" dB");
        } else if (e.kind == LinkMerge::Kind::Launch) {
            // Which band each value below is, in the order they are written.
            QStringList bands;
            for (int band : link.bands)
                bands << QString::number(band);
            item.loss = bands.join(QStringLiteral(" | ")) + QStringLiteral(" nm");
        }
        item.verdict = e.verdict;
        m.items.append(item);
    }
    for (const LinkMerge::Section &s : link.sections) {
        Gap g;
        g.length = Sor::decimal((s.toM - s.fromM) / 1000.0, 3) + QStringLiteral(" km");
        QStringList att;
        bool any = false;
        for (const auto &a : s.attenuationDbKm) {
            att << (a.second ? Sor::decimal(*a.second, 2) : QStringLiteral("—"));
            any = any || a.second;
        }
        if (any)
            g.attenuation = att.join(QStringLiteral(" | ")) + QStringLiteral(" dB/km");
        m.gaps.append(g);
    }
    return m;
}

double Layout::x(int i) const
{
    const int column = perRow > 0 ? i % perRow : 0;
    return (column + 0.5) * cellUnits;
}

double Layout::y(int i) const
{
    const int row = perRow > 0 ? i / perRow : 0;
    return row * RowUnits + 3.2;
}

Layout layout(int count, double widthUnits)
{
    Layout l;
    if (count <= 0)
        return l;
    l.perRow = std::clamp(int(widthUnits / MinCellUnits), 1, count);
    if (l.perRow < count) {
        // A row that goes on in the next keeps half a cell more at its end, for the words of
        // the section that crosses to the next row.
        l.perRow = std::clamp(int((widthUnits - MinCellUnits / 2) / MinCellUnits), 1, count);
    }
    l.rows = (count + l.perRow - 1) / l.perRow;
    // Rows share the symbols evenly, so the last row is not a lone straggler.
    l.perRow = (count + l.rows - 1) / l.rows;
    l.cellUnits = l.rows > 1 ? widthUnits / (l.perRow + 0.5) : widthUnits / l.perRow;
    return l;
}

double heightFor(const Map &map, double width, double unit)
{
    const Layout l = layout(map.items.size(), width / unit);
    return std::max(1, l.rows) * RowUnits * unit;
}

namespace {

// The centre of item i's symbol in an area laid out so.
QPointF centreOf(const QRectF &area, const Layout &l, double unit, int i)
{
    return QPointF(area.left() + l.x(i) * unit, area.top() + l.y(i) * unit);
}

// What a map is painted with: the painter, its area, the layout of its symbols in it and the
// fonts of their words.
struct Canvas
{
    QPainter &p;
    QRectF area;
    double unit = 0;
    Layout layout;
    QFont font;  // a symbol's name
    QFont small; // the rest of its words, and the sections'

    // The centre of item i's symbol.
    QPointF at(int i) const { return centreOf(area, layout, unit, i); }
    double cellWidth() const { return layout.cellUnits * unit; }
};

// The fibre from item i to the next, with the section's length above and attenuation below.
void paintSection(const Canvas &c, const Map &map, int i)
{
    QPainter &p = c.p;
    const QPointF a = c.at(i);
    const QPointF b = c.at(i + 1);
    const int perRow = c.layout.perRow;
    const bool sameRow = perRow > 0 && i / perRow == (i + 1) / perRow;
    p.setPen(QPen(QColor(0x44, 0x44, 0x44), std::max(1.0, c.unit / 8)));
    const double r = c.unit * 1.1;
    if (sameRow) {
        p.drawLine(a + QPointF(r, 0), b - QPointF(r, 0));
    } else {
        // The row goes on in the next: a line to the edge and one from it.
        p.drawLine(a + QPointF(r, 0), QPointF(c.area.right() - c.unit * 0.3, a.y()));
        p.drawLine(QPointF(c.area.left() + c.unit * 0.3, b.y()), b - QPointF(r, 0));
    }
    if (i >= map.gaps.size())
        return;
    const Gap &g = map.gaps.at(i);
    p.setFont(c.small);
    p.setPen(QColor(0x33, 0x33, 0x33));
    const double w = c.cellWidth();
    const double midX = sameRow ? (a.x() + b.x()) / 2 : a.x() + w / 2;
    p.drawText(
        QRectF(midX - w / 2, a.y() - 2.9 * c.unit, w, c.unit * 1.1), Qt::AlignCenter, g.length);
    p.drawText(QRectF(midX - w / 2, a.y() - 1.9 * c.unit, w, c.unit * 1.1),
               Qt::AlignCenter,
               g.attenuation);
}

// Item i's symbol in its verdict's colour, framed where it is the selected one, with its name,
// distance, loss and (where it is not good) verdict under it.
void paintItem(const Canvas &c, const Item &item, int i, bool selected)
{
    QPainter &p = c.p;
    const QPointF centre = c.at(i);
    const QColor colour = verdictColour(item.verdict);
    const double w = c.cellWidth();
    if (selected) {
        p.setPen(QPen(QColor(0x19, 0x76, 0xd2), std::max(1.5, c.unit / 6)));
        p.setBrush(QColor(0x19, 0x76, 0xd2, 40));
        p.drawRoundedRect(QRectF(centre.x() - w / 2 + 1,
                                 centre.y() - 1.5 * c.unit,
                                 w - 2,
                                 RowUnits * c.unit - 2.1 * c.unit),
                          c.unit / 3,
                          c.unit / 3);
    }
    drawSymbol(p, item.symbol, centre, c.unit * 1.8, colour);
    const QStringList lines{item.label, item.distance, item.loss, verdictShort(item.verdict)};
    double y = centre.y() + 1.2 * c.unit;
    for (int k = 0; k < lines.size(); ++k) {
        if (lines.at(k).isEmpty())
            continue;
        const bool strong = k == 0 || k == 3;
        QFont f = k == 0 ? c.font : c.small;
        f.setBold(strong);
        p.setFont(f);
        p.setPen(k == 3 ? colour : QColor(0x20, 0x20, 0x20));
        p.drawText(QRectF(centre.x() - w / 2, y, w, c.unit * 1.1), Qt::AlignCenter, lines.at(k));
        y += c.unit * 1.05;
    }
}

} // namespace

void paint(
    QPainter &p, const QRectF &area, const Map &map, double unit, std::optional<int> selected)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(area);
    Canvas c{p, area, unit, layout(map.items.size(), area.width() / unit), p.font(), QFont()};
    c.font.setBold(false);
    c.font.setPixelSize(std::max(1, int(std::lround(unit * 0.9))));
    c.small = c.font;
    c.small.setPixelSize(std::max(1, int(std::lround(unit * 0.8))));
    for (int i = 0; i + 1 < map.items.size(); ++i)
        paintSection(c, map, i);
    for (int i = 0; i < map.items.size(); ++i)
        paintItem(c, map.items.at(i), i, selected && *selected == i);
    p.restore();
}

std::optional<int> itemAt(const Map &map, const QRectF &area, double unit, const QPointF &point)
{
    const Layout l = layout(map.items.size(), area.width() / unit);
    for (int i = 0; i < map.items.size(); ++i) {
        const QPointF c = centreOf(area, l, unit, i);
        if (std::abs(point.x() - c.x()) <= l.cellUnits * unit / 2 && point.y() >= c.y() - 1.5 * unit
            && point.y() <= c.y() + (RowUnits - 3.2) * unit)
            return i;
    }
    return std::nullopt;
}

bool save(const QString &path, const Map &map, int width, QString *error)
{
    const double unit = 14;
    const QSize size(width, int(std::ceil(heightFor(map, width, unit))));
    const auto draw = [&map, unit](QPainter &painter, const QRect &area) {
        painter.fillRect(area, Qt::white);
        paint(painter, QRectF(area), map, unit);
    };
    return TracePlot::savePicture(path, size, QStringLiteral("Mapa do enlace"), draw, error);
}

} // namespace LinkMap
