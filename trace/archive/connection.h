#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

// The archive's database, an SQLite file or a PostgreSQL server, and the few words in which the
// two differ.
namespace Archive {

bool isServerAddress(const QString &address);
// Opens the database the address names (as Archive::open takes it) under this connection's
// name; false with why, in Portuguese.
bool connectDatabase(const QString &connection,
                     const QString &address,
                     bool mayCreate,
                     QString *why);

// A transaction in either's words: SQLite's takes the file for writing at once (BEGIN
// IMMEDIATE), so that a second writer waits rather than fails at its commit.
class Transaction
{
public:
    Transaction(const QSqlDatabase &db, bool server);
    bool begin();
    bool commit();
    void rollback();
    // Why the last of these failed.
    QSqlError lastError() const;

private:
    QSqlDatabase db;
    bool server = false;
    QSqlQuery control;
};

} // namespace Archive
