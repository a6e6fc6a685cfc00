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

} // namespace

Formats formats(lxw_workbook *book)
{
    Formats f;
    f.header = workbook_add_format(book);
    format_set_bold(f.header);
    f.pass = number(book, 0xC6EFCE, false);
    f.passMeasured = number(book, 0xC6EFCE, true);
    f.fail = number(book, 0xFFC7CE, false);
    f.failMeasured = number(book, 0xFFC7CE, true);
    f.plain = number(book, 0, false);
    f.plainMeasured = number(book, 0, true);
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

} // namespace Cable::Xlsx

#endif
