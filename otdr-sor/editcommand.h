#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QTextStream;

struct EditOptions
{
    // Field ("cable", "fiber", "location-a", "location-b", "operator", "comment") to its value,
    // which may hold patterns: {n}, {n:03}, {name}, {wavelength}, {cable}, {fiber}.
    QMap<QString, QString> values;
    QString output;    // -o: one file
    QString outputDir; // --out-dir
    bool inPlace = false;
    QString rename; // names each output from the same patterns
    bool backup = true;
    bool dryRun = false;
    bool force = false;
};

// otdr-sor edit: every file read, edited and checked before the first is written; then each
// written whole (atomically), stopping at the first that fails. 0: all written (or shown, with
// --dry-run); 1: a write failed, those already written are named; 2: nothing written.
int editFiles(const QStringList &files,
              const EditOptions &options,
              QTextStream &out,
              QTextStream &err);
