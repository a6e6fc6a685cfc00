#pragma once

#include "archive/entry.h"
#include "sor/sorcsv.h"

#include <QJsonValue>
#include <QSqlQuery>
#include <QStringList>
#include <QVector>

#include <functional>

// The archive's columns, each written once: how it is stored, read back, and said in JSON, in
// CSV and in the tables of the terminal and the viewer. A new column is one more line in
// columns().
namespace Archive {

// How a table says a record: the terminal's dates in UTC, a path's copies counted and a dash
// where there is nothing; the viewer's dates in the user's time.
struct TableStyle
{
    bool localTime = false;
    bool countCopies = true;
    QString none = QStringLiteral("—");
};

struct Column
{
    QString sql;          // its name in the traces table; empty: not stored (said from the places)
    QString type;         // its SQL type, in words both SQLite and PostgreSQL take
    int since = 1;        // the schema version that added it
    QString key;          // its name in JSON and in the CSV's heading
    QString heading;      // its heading in the viewer's table and the terminal's
    QString shortHeading; // the terminal's, where its column there is narrower
    int width = 0;        // its width in the terminal's table; negative: aligned left
    std::function<QVariant(const Entry &)> store;         // none: not stored
    std::function<void(Record &, const QVariant &)> load; // none: stored, never read back
    std::function<QJsonValue(const Record &)> json;       // none: not in JSON
    std::function<QString(const Record &, const Sor::CsvStyle &)> csv; // none: not in CSV
    std::function<QString(const Record &, const TableStyle &)> cell;   // none: in no table
};

// A time as the archive stores it: UTC, ISO, so that its order is the text's.
QString storedTime(const QDateTime &t);

// In the order the CSV and the tables show them (and a new archive's table holds them).
const QVector<Column> &columns();

// Stores an entry: nothing when its trace is there already.
QString insertStatement();
QVector<QVariant> insertValues(const Entry &entry);
// The columns a record is read from, in the order readRecord takes them.
QString selectedColumns();
Record readRecord(const QSqlQuery &query);

} // namespace Archive
