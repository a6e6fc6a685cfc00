#include "editpatterns.h"

#include "sor/sortrace.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>

bool fillPattern(const QString &pattern, const PatternFields &f, QString &result, QString &error)
{
    static const QRegularExpression field(QStringLiteral("\\{([a-z]+)(?::([0-9]+))?\\}"));
    result.clear();
    int from = 0;
    auto it = field.globalMatch(pattern);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        result += pattern.mid(from, m.capturedStart() - from);
        from = m.capturedEnd();
        const QString key = m.captured(1);
        const QString width = m.captured(2);
        if (!width.isEmpty() && key != QLatin1String("n")) {
            error = QStringLiteral("só {n} aceita largura: %1").arg(m.captured(0));
            return false;
        }
        if (key == QLatin1String("n")) {
            result += QString::number(f.n).rightJustified(
                width.toInt(),
                width.startsWith(QLatin1Char('0')) ? QLatin1Char('0') : QLatin1Char(' '));
        } else if (key == QLatin1String("name")) {
            result += f.name;
        } else if (key == QLatin1String("wavelength")) {
            if (f.wavelength.isEmpty()) {
                error = QStringLiteral("o comprimento de onda não é conhecido");
                return false;
            }
            result += f.wavelength;
        } else if (key == QLatin1String("cable")) {
            result += f.cable;
        } else if (key == QLatin1String("fiber")) {
            result += f.fiber;
        } else {
            error = QStringLiteral("campo desconhecido no padrão: %1").arg(m.captured(0));
            return false;
        }
    }
    result += pattern.mid(from);
    return true;
}

PatternFields patternFields(const Sor::Trace &t, const QString &path, int n)
{
    PatternFields f;
    f.n = n;
    f.name = QFileInfo(path).completeBaseName();
    if (t.wavelengthNm)
        f.wavelength = QString::number(std::lround(*t.wavelengthNm));
    else if (t.general && t.general->nominalWavelengthNm > 0)
        f.wavelength = QString::number(t.general->nominalWavelengthNm);
    if (t.general) {
        f.cable = t.general->cableId;
        f.fiber = t.general->fiberId;
    }
    return f;
}
