#pragma once

#include <QString>

#include <xlsxwriter.h>

#include <optional>
#include <string>

// The workbook's cell formats and the writing of one cell: text, and a number as the PDF
// prints it.
namespace Cable::Xlsx {

struct Formats
{
    lxw_format *header = nullptr;
    lxw_format *pass = nullptr;
    lxw_format *passMeasured = nullptr;
    lxw_format *fail = nullptr;
    lxw_format *failMeasured = nullptr;
    lxw_format *plain = nullptr;
    lxw_format *plainMeasured = nullptr;
    lxw_format *absent = nullptr;
    lxw_format *orl = nullptr;
};

// Each format once per workbook.
Formats formats(lxw_workbook *book);

std::string utf8(const QString &text);
void text(lxw_worksheet *sheet, int row, int column, const QString &value, lxw_format *f = nullptr);
// A value as the PDF prints it, to its decimals: a spreadsheet never rounds it otherwise
// (0,1455 kept whole would show 0,146 where the PDF prints 0,145).
void value(lxw_worksheet *sheet,
           int row,
           int column,
           const std::optional<double> &v,
           lxw_format *f = nullptr,
           int decimals = 3);

} // namespace Cable::Xlsx
