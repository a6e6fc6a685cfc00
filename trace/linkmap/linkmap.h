#pragma once

#include "acceptance/verdict.h"
#include "linkmerge/linkmerge.h"

#include <QColor>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QVector>

#include <optional>

class QPainter;

// A link as a row of symbols (launch, connector, splice, splitter with its ratio, bend, gainer,
// end), spaced by order, with each one's distance and loss under it, coloured by its verdict,
// and each section's length and attenuation between them: what a client or a new technician
// reads at a glance. One painter draws it in the viewer, in a PNG or SVG and on a report's page.
namespace LinkMap {

enum class Symbol { Launch, Connector, Splice, Splitter, Bend, Gainer, End };

struct Item
{
    Symbol symbol = Symbol::Splice;
    int event = 0; // the link's event number (from 1)
    double distanceM = 0;
    QString label;    // under the symbol: "1:8", "conector", …
    QString distance; // "3,0120 km"
    QString loss;     // "0,650 dB", or per band "0,65 | 0,71 dB"
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
};

struct Gap
{
    QString length;      // "2,988 km"
    QString attenuation; // "0,35 dB/km"
};

struct Map
{
    QVector<Item> items;
    QVector<Gap> gaps; // gaps[i] lies between items[i] and items[i + 1]
};

// The map of a merged link.
Map mapOf(const LinkMerge::Link &link);

// Where each symbol lies, in units of the text's height: as many to a row as keep each cell at
// least MinCellUnits wide, rows one under the other.
constexpr double MinCellUnits = 7.5;
constexpr double RowUnits = 8.5;
struct Layout
{
    int perRow = 0;
    int rows = 0;
    double cellUnits = 0; // each symbol's cell's width
    // The centre of item i's symbol, in units from the map's top left corner.
    double x(int i) const;
    double y(int i) const;
};
Layout layout(int count, double widthUnits);
// The height (in the painter's units) that a map needs at this width and text height.
double heightFor(const Map &map, double width, double unit);

// Paints the map into `area`, with text `unit` high (in the painter's units); a selected item
// is framed.
void paint(QPainter &painter,
           const QRectF &area,
           const Map &map,
           double unit,
           std::optional<int> selected = std::nullopt);
// The item under a point of the area, if any.
std::optional<int> itemAt(const Map &map, const QRectF &area, double unit, const QPointF &point);

// The map as an SVG or a PNG (by the file's suffix), `width` wide.
bool save(const QString &path, const Map &map, int width, QString *error);

// Green, red, amber, grey: the verdicts' colours.
QColor verdictColour(Acceptance::Verdict verdict);

} // namespace LinkMap
