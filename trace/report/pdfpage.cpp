#include "report/pdfpage.h"

#include "sor/savefile.h"
#include "traceplot/plotpainter.h"
#include "version/version.h"

#include <QPdfWriter>

namespace Report::Pdf {

QColor verdictColour(Acceptance::Verdict v)
{
    return v == Acceptance::Verdict::Fail       ? FailColour
           : v == Acceptance::Verdict::Pass     ? PassColour
           : v == Acceptance::Verdict::NoLimits ? QColor(0x30, 0x30, 0x30)
                                                : QColor(0x60, 0x60, 0x60);
}

QColor judgedColour(Acceptance::Verdict v)
{
    return v == Acceptance::Verdict::NoLimits ? QColor() : verdictColour(v);
}

void Page::font(double points, bool bold)
{
    QFont f = painter.font();
    f.setPointSizeF(points);
    f.setBold(bold);
    // No ligatures: a reader searching for "reflexivo" must find it.
    f.setStyleStrategy(QFont::PreferNoShaping);
    painter.setFont(f);
}

void Page::line(const QString &text, double points, bool bold, const QColor &colour)
{
    font(points, bold);
    painter.setPen(colour);
    const QRect room(area.left(), area.top() + y, area.width(), area.height());
    int wrap = Qt::TextWordWrap;
    QRect bounds = painter.fontMetrics().boundingRect(room, wrap, text);
    // A word longer than the page's width (a name without spaces) is broken where it must be.
    if (bounds.width() > area.width()) {
        wrap = Qt::TextWrapAnywhere;
        bounds = painter.fontMetrics().boundingRect(room, wrap, text);
    }
    const int height = bounds.height() + 4;
    if (!dry)
        painter.drawText(QRect(area.left(), area.top() + y, area.width(), height),
                         Qt::AlignLeft | Qt::AlignVCenter | wrap,
                         text);
    y += height;
}

namespace {

// A heading row's height: a heading wider than its column takes two lines, and the row the
// height they need, never more than two rows.
int headingHeight(const QFontMetrics &metrics,
                  const QStringList &cells,
                  const QVector<double> &widths,
                  int areaWidth)
{
    int height = Row;
    for (int c = 0; c < cells.size() && c < widths.size(); ++c) {
        const int w = int(widths.at(c) * areaWidth) - 4;
        if (metrics.horizontalAdvance(cells.at(c)) > w)
            height = std::max(
                height,
                metrics.boundingRect(QRect(0, 0, w, 10 * Row), Qt::TextWordWrap, cells.at(c))
                        .height()
                    + 4);
    }
    return std::min(height, 2 * Row);
}

} // namespace

void Page::cell(const QString &whole, const QRectF &box, bool bold)
{
    const double room = box.width();
    const QFont kept = painter.font();
    const double wide = painter.fontMetrics().horizontalAdvance(whole);
    // A heading too wide for its column takes two lines at its own size.
    if (bold && wide > room) {
        const QRect two = painter.fontMetrics().boundingRect(
            QRect(0, 0, int(room), 10 * Row), Qt::TextWordWrap, whole);
        if (two.height() <= box.height() && two.width() <= room) {
            painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, whole);
            return;
        }
    }
    // A text wider than its column is set smaller, down to a size still read on paper; past that
    // it is cut in the middle and written whole after the table.
    QString text = whole;
    if (wide > room) {
        QFont smaller = kept;
        const double least = std::min(ReadablePoints, kept.pointSizeF());
        double points = std::max(least, kept.pointSizeF() * room / wide * 0.98);
        smaller.setPointSizeF(points);
        painter.setFont(smaller);
        // Type falls on whole dots, so a size in proportion may still be too wide: smaller yet,
        // down to the least.
        while (points > least && painter.fontMetrics().horizontalAdvance(text) > room) {
            points = std::max(least, points - 0.25);
            smaller.setPointSizeF(points);
            painter.setFont(smaller);
        }
        if (painter.fontMetrics().horizontalAdvance(text) > room) {
            if (!cut.contains(text))
                cut << text;
            text = painter.fontMetrics().elidedText(text, Qt::ElideMiddle, int(room));
        }
    }
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.setFont(kept);
}

