#pragma once

#include <QStringList>

// How the archive's tables came to be what they are, version by version.
namespace Archive {

// The statements that bring an archive from schema version `version` - 1 to `version`: the
// columns that version added (see columns()), and what else it did.
QStringList schemaStep(int version);

} // namespace Archive
