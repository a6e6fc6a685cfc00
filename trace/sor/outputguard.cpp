#include "sor/outputguard.h"

#include <QFileInfo>

namespace Sor {

QString outputProblem(const QString &output, const QStringList &inputs)
{
    const QFileInfo out(output);
    if (out.suffix().compare(QLatin1String("sor"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("%1 é um traço (.sor): nada é gravado sobre um traço").arg(output);
    // Only a file that exists can be one of the inputs; links and relative names lead to it.
    const QString target = out.exists() ? out.canonicalFilePath() : out.absoluteFilePath();
    for (const QString &input : inputs) {
        const QFileInfo in(input);
        const QString source = in.exists() ? in.canonicalFilePath() : in.absoluteFilePath();
        if (source == target)
            return QStringLiteral("%1 é um dos traços de entrada: nada é gravado sobre ele")
                .arg(output);
    }
    return QString();
}

} // namespace Sor
