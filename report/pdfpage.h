#pragma once

#include "report/report.h"

#include <QPainter>

#include <functional>

// What the report's documents share: their pages (a painter, the printable area and how far
// down it is filled, lines and table rows), the header and footer every page carries, and the
// pages both draw.
namespace Report::Pdf {

constexpr int Resolution = 150; // dots per inch of the page's coordinates
constexpr int Row = 24;         // a table row, in those dots
constexpr double BodyPoints = 8.5;
constexpr int PlotHeight = 540;
constexpr double SummaryPoints = 7.5; // a summary's ten columns across a portrait page
// Every page's header (logo, company, title) and footer (date, page number), in dots.
constexpr int HeaderHeight = 72;
constexpr int FooterHeight = 44;
inline const QColor FailColour(0xc0, 0x00, 0x00);
inline const QColor PassColour(0x00, 0x70, 0x20);
inline const QColor AttentionColour(0xa0, 0x60, 0x00);

// The colour a verdict is written in.
QColor verdictColour(Acceptance::Verdict v);

// Writes down a page: the painter, the printable area and how far down it is filled.
// The smallest size a cell's text is set in before it is cut.
constexpr double SmallestPoints = 4.5;

struct Page
{
    QPainter &painter;
    QRect area;
    int y = 0;
    double rowPoints = BodyPoints; // a table's body text

    void font(double points, bool bold = false)
    {
        QFont f = painter.font();
        f.setPointSizeF(points);
        f.setBold(bold);
        // No ligatures: a reader searching for "reflexivo" must find it.
        f.setStyleStrategy(QFont::PreferNoShaping);
        painter.setFont(f);
    }
    void line(const QString &text,
              double points = BodyPoints,
              bool bold = false,
              const QColor &colour = Qt::black)
    {
        font(points, bold);
        painter.setPen(colour);
        // Long lines wrap at words.
        const QRect bounds = painter.fontMetrics().boundingRect(
            QRect(area.left(), area.top() + y, area.width(), area.height()),
            Qt::TextWordWrap,
            text);
        const int height = bounds.height() + 4;
        painter.drawText(QRect(area.left(), area.top() + y, area.width(), height),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                         text);
        y += height;
    }
    // One table row; widths are shares of the area's width; a cell may have its own colour.
    void row(const QStringList &cells,
             const QVector<double> &widths,
             bool bold = false,
             const QVector<QColor> &colours = {})
    {
        // A header row is bold, in a smaller size that keeps it as narrow as its column.
        font(bold ? rowPoints - 1.5 : rowPoints, bold);
        double x = area.left();
        for (int c = 0; c < cells.size() && c < widths.size(); ++c) {
            const double w = widths.at(c) * area.width();
            painter.setPen(c < colours.size() && colours.at(c).isValid() ? colours.at(c)
                                                                         : Qt::black);
            const QRectF cell(x + 2, area.top() + y, w - 4, Row);
            // A text wider than its column is set smaller, down to a size still read on paper,
            // rather than cut: a file name or an id must be whole.
            const QFont kept = painter.font();
            const double wide = painter.fontMetrics().horizontalAdvance(cells.at(c));
            if (wide > w - 4) {
                QFont smaller = kept;
                smaller.setPointSizeF(
                    std::max(SmallestPoints, kept.pointSizeF() * (w - 4) / wide * 0.98));
                painter.setFont(smaller);
            }
            painter.drawText(
                cell,
                Qt::AlignLeft | Qt::AlignVCenter,
                painter.fontMetrics().elidedText(cells.at(c), Qt::ElideRight, int(w - 4)));
            painter.setFont(kept);
            x += w;
        }
        painter.setPen(QColor(0xd0, 0xd0, 0xd0));
        painter.drawLine(area.left(), area.top() + y + Row, area.right(), area.top() + y + Row);
        y += Row;
    }
};

// A PDF of `total` A4 pages, each with the report's header and footer; `draw` fills them,
// asking for each new page. The writer and its painter finish before the file is committed.
bool writeDocument(const QString &path,
                   const Options &options,
                   int total,
                   const std::function<void(const std::function<Page()> &)> &draw,
                   QString *error);

// A fibre measured from both ends: its two traces, its averaged events and its verdict.
void fibrePage(Page &page, const QVector<Entry> &entries, const Fibre &f, const Options &o);

} // namespace Report::Pdf
