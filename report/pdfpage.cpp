#include "report/pdfpage.h"

#include "sor/savefile.h"

#include <QPdfWriter>

namespace Report::Pdf {

QColor verdictColour(Acceptance::Verdict v)
{
    return v == Acceptance::Verdict::Fail       ? FailColour
           : v == Acceptance::Verdict::Pass     ? PassColour
           : v == Acceptance::Verdict::NoLimits ? QColor(0x30, 0x30, 0x30)
                                                : QColor(0x60, 0x60, 0x60);
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
    painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, o.company);
    f.setBold(false);
    painter.setFont(f);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom, o.title);
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
    painter.restore();
}

} // namespace

bool writeDocument(const QString &path,
                   const Options &options,
                   int total,
                   const std::function<void(const std::function<Page()> &)> &draw,
                   QString *error)
{
    return Sor::saveFile(
        path,
        [&](QIODevice &file) {
            QPdfWriter pdf(&file);
            pdf.setPageSize(QPageSize(QPageSize::A4));
            pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
            pdf.setResolution(Resolution);
            pdf.setTitle(options.title);
            pdf.setCreator(QStringLiteral("otdr-sor"));
            QPainter painter(&pdf);
            const QRect whole(QPoint(0, 0), pdf.pageLayout().paintRectPixels(Resolution).size());
            const QRect area = whole.adjusted(0, HeaderHeight, 0, -FooterHeight);
            int number = 0;
            draw([&] {
                if (number > 0)
                    pdf.newPage();
                pageFrame(painter, whole, options, ++number, total);
                return Page{painter, area};
            });
            return true;
        },
        error);
}

} // namespace Report::Pdf
