#ifdef OTDR_HAVE_XLSX

#include "cable/xlsxcells.h"

namespace Cable::Xlsx {

namespace {

lxw_format *number(lxw_workbook *book, uint32_t colour, bool italic)
{
    lxw_format *f = workbook_add_format(book);
    format_set_num_format(f, "0.000");
    if (colour)
        format_set_bg_color(f, colour);
    if (italic)
        format_set_italic(f);
    return f;
}

Shade shade(lxw_workbook *book, uint32_t colour)
{
    return {number(book, colour, false), number(book, colour, true)};
}

} // namespace

Formats formats(lxw_workbook *book)
{
    Formats f;
    f.header = workbook_add_format(book);
    format_set_bold(f.header);
    f.pass = shade(book, 0xC6EFCE);
    f.fail = shade(book, 0xFFC7CE);
    f.plain = shade(book, 0);
    f.orl = workbook_add_format(book);
    format_set_num_format(f.orl, "0.00");
    f.absent = workbook_add_format(book);
    format_set_font_color(f.absent, 0x808080);
    return f;
}

std::string utf8(const QString &text)
{
    return text.toUtf8().toStdString();
}

void text(lxw_worksheet *sheet, int row, int column, const QString &value, lxw_format *f)
{
    worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column), utf8(value).c_str(), f);
}

void value(lxw_worksheet *sheet,
           int row,
           int column,
           const std::optional<double> &v,
           lxw_format *f,
           int decimals)
{
    if (v)
        worksheet_write_number(sheet,
                               lxw_row_t(row),
                               lxw_col_t(column),
                               QString::number(*v, 'f', decimals).toDouble(),
                               f);
}

void cell(lxw_worksheet *sheet, int row, int column, const Sor::TableCell &cell, const Formats &f)
{
    if (cell.kind == Sor::TableCell::Kind::Text) {
        text(sheet, row, column, cell.text);
    } else if (cell.number) {
        // The formats the workbook has: thousandths (losses, lengths), hundredths (an ORL),
        // whole numbers as they are.
        lxw_format *format = cell.alarm           ? f.fail.given
                             : cell.decimals == 3 ? f.plain.given
                             : cell.decimals == 2 ? f.orl
                                                  : nullptr;
        value(sheet, row, column, cell.number, format, cell.decimals);
    } else if (cell.none) {
        text(sheet, row, column, *cell.none);
    }
}

} // namespace Cable::Xlsx

#endif
