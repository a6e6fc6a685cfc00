#pragma once

#include "linkmerge/linkmerge.h"
#include "report/report.h"
#include "traceplot/plotpainter.h"

#include <QPainter>

#include <functional>
#include <optional>

// What the report's documents share: their pages (a painter, the printable area and how far
// down it is filled, lines and table rows), the header and footer every page carries, and the
// pages both draw.
namespace Report::Pdf {

constexpr int Resolution = 150; // dots per inch of the page's coordinates
constexpr int Row = 24;         // a table row, in those dots
constexpr double BodyPoints = 8.5;
constexpr int PlotHeight = 540;
constexpr int MapPlotHeight = 330;    // the plot's least height under a link map
constexpr double SummaryPoints = 7.5; // a summary's ten columns across a portrait page
// Every page's header (logo, company, title) and footer (date, page number), in dots.
constexpr int HeaderHeight = 72;
constexpr int FooterHeight = 44;
inline const QColor FailColour(0xc0, 0x00, 0x00);
inline const QColor PassColour(0x00, 0x70, 0x20);
inline const QColor AttentionColour(0xa0, 0x60, 0x00);

// A value measured on the points is marked in its cell and explained under the table, in type
// as large as the table's.
inline const QString MeasuredHereNote
    = QStringLiteral("* medido aqui: o arquivo não traz o evento; a perda foi medida nos pontos do "
                     "traço");

// The colour a verdict is written in.
QColor verdictColour(Acceptance::Verdict v);
// The colour of a judged value's cell: none (the row's) where no limit was checked.
QColor judgedColour(Acceptance::Verdict v);

// The smallest size a cell's text is set in: a longer text is cut in its middle (a file name
// keeps its start and its end) and written whole after its table.
constexpr double ReadablePoints = 6.5;

// Writes down a page: the painter, the printable area and how far down it is filled.
struct Page
{
    QPainter &painter;
    QRect area;
    int y = 0;
    double rowPoints = BodyPoints; // a table's body text
    QStringList cut;               // the cells cut to fit, whole, until written out
    // Lays out without drawing: how far down the page its lines and rows would go.
    bool dry = false;

    void font(double points, bool bold = false);
    // A line of text; long lines wrap at words.
    void line(const QString &text,
              double points = BodyPoints,
              bool bold = false,
              const QColor &colour = Qt::black);
    // One table row; widths are shares of the area's width; a cell may have its own colour.
    void row(const QStringList &cells,
             const QVector<double> &widths,
             bool bold = false,
             const QVector<QColor> &colours = {});
    // One cell's text in its box, set smaller or cut where it is too wide for it.
    void cell(const QString &text, const QRectF &box, bool bold);
    // The whole texts of the cells cut since the last call, after their table.
    void cutTexts();
};

// The most a continued page's heading takes: a block laid out to fit a page fits under it.
constexpr int ContinuedHeadingHeight = 4 * Row;

// A subject's pages (a trace's, a fibre's, a pair's), filled block after block (a line, a table
// row, a plot): a block that does not fit under the ones before it starts a new page, headed as
// carrying on the subject's page.
class Flow
{
public:
    // `heading` heads each page, told whether it carries on the one before.
    Flow(const std::function<Page()> &nextPage,
         const std::function<void(Page &, bool continued)> &heading);

    Page &page() { return *current; }
    int pages() const { return count; }

    // Room for a block that `draw` would lay out; false where it had to start a new page.
    bool room(const std::function<void(Page &)> &draw);
    // The block laid out on the page where it fits.
    void put(const std::function<void(Page &)> &draw);
    // A table's rows, its heading again at the top of each page it carries on to; the heading
    // never alone at a page's foot, and the cells cut to fit written whole where it ends.
    void table(int rows,
               const std::function<void(Page &)> &heading,
               const std::function<void(Page &, int)> &row);

private:
    std::function<Page()> nextPage;
    std::function<void(Page &, bool)> heading;
    std::optional<Page> current;
    int count = 1;
    int start = -1; // how far down a continued page's heading goes
};

// The plot's height under a link map of that height: the map takes its height from the
// plot's, down to a readable plot.
int plotHeightUnder(int mapHeight);
// The link map's block, where there is one, then the traces' plot under it, across the page.
void plotUnderMap(Page &page,
                  const std::optional<LinkMerge::Link> &map,
                  const QVector<TracePlot::Series> &series,
                  const TracePlot::View &view);

// The limits by their readable name, and each one's value.
void limitsLines(Page &page, const Acceptance::Limits &limits);
// "24 fibras: 23 APROVADO, 1 REPROVADO, 0 INDETERMINADO".
void countsLine(Page &page,
                const QString &what,
                const QVector<Acceptance::Verdict> &verdicts,
                int attention = 0);
// Where the technician and the client sign, with their names where given.
void signatureLines(Page &page, const Options &o);

// A PDF of `total` A4 pages, each with the report's header and footer; `draw` fills them,
// asking for each new page. The writer and its painter finish before the file is committed.
bool writeDocument(const QString &path,
                   const Options &options,
                   int total,
                   const std::function<void(const std::function<Page()> &)> &draw,
                   QString *error);
// The same, where the pages' number depends on how their text falls: `count` lays them out on a
// dry page of the document's own painter first.
bool writeDocument(const QString &path,
                   const Options &options,
                   const std::function<int(const Page &)> &count,
                   const std::function<void(const std::function<Page()> &)> &draw,
                   QString *error);

// The columns of a fibre's events measured from both ends, in the cable's and the report's
// pages alike.
QStringList twoEndedColumns();

// A fibre measured from both ends: its two traces, its averaged events and its verdict; the
// link map of its A end's shots where one is given. What does not fit on its page carries on to
// the pages that follow, each from `nextPage`; how many pages it took.
int twoEndedPages(const std::function<Page()> &nextPage,
                  const QVector<Entry> &entries,
                  const Fibre &f,
                  const Options &o,
                  const std::optional<LinkMerge::Link> &map = std::nullopt);

// The link of an entry's fibre from its end: the readable shots with its cable, fibre and place
// merged (itself alone where they are no one fibre's); none for a trace that cannot be read.
std::optional<LinkMerge::Link>
linkOf(const QVector<Entry> &entries, int index, const Acceptance::Limits &limits);
// The link of the files of one fibre's end (a cable's, at every band); none where they cannot
// be read or are no one fibre's.
std::optional<LinkMerge::Link> linkOfFiles(const QStringList &paths,
                                           const Acceptance::Limits &limits);
// The same for every entry, each fibre's shots merged once.
QVector<std::optional<LinkMerge::Link>> linksOf(const QVector<Entry> &entries,
                                                const Acceptance::Limits &limits);
// The height (in the page's dots) that the link map's block takes at a width, on a page of that
// height (where given, the map is set smaller so that it fits on one with a plot under it).
int linkMapHeight(const LinkMerge::Link &link, int width, int pageHeight = 0);
// The link map as a block of its own: a caption naming its shots, the symbols, and how many
// disagreements the shots have; set smaller where it would not fit on the page with a plot.
void linkMapBlock(Page &page, const LinkMerge::Link &link);

} // namespace Report::Pdf
