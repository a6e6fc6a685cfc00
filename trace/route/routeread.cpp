#include "route/routeread.h"

#include "sor/sortext.h"

#include <cmath>

namespace Route {

QString cleanName(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control && !c.isSurrogate() && !c.isNonCharacter())
            out += c;
    }
    return out.trimmed();
}

namespace {

// Why the points' distances do not make a route; empty if they do.
QString settle(Route &route, const QStringList &where)
{
    for (int i = 0; i < route.points.size(); ++i) {
        Point &p = route.points[i];
        if (std::isnan(p.routeM)) {
            if (i == 0) {
                p.routeM = 0;
            } else {
                const Point &before = route.points.at(i - 1);
                if (!p.hasCoordinates() || !before.hasCoordinates())
                    return QStringLiteral("%1: sem distância, e sem as coordenadas que a medem "
                                          "desde o ponto anterior")
                        .arg(where.value(i));
                p.routeM = before.routeM + geodesicM(*before.lat, *before.lon, *p.lat, *p.lon);
            }
        }
        if (i > 0 && p.routeM < route.points.at(i - 1).routeM)
            return QStringLiteral("%1: a distância volta (%2 m depois de %3 m)")
                .arg(where.value(i),
                     Sor::decimal(p.routeM, 1),
                     Sor::decimal(route.points.at(i - 1).routeM, 1));
    }
    if (route.line.isEmpty()) {
        for (const Point &p : route.points) {
            if (p.hasCoordinates())
                route.line.append({p.routeM, *p.lat, *p.lon});
        }
    }
    return QString();
}

} // namespace

Read settled(Route route, const QStringList &where)
{
    Read r;
    r.error = settle(route, where);
    if (r.error.isEmpty())
        r.route = route;
    return r;
}

} // namespace Route
