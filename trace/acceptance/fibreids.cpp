#include "acceptance/fibreids.h"

namespace Acceptance {

QString idsText(const QString &cableId, const QString &fiberId)
{
    if (!cableId.isEmpty() && !fiberId.isEmpty())
        return QStringLiteral("%1 / %2").arg(cableId, fiberId);
    if (!cableId.isEmpty())
        return QStringLiteral("cabo %1").arg(cableId);
    if (!fiberId.isEmpty())
        return QStringLiteral("fibra %1").arg(fiberId);
    return QStringLiteral("sem identificação");
}

} // namespace Acceptance
