#pragma once

#include "cable/cablejob.h"
#include "sor/sortable.h"

// The cable job's two tables, each column written once: the text table, the CSV, the JSON and
// the workbook are each made from these.
namespace Cable {

// A row per fibre: the text table, the workbook's sheet of fibres and each fibre's JSON.
Sor::TableColumns<Fibre> fibreColumns(bool withBaseline);
// A row per cell of the matrix: the CSV, the JSON's matrix and, against a baseline, the
// workbook's sheet of changes. Its columns read the job's closures: they live no longer than it.
Sor::TableColumns<Cell> cellColumns(const Job &job);
// Whether either end's loss of the cell was measured on the points (the file has no event
// there): every rendering of the matrix marks it so.
bool measuredOnPoints(const Cell &cell);

} // namespace Cable
