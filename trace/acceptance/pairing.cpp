#include "acceptance/pairing.h"

#include "acceptance/twoway.h"

#include <QFileInfo>

#include <cmath>

namespace Acceptance {

namespace {

bool sameBand(const Sor::Trace &x, const Sor::Trace &y)
{
    return x.wavelengthNm && y.wavelengthNm
           && std::abs(*x.wavelengthNm - *y.wavelengthNm) <= SameBandNm;
}

// Labels that name one fibre: both ids given and equal.
bool sameFibre(const Sor::Trace &x, const Sor::Trace &y)
{
    if (!x.general || !y.general)
        return false;
    const Sor::GeneralParameters &gx = *x.general;
    const Sor::GeneralParameters &gy = *y.general;
    return !gx.cableId.trimmed().isEmpty() && !gx.fiberId.trimmed().isEmpty()
           && gx.cableId.trimmed() == gy.cableId.trimmed()
           && gx.fiberId.trimmed() == gy.fiberId.trimmed();
}

bool swappedEnds(const Sor::GeneralParameters &x, const Sor::GeneralParameters &y)
{
    const QString a = x.locationA.trimmed();
    const QString b = x.locationB.trimmed();
    return !a.isEmpty() && !b.isEmpty() && a != b && a == y.locationB.trimmed()
           && b == y.locationA.trimmed();
}

// Ids that name one fibre as each end calls it ("ELMMIL0001", "MILELM0001"), in one cable (or
// in none named): they say the two ends themselves.
bool namedFromBothEnds(const Sor::Trace &x, const Sor::Trace &y)
{
    return x.general && y.general && x.general->cableId.trimmed() == y.general->cableId.trimmed()
           && namedFromTheOtherEnd(x.general->fiberId.trimmed(), y.general->fiberId.trimmed());
}

bool sameEnds(const Sor::GeneralParameters &x, const Sor::GeneralParameters &y)
{
    return x.locationA.trimmed() == y.locationA.trimmed()
           && x.locationB.trimmed() == y.locationB.trimmed();
}

// The other direction's file name: the first marker replaced by the second at one of its places.
int namedTwin(const QStringList &fileNames,
              int from,
              const QString &markerA,
              const QString &markerB,
              const QVector<bool> &taken)
{
    const QString name = fileNames.at(from);
    for (int at = name.indexOf(markerA); at >= 0; at = name.indexOf(markerA, at + 1)) {
        const QString twin = QString(name).replace(at, markerA.size(), markerB);
        for (int j = 0; j < fileNames.size(); ++j) {
            if (j != from && !taken.at(j) && fileNames.at(j) == twin)
                return j;
        }
    }
    return -1;
}

} // namespace

QVector<Pair> pairDirections(const QVector<const Sor::Trace *> &traces,
                             const QStringList &names,
                             const QStringList &markers)
{
    QVector<Pair> pairs;
    QVector<bool> taken(traces.size(), false);
    for (int i = 0; i < traces.size(); ++i) {
        for (int j = i + 1; j < traces.size() && !taken.at(i); ++j) {
            const Sor::Trace &x = *traces.at(i);
            const Sor::Trace &y = *traces.at(j);
            if (!taken.at(j) && sameBand(x, y)
                && ((sameFibre(x, y) && swappedEnds(*x.general, *y.general))
                    || namedFromBothEnds(x, y))) {
                pairs.append({i, j});
                taken[i] = taken[j] = true;
            }
        }
    }
    if (markers.size() != 2 || markers.at(0).isEmpty() || markers.at(1).isEmpty()
        || markers.at(0) == markers.at(1))
        return pairs;
    QStringList fileNames;
    for (const QString &name : names)
        fileNames << QFileInfo(name).fileName();
    for (int i = 0; i < traces.size() && i < fileNames.size(); ++i) {
        if (taken.at(i))
            continue;
        const int j = namedTwin(fileNames, i, markers.at(0), markers.at(1), taken);
        if (j >= 0) {
            pairs.append({i, j});
            taken[i] = taken[j] = true;
        }
    }
    return pairs;
}

QVector<Pair> pairWavelengths(const QVector<const Sor::Trace *> &traces)
{
    QVector<Pair> pairs;
    for (int i = 0; i < traces.size(); ++i) {
        for (int j = 0; j < traces.size(); ++j) {
            const Sor::Trace &s = *traces.at(i);
            const Sor::Trace &l = *traces.at(j);
            if (i == j || !sameFibre(s, l) || !sameEnds(*s.general, *l.general) || !s.wavelengthNm
                || !l.wavelengthNm)
                continue;
            // 1310 nm against 1550 or 1625 nm: a bend barely shows at the first.
            if (*s.wavelengthNm < 1400 && *l.wavelengthNm > 1500)
                pairs.append({i, j});
        }
    }
    return pairs;
}

} // namespace Acceptance
