#pragma once

#include <QSet>
#include <QString>

// A file name from the instrument made safe to join to a directory on any desktop system:
// never empty, no separator, no "." or "..", no reserved character or device name.
QString safeFileName(const QString &name);

// The name itself, or "stem (2).ext" and so on when the batch already used it
// (compared without letter case, as Windows does). Records the name it returns.
QString uniqueFileName(const QString &name, QSet<QString> &taken);
