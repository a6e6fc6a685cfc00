#pragma once

#include <QString>
#include <QStringList>

// Whether a file the program is about to write would destroy a measurement: a report, a plot
// or a CSV written over one of the traces it was made from, or over any trace at all.
namespace Sor {

// Why output must not be written, in the user's words; empty when it may be.
QString outputProblem(const QString &output, const QStringList &inputs);

} // namespace Sor