void Page::row(const QStringList &cells,
               const QVector<double> &widths,
               bool bold,
               const QVector<QColor> &colours)
{
    // A header row is bold, in a smaller size that keeps it as narrow as its column.
    font(bold ? rowPoints - 1.5 : rowPoints, bold);
    const int height
        = bold ? headingHeight(painter.fontMetrics(), cells, widths, area.width()) : Row;
    if (dry) {
        y += height;
        return;
    }
    double x = area.left();
    for (int c = 0; c < cells.size() && c < widths.size(); ++c) {
        const double w = widths.at(c) * area.width();
        painter.setPen(c < colours.size() && colours.at(c).isValid() ? colours.at(c) : Qt::black);
        cell(cells.at(c), QRectF(x + 2, area.top() + y, w - 4, height), bold);
        x += w;
    }
    painter.setPen(QColor(0xd0, 0xd0, 0xd0));
    painter.drawLine(area.left(), area.top() + y + height, area.right(), area.top() + y + height);
    y += height;
}

void Page::cutTexts()
{
    if (cut.isEmpty())
        return;
    line(QStringLiteral("Por extenso: %1").arg(cut.join(QStringLiteral("; "))), ReadablePoints + 1);
    cut.clear();
}

Flow::Flow(const std::function<Page()> &nextPage, const std::function<void(Page &, bool)> &heading)
    : nextPage(nextPage)
    , heading(heading)
{
    current.emplace(nextPage());
    heading(*current, false);
}

bool Flow::room(const std::function<void(Page &)> &draw)
{
    Page probe = *current;
    probe.dry = true;
    draw(probe);
    if (probe.y <= current->area.height() || current->y == start)
        return true;
    // The cells cut so far are written whole after their table, on whichever page it ends.
    const QStringList cut = current->cut;
    current.emplace(nextPage());
    current->cut = cut;
    ++count;
    heading(*current, true);
    start = current->y;
    return false;
}

void Flow::put(const std::function<void(Page &)> &draw)
{
    room(draw);
    draw(*current);
}

void Flow::table(int rows,
                 const std::function<void(Page &)> &heading,
                 const std::function<void(Page &, int)> &row)
{
    room([&](Page &p) {
        heading(p);
        if (rows > 0)
            row(p, 0);
    });
    heading(page());
    for (int i = 0; i < rows; ++i) {
        if (!room([&](Page &p) { row(p, i); }))
            heading(page());
        row(page(), i);
    }
    if (!page().cut.isEmpty()) {
        const QStringList cut = page().cut;
        page().cut.clear();
        put([&cut](Page &p) {
            p.cut = cut;
            p.cutTexts();
        });
    }
}

int plotHeightUnder(int mapHeight)
{
    return mapHeight > 0 ? std::max(PlotHeight - mapHeight, MapPlotHeight) : PlotHeight;
}

void plotUnderMap(Page &page,
                  const std::optional<LinkMerge::Link> &map,
                  const QVector<TracePlot::Series> &series,
                  const TracePlot::View &view)
{
    const int height
        = plotHeightUnder(map ? linkMapHeight(*map, page.area.width(), page.area.height()) : 0);
    if (map)
        linkMapBlock(page, *map);
    const QRect plot(page.area.left(), page.area.top() + page.y, page.area.width(), height);
    page.font(BodyPoints);
    if (!page.dry)
        TracePlot::paint(page.painter, plot, series, view);
    page.y += height + Row / 2;
}

void limitsLines(Page &page, const Acceptance::Limits &limits)
{
    page.line(QStringLiteral("Limites: %1")
                  .arg(limits.name.isEmpty() ? QStringLiteral("—")
                                             : Acceptance::presetTitle(limits.name)),
              BodyPoints,
              true);
    QStringList said;
    for (const Acceptance::LimitRow &row : Acceptance::limitRows(limits)) {
        said << (row.wavelengthNm ? QStringLiteral("%1 %2 em %3 nm")
                                        .arg(row.label, row.value)
                                        .arg(*row.wavelengthNm)
                                  : row.label + QLatin1Char(' ') + row.value);
    }
    page.line(said.isEmpty() ? QStringLiteral("nenhum limite verificado")
                             : said.join(QStringLiteral("; ")));
}

