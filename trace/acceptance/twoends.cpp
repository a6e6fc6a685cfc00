#include "acceptance/twoway.h"

#include "acceptance/fibreids.h"

#include "sor/sortext.h"

#include <QFileInfo>

#include <cmath>

// One fibre's two ends: the id each end gives it, and why two files are not its two ends.
namespace Acceptance {

namespace {

// How many letters an id starts with: its places' codes, before the fibre's number.
int leadingLetters(const QString &id)
{
    int n = 0;
    while (n < id.size() && id.at(n).isLetter())
        ++n;
    return n;
}

} // namespace

bool namedFromTheOtherEnd(const QString &x, const QString &y)
{
    const int n = leadingLetters(x);
    if (n < 2 || n % 2 != 0 || leadingLetters(y) != n || x.mid(n) != y.mid(n))
        return false;
    const int half = n / 2;
    return x.mid(0, half) == y.mid(half, half) && x.mid(half, half) == y.mid(0, half);
}

QString nameFromTheOtherEnd(const QString &id)
{
    const int n = leadingLetters(id);
    if (n < 2 || n % 2 != 0)
        return QString();
    const QString other = id.mid(n / 2, n / 2) + id.left(n / 2) + id.mid(n);
    return other == id ? QString() : other;
}

QString
idsProblem(const QString &pathA, const Measurement &a, const QString &pathB, const Measurement &b)
{
    const QFileInfo fa(pathA);
    const QFileInfo fb(pathB);
    if (fa.exists() && fb.exists() && fa.canonicalFilePath() == fb.canonicalFilePath())
        return QStringLiteral("%1 foi dado duas vezes").arg(a.name);
    const auto differ = [](const QString &x, const QString &y) {
        return !x.isEmpty() && !y.isEmpty() && x != y && !namedFromTheOtherEnd(x, y);
    };
    if (differ(a.cableId, b.cableId) || differ(a.fiberId, b.fiberId)) {
        return QStringLiteral("são fibras diferentes: %1 em %2, %3 em %4")
            .arg(idsText(a.cableId, a.fiberId), a.name, idsText(b.cableId, b.fiberId), b.name);
    }
    return QString();
}

QString identityProblem(const QString &pathA,
                        const Measurement &a,
                        const QString &pathB,
                        const Measurement &b)
{
    const QString ids = idsProblem(pathA, a, pathB, b);
    if (!ids.isEmpty())
        return ids;
    // Ids that name the fibre from each end prove two ends, whatever places a template kept.
    const bool namedFromBothEnds
        = namedFromTheOtherEnd(a.fiberId, b.fiberId) || namedFromTheOtherEnd(a.cableId, b.cableId);
    if (!namedFromBothEnds && !a.locationA.isEmpty() && a.locationA == b.locationA) {
        return QStringLiteral("as duas medidas partem do mesmo local (%1): %2 e %3")
            .arg(a.locationA, a.name, b.name);
    }
    return QString();
}

QString directionsProblem(const Measurement &a, const Measurement &b)
{
    const std::optional<double> wa
        = a.nominalWavelengthNm ? a.nominalWavelengthNm : a.link.wavelengthNm;
    const std::optional<double> wb
        = b.nominalWavelengthNm ? b.nominalWavelengthNm : b.link.wavelengthNm;
    if (!wa || !wb || std::abs(*wa - *wb) > SameBandNm) {
        return QStringLiteral("os comprimentos de onda diferem: %1 em %2, %3 em %4")
            .arg(wa ? Sor::wavelengthText(*wa) : QStringLiteral("desconhecido"),
                 a.name,
                 wb ? Sor::wavelengthText(*wb) : QStringLiteral("desconhecido"),
                 b.name);
    }
    if (a.pulseNs != b.pulseNs) {
        return QStringLiteral("as larguras de pulso diferem: %1 ns em %2, %3 ns em %4")
            .arg(a.pulseNs)
            .arg(a.name)
            .arg(b.pulseNs)
            .arg(b.name);
    }
    for (const Measurement *m : {&a, &b}) {
        if (!m->link.lengthM || *m->link.lengthM <= 0)
            return QStringLiteral("o fim da fibra não é conhecido em %1").arg(m->name);
    }
    return QString();
}

} // namespace Acceptance
