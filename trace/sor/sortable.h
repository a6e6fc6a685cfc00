#pragma once

#include "sor/sorcsv.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

// A table's columns written once, from which its CSV, its JSON and its text table are made
// (and, where the program writes one, its workbook sheet): each column says its names and how a
// row's value is written, so that a column added is added to every rendering at once.
namespace Sor {

// One value of a row as its type says it: a text, or a number that may be missing (written to
// its decimals in the CSV and a table, whole in JSON; empty in the CSV and null in JSON where it
// is missing).
struct TableCell
{
    enum class Kind { Text, Number };
    Kind kind = Kind::Text;
    QString text;
    std::optional<double> number;
    int decimals = 0;
    // A text JSON says as null when it is empty (a reason only some rows have).
    bool nullWhenEmpty = false;
    // What a table people read says for a missing number, where the column says more than the
    // table's own word for it (a bend not checked); none: the table's word.
    std::optional<QString> none;
    // A value past what is allowed: a workbook colours it.
    bool alarm = false;

    static TableCell ofText(const QString &text);
    static TableCell ofOptionalText(const QString &text);
    static TableCell ofNumber(const std::optional<double> &number, int decimals);
    static TableCell ofWhole(const std::optional<int> &number);

    QString csv(const CsvStyle &style) const;
    QJsonValue json() const;
    // In a table: a number with its decimal comma, or the word for none.
    QString shown(const QString &tableNone) const;
};

template<typename Row>
struct TableColumn
{
    QString jsonKey;      // its name in JSON; empty: not in JSON
    QString csvKey;       // its name in the CSV's heading; empty: not in the CSV
    QString heading;      // its heading in the text table; empty: not in it
    QString sheetHeading; // its heading in the workbook; empty: not in it
    int width = 0;        // its width in the text table; negative: aligned left
    int gap = 1;          // the spaces before it in the text table
    std::function<TableCell(const Row &)> cell;
};

template<typename Row>
using TableColumns = QVector<TableColumn<Row>>;

// A column named alike in JSON and the CSV.
template<typename Row>
TableColumn<Row> keyedColumn(const QString &key, std::function<TableCell(const Row &)> cell)
{
    TableColumn<Row> c;
    c.jsonKey = c.csvKey = key;
    c.cell = std::move(cell);
    return c;
}

template<typename Row>
QString csvHeading(const TableColumns<Row> &columns, const CsvStyle &style)
{
    QStringList fields;
    for (const TableColumn<Row> &c : columns) {
        if (!c.csvKey.isEmpty())
            fields << c.csvKey;
    }
    return csvRow(fields, style);
}

template<typename Row>
QString csvLine(const TableColumns<Row> &columns, const Row &row, const CsvStyle &style)
{
    QStringList fields;
    for (const TableColumn<Row> &c : columns) {
        if (!c.csvKey.isEmpty())
            fields << c.cell(row).csv(style);
    }
    return csvRow(fields, style);
}

// The row's columns added to `object`, which holds what no column says (lists, objects).
template<typename Row>
QJsonObject jsonObject(const TableColumns<Row> &columns, const Row &row, QJsonObject object = {})
{
    for (const TableColumn<Row> &c : columns) {
        if (!c.jsonKey.isEmpty())
            object.insert(c.jsonKey, c.cell(row).json());
    }
    return object;
}

// A field of a text table padded to its width (negative: aligned left).
QString textField(const QString &text, int width);

// A line of the text table: each column that has a heading, at its width, after its gap.
template<typename Row>
QString textLine(const TableColumns<Row> &columns,
                 const std::function<QString(const TableColumn<Row> &)> &field)
{
    QString line;
    bool first = true;
    for (const TableColumn<Row> &c : columns) {
        if (c.heading.isEmpty())
            continue;
        if (!first)
            line += QString(c.gap, QLatin1Char(' '));
        line += textField(field(c), c.width);
        first = false;
    }
    return line;
}

template<typename Row>
QString textHeading(const TableColumns<Row> &columns)
{
    return textLine<Row>(columns, [](const TableColumn<Row> &c) { return c.heading; });
}

template<typename Row>
QString textLine(const TableColumns<Row> &columns, const Row &row, const QString &none)
{
    return textLine<Row>(columns,
                         [&](const TableColumn<Row> &c) { return c.cell(row).shown(none); });
}

} // namespace Sor
