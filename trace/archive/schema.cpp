#include "archive/schema.h"

#include "archive/columns.h"

namespace Archive {

namespace {

// What each version did besides adding its columns: the first made the table of meta data, the
// places and the indexes of finds; the second filled in the band of each trace it found.
const QVector<QStringList> &besidesColumns()
{
    static const QVector<QStringList> steps{
        {QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)"),
         QStringLiteral("CREATE TABLE places (host TEXT, path TEXT, hash TEXT, size BIGINT, "
                        "modified BIGINT, gone INTEGER DEFAULT 0, seen_at TEXT, "
                        "PRIMARY KEY (host, path))"),
         QStringLiteral("CREATE INDEX traces_fiber ON traces (fiber, cable)"),
         QStringLiteral("CREATE INDEX traces_cable ON traces (cable)"),
         QStringLiteral("CREATE INDEX places_hash ON places (hash)")},
        {QStringLiteral("UPDATE traces SET band = CASE "
                        "WHEN wavelength_nm BETWEEN 1280 AND 1340 THEN 1310 "
                        "WHEN wavelength_nm BETWEEN 1353 AND 1413 THEN 1383 "
                        "WHEN wavelength_nm BETWEEN 1460 AND 1520 THEN 1490 "
                        "WHEN wavelength_nm BETWEEN 1520 AND 1580 THEN 1550 "
                        "WHEN wavelength_nm BETWEEN 1595 AND 1655 THEN 1625 "
                        "ELSE CAST(ROUND(wavelength_nm) AS INTEGER) END"),
         QStringLiteral("CREATE INDEX traces_band ON traces (fiber, band)")}};
    return steps;
}

} // namespace

QStringList schemaStep(int version)
{
    QStringList sql;
    QStringList added;
    for (const Column &c : columns()) {
        if (!c.sql.isEmpty() && c.since == version)
            added << c.sql + QLatin1Char(' ') + c.type;
    }
    if (version == 1) {
        sql << QStringLiteral("CREATE TABLE traces (%1)").arg(added.join(QStringLiteral(", ")));
    } else {
        for (const QString &column : added)
            sql << QStringLiteral("ALTER TABLE traces ADD COLUMN %1").arg(column);
    }
    return sql + besidesColumns().value(version - 1);
}

} // namespace Archive
