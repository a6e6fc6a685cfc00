#pragma once

#include "linkmerge/linkmerge.h"
#include "sor/sorcsv.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

class QTextStream;

// The merged link as people and programs read it: a table in Portuguese, JSON, CSV rows.
namespace LinkMerge {

// The table: the shots, each event with its place, kind, each band's loss and the shot it came
// from, the sections, the totals, the disagreements and notes, and the verdict.
void printLink(const Link &link, QTextStream &out);
// Every event with its source shot, splitters with their ratio, the disagreements.
QJsonObject toJson(const Link &link);
// One row per event and band: the header first.
QStringList csvLines(const Link &link, const Sor::CsvStyle &style = Sor::CsvStyle());
// "1550_20ns.sor (20 ns)"
QString sourceText(const Link &link, int shot);

} // namespace LinkMerge