void countsLine(Page &page,
                const QString &what,
                const QVector<Acceptance::Verdict> &verdicts,
                int attention)
{
    int counts[4] = {0, 0, 0, 0};
    for (const Acceptance::Verdict v : verdicts)
        ++counts[int(v)];
    QString line = QStringLiteral("%1 %2: %3 APROVADO, %4 REPROVADO, %5 INDETERMINADO")
                       .arg(verdicts.size())
                       .arg(what)
                       .arg(counts[0])
                       .arg(counts[1])
                       .arg(counts[2]);
    if (counts[int(Acceptance::Verdict::NoLimits)] > 0)
        line += QStringLiteral(", %1 SEM LIMITES").arg(counts[int(Acceptance::Verdict::NoLimits)]);
    if (attention > 0)
        line += QStringLiteral(" (%1 APROVADO com ATENÇÃO)").arg(attention);
    page.line(line, 10, true);
}

namespace {

// A name set whole in its box's width: wrapped at words, smaller where it would take more than
// two lines, never below a size still read on paper; the height it took.
int wholeText(QPainter &painter, const QRect &box, const QString &text, double points)
{
    QFont f = painter.font();
    int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    QRect bounds;
    for (;; points = std::max(ReadablePoints, points - 0.25)) {
        f.setPointSizeF(points);
        painter.setFont(f);
        const QFontMetrics metrics = painter.fontMetrics();
        bounds = metrics.boundingRect(QRect(0, 0, box.width(), 100 * Row), flags, text);
        const bool fits
            = bounds.width() <= box.width() && bounds.height() <= 2 * metrics.lineSpacing() + 1;
        if (fits || points <= ReadablePoints)
            break;
    }
    // A word longer than the whole width is broken where it must be.
    if (bounds.width() > box.width()) {
        flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere;
        bounds
            = painter.fontMetrics().boundingRect(QRect(0, 0, box.width(), 100 * Row), flags, text);
    }
    painter.drawText(QRect(box.left(), box.top(), box.width(), bounds.height()), flags, text);
    return bounds.height();
}

// One line of a running head set smaller where it is too long for the page's width, never below
// a readable size; past that it is cut at its end (the first page says it whole).
void headText(QPainter &painter, const QRect &box, int align, const QString &text)
{
    QFont f = painter.font();
    double points = f.pointSizeF();
    while (points > ReadablePoints && painter.fontMetrics().horizontalAdvance(text) > box.width()) {
        points = std::max(ReadablePoints, points - 0.25);
        f.setPointSizeF(points);
        painter.setFont(f);
    }
    painter.drawText(
        box, align, painter.fontMetrics().elidedText(text, Qt::ElideRight, box.width()));
}

} // namespace

void signatureLines(Page &page, const Options &o)
{
    page.y += Row * 2;
    page.painter.setPen(Qt::black);
    const int half = page.area.width() / 2;
    const int lineY = page.area.top() + page.y;
    const QString who[]
        = {o.operatorName.isEmpty() ? QStringLiteral("Técnico responsável")
                                    : QStringLiteral("Técnico responsável: %1").arg(o.operatorName),
           o.client.isEmpty() ? QStringLiteral("Cliente")
                              : QStringLiteral("Cliente: %1").arg(o.client)};
    // A long name takes the lines it needs, and the date goes under it.
    int tallest = Row;
    for (int i = 0; i < 2; ++i) {
        const int left = page.area.left() + i * half + 20;
        page.painter.drawLine(left, lineY, left + half - 80, lineY);
        page.font(BodyPoints);
        const int name = std::max(
            Row,
            wholeText(page.painter, QRect(left, lineY + 4, half - 80, Row), who[i], BodyPoints));
        tallest = std::max(tallest, name);
        page.font(BodyPoints);
        page.painter.drawText(QRect(left, lineY + 4 + name, half - 80, Row),
                              Qt::AlignLeft | Qt::AlignTop,
                              QStringLiteral("Data: ____/____/________"));
    }
    page.y += 3 * Row + tallest - Row;
}

