#pragma once

#include <QString>

namespace Acceptance {

// A fibre's ids as a file gives them: "CB-12 / 07" with both, "cabo CB-12" or "fibra 07" with
// one, "sem identificação" with none; an id the file lacks is never shown as an empty side.
QString idsText(const QString &cableId, const QString &fiberId);

} // namespace Acceptance
