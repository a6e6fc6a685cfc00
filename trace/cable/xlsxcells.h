#pragma once

#include "sor/sortable.h"

#include <QString>

#include <xlsxwriter.h>

#include <optional>
#include <string>

// The workbook's cell formats and the writing of one cell: text, and a number as the PDF
// prints it.
namespace Cable::Xlsx {

// A loss's format in one colour: upright where the file gives it, in italics where it was
// measured on the points.
struct Shade
{
    lxw_format *given = nullptr;
    lxw_format *measured = nullptr;

    lxw_format *of(bool measuredOnPoints) const { return measuredOnPoints ? measured : given; }
};

struct Formats
{
    lxw_format *header = nullptr;
    Shade pass;
    Shade fail;
    Shade plain;
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
// A cell of a table: a number in the format of its decimals (red where it is past what is
// allowed), nothing where it is missing unless the cell has its own word for that.
void cell(lxw_worksheet *sheet, int row, int column, const Sor::TableCell &cell, const Formats &f);

// A table's sheet: its columns' workbook headings in the first row, that row and the first
// column frozen.
template<typename Row>
lxw_worksheet *tableSheet(lxw_workbook *book,
                          const char *name,
                          const Sor::TableColumns<Row> &columns,
                          const Formats &f)
{
    lxw_worksheet *sheet = workbook_add_worksheet(book, name);
    int column = 0;
    for (const Sor::TableColumn<Row> &c : columns) {
        if (!c.sheetHeading.isEmpty())
            text(sheet, 0, column++, c.sheetHeading, f.header);
    }
    worksheet_freeze_panes(sheet, 1, 1);
    return sheet;
}

template<typename Row>
void tableRow(lxw_worksheet *sheet,
              int row,
              const Sor::TableColumns<Row> &columns,
              const Row &value,
              const Formats &f)
{
    int column = 0;
    for (const Sor::TableColumn<Row> &c : columns) {
        if (!c.sheetHeading.isEmpty())
            cell(sheet, row, column++, c.cell(value), f);
    }
}

} // namespace Cable::Xlsx