namespace {

// The header and footer of page `number` of `total`, around the area the page's content gets.
void pageFrame(QPainter &painter, const QRect &whole, const Options &o, int number, int total)
{
    painter.save();
    QFont f = painter.font();
    f.setStyleStrategy(QFont::PreferNoShaping);
    f.setPointSizeF(BodyPoints);
    painter.setFont(f);
    painter.setPen(Qt::black);
    int left = whole.left();
    if (!o.logo.isNull()) {
        const QImage logo = o.logo.scaled(QSize(HeaderHeight * 3, HeaderHeight - 12),
                                          Qt::KeepAspectRatio,
                                          Qt::SmoothTransformation);
        painter.drawImage(QPoint(left, whole.top()), logo);
        left += logo.width() + 16;
    }
    const QRect text(left, whole.top(), whole.right() - left, HeaderHeight - 12);
    f.setBold(true);
    painter.setFont(f);
    headText(painter, text, Qt::AlignLeft | Qt::AlignTop, o.company);
    f.setBold(false);
    painter.setFont(f);
    headText(painter, text, Qt::AlignLeft | Qt::AlignBottom, o.title);
    painter.setFont(f);
    painter.setPen(QColor(0x90, 0x90, 0x90));
    painter.drawLine(whole.left(),
                     whole.top() + HeaderHeight - 6,
                     whole.right(),
                     whole.top() + HeaderHeight - 6);
    const int footer = whole.bottom() - FooterHeight + 10;
    painter.drawLine(whole.left(), footer, whole.right(), footer);
    painter.setPen(Qt::black);
    const QRect foot(whole.left(), footer + 4, whole.width(), FooterHeight - 14);
    painter.drawText(foot,
                     Qt::AlignLeft | Qt::AlignVCenter,
                     o.date.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    painter.drawText(foot,
                     Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("página %1 de %2").arg(number).arg(total));
    // The build that wrote the page, for whoever has to account for a number on it.
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.drawText(foot, Qt::AlignHCenter | Qt::AlignVCenter, Version::label());
    painter.restore();
}

} // namespace

bool writeDocument(const QString &path,
                   const Options &options,
                   int total,
                   const std::function<void(const std::function<Page()> &)> &draw,
                   QString *error)
{
    return writeDocument(
        path, options, [total](const Page &) { return total; }, draw, error);
}

bool writeDocument(const QString &path,
                   const Options &options,
                   const std::function<int(const Page &)> &count,
                   const std::function<void(const std::function<Page()> &)> &draw,
                   QString *error)
{
    const QString problem = TracePlot::drawingProblem();
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    return Sor::saveFile(
        path,
        [&](QIODevice &file) {
            QPdfWriter pdf(&file);
            pdf.setPageSize(QPageSize(QPageSize::A4));
            pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
            pdf.setResolution(Resolution);
            pdf.setTitle(options.title);
            pdf.setCreator(Version::label());
            QPainter painter(&pdf);
            const QRect whole(QPoint(0, 0), pdf.pageLayout().paintRectPixels(Resolution).size());
            const QRect area = whole.adjusted(0, HeaderHeight, 0, -FooterHeight);
            Page probe{painter, area, 0, BodyPoints, {}, true};
            const int total = count(probe);
            int number = 0;
            draw([&] {
                if (number > 0)
                    pdf.newPage();
                pageFrame(painter, whole, options, ++number, total);
                return Page{painter, area, 0, BodyPoints, {}};
            });
            return true;
        },
        error);
}

QStringList twoEndedColumns()
{
    return {QStringLiteral("Nº"),
            QStringLiteral("km de A"),
            QStringLiteral("A→B (dB)"),
            QStringLiteral("B→A (dB)"),
            QStringLiteral("Média (dB)"),
            QStringLiteral("Refl. (dB)"),
            QStringLiteral("Visto de"),
            QStringLiteral("Veredito")};
}

} // namespace Report::Pdf
