#include "route/decimalmark.h"
#include "route/route.h"
#include "route/routeread.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <numeric>

// A route as Google Earth saves it: a line and named placemarks, each with its kind and loop in
// ExtendedData or in its description, placed along the line.
namespace Route {

namespace {

struct Placemark
{
    QString name;
    QString kind;
    QString slack;
    QString distance;
    QString description;
    QVector<Vertex> coordinates; // route distance not yet known
    bool line = false;
    bool badCoordinates = false;
    bool position = false; // a place this program wrote (an event, an end): no route point
};

// A KML's number: a comma or a point as the decimal mark.
std::optional<double> kmlNumber(const QString &text, bool &ok)
{
    return number(text, text.contains(QLatin1Char('.')) ? Mark::Point : Mark::Comma, ok);
}

// A KML's "lon,lat[,alt]" tuples; `bad` when one is no place on the globe.
QVector<Vertex> coordinatesOf(const QString &text, bool &bad)
{
    QVector<Vertex> out;
    for (const QString &tuple :
         text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        const QStringList parts = tuple.split(QLatin1Char(','));
        if (parts.size() < 2)
            continue;
        bool okLon = false;
        bool okLat = false;
        const double lon = parts.at(0).toDouble(&okLon);
        const double lat = parts.at(1).toDouble(&okLat);
        if (okLon && okLat && std::abs(lat) <= 90 && std::abs(lon) <= 180)
            out.append({0, lat, lon});
        else
            bad = true;
    }
    return out;
}

// "tipo: emenda", "reserva_m = 20" in a description, where ExtendedData has none.
QString fromDescription(const QString &description, const QString &key)
{
    const QRegularExpression pattern(
        QStringLiteral("\\b%1\\s*[:=]\\s*([^;<\\n]+)").arg(QRegularExpression::escape(key)),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(description);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

// One ExtendedData value into the placemark, by the name of its Data.
void keepValue(Placemark &mark, const QString &dataName, const QString &value)
{
    if (dataName == QLatin1String("tipo"))
        mark.kind = value;
    else if (dataName == QLatin1String("reserva_m"))
        mark.slack = value;
    else if (dataName == QLatin1String("distancia_m"))
        mark.distance = value;
    else if (dataName == QLatin1String("otdr_m"))
        mark.position = true;
}

// What an element within a placemark says of it; `dataName` carries a Data's name to its value.
void readElement(QXmlStreamReader &xml, Placemark &mark, QString &dataName)
{
    const QStringView name = xml.name();
    if (name == QLatin1String("name") && mark.name.isEmpty())
        mark.name = xml.readElementText().trimmed();
    else if (name == QLatin1String("description"))
        mark.description = xml.readElementText(QXmlStreamReader::IncludeChildElements);
    else if (name == QLatin1String("Data"))
        dataName = xml.attributes().value(QStringLiteral("name")).toString().toLower();
    else if (name == QLatin1String("value"))
        keepValue(mark, dataName, xml.readElementText().trimmed());
    else if (name == QLatin1String("LineString"))
        mark.line = true;
    else if (name == QLatin1String("coordinates"))
        mark.coordinates = coordinatesOf(xml.readElementText(), mark.badCoordinates);
}

// The file's placemarks in its order; why not where the XML does not parse.
QString readPlacemarks(const QByteArray &bytes, const QString &path, QVector<Placemark> &marks)
{
    QXmlStreamReader xml(bytes);
    bool inside = false;
    QString dataName;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("Placemark")) {
            marks.append(Placemark());
            inside = true;
        } else if (xml.isStartElement() && inside) {
            readElement(xml, marks.last(), dataName);
        } else if (xml.isEndElement() && xml.name() == QLatin1String("Placemark")) {
            inside = false;
        }
    }
    if (xml.hasError())
        return QStringLiteral("%1, linha %2: o KML não se lê (%3)")
            .arg(path)
            .arg(xml.lineNumber())
            .arg(xml.errorString());
    return QString();
}

// The first line of two places or more, measured along itself; none without one.
QVector<Vertex> measuredLine(const QVector<Placemark> &marks)
{
    for (const Placemark &m : marks) {
        if (m.line && m.coordinates.size() >= 2) {
            QVector<Vertex> line = m.coordinates;
            for (int i = 1; i < line.size(); ++i) {
                const Vertex &a = line.at(i - 1);
                Vertex &b = line[i];
                b.routeM = a.routeM + geodesicM(a.lat, a.lon, b.lat, b.lon);
            }
            return line;
        }
    }
    return {};
}

// A place's route distance on the line: that of the nearest point of the nearest segment.
double alongLine(const QVector<Vertex> &line, double lat, double lon)
{
    double routeM = std::nan("");
    double best = 1e300;
    for (int i = 1; i < line.size(); ++i) {
        const Vertex &a = line.at(i - 1);
        const Vertex &b = line.at(i);
        const double k = std::cos(a.lat * M_PI / 180);
        const double dx = (b.lon - a.lon) * k;
        const double dy = b.lat - a.lat;
        const double px = (lon - a.lon) * k;
        const double py = lat - a.lat;
        const double len2 = dx * dx + dy * dy;
        const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0;
        const double off = std::hypot(px - t * dx, py - t * dy);
        if (off < best) {
            best = off;
            routeM = a.routeM + t * (b.routeM - a.routeM);
        }
    }
    return routeM;
}

// A placemark's point, at the distance it gives or else where it lies along the line; why not
// where its kind or a number is wrong.
QString pointOf(const Placemark &m, const QVector<Vertex> &line, const QString &at, Point &p)
{
    const QString kindText
        = m.kind.isEmpty() ? fromDescription(m.description, QStringLiteral("tipo")) : m.kind;
    const std::optional<Kind> kind = kindOf(kindText);
    if (!kind)
        return QStringLiteral("%1: tipo \"%2\" desconhecido").arg(at, kindText);
    p.name = cleanName(m.name);
    p.kind = *kind;
    p.lat = m.coordinates.first().lat;
    p.lon = m.coordinates.first().lon;
    bool ok = true;
    p.slackM
        = kmlNumber(m.slack.isEmpty() ? fromDescription(m.description, QStringLiteral("reserva_m"))
                                      : m.slack,
                    ok)
              .value_or(0);
    const std::optional<double> given = kmlNumber(m.distance, ok);
    if (!ok || p.slackM < 0 || p.slackM > MostRouteM
        || (given && (*given < 0 || *given > MostRouteM)))
        return QStringLiteral("%1: um número que não se lê").arg(at);
    p.routeM = std::nan("");
    if (given)
        p.routeM = *given;
    else if (line.size() >= 2)
        p.routeM = alongLine(line, *p.lat, *p.lon);
    return QString();
}

// Along the line the placemarks may be in any order in the file: put in order of distance,
// the line's start the origin where no placemark says so.
void orderAlongLine(Route &route, QStringList &where)
{
    QVector<int> order(route.points.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        return route.points.at(x).routeM < route.points.at(y).routeM;
    });
    QVector<Point> sorted;
    QStringList sortedWhere;
    for (int i : order) {
        sorted << route.points.at(i);
        sortedWhere << where.at(i);
    }
    route.points = sorted;
    where = sortedWhere;
    if (route.points.first().routeM > 0.5 && route.points.first().kind != Kind::Origin) {
        Point origin;
        origin.name = QStringLiteral("origem");
        origin.kind = Kind::Origin;
        origin.lat = route.line.first().lat;
        origin.lon = route.line.first().lon;
        route.points.prepend(origin);
        where.prepend(route.path);
    }
}

} // namespace

Read readKml(const QByteArray &bytes, const QString &path)
{
    Read r;
    QVector<Placemark> marks;
    r.error = readPlacemarks(bytes, path, marks);
    if (!r.error.isEmpty())
        return r;
    Route route;
    route.path = path;
    route.readAs = QStringLiteral("KML");
    route.line = measuredLine(marks);
    QStringList where;
    for (const Placemark &m : marks) {
        const QString at = QStringLiteral("%1, marcador \"%2\"").arg(path, m.name);
        if (m.badCoordinates && !m.position) {
            r.error = QStringLiteral("%1: coordenadas que não se leem ou fora do globo").arg(at);
            return r;
        }
        if (m.line || m.position || m.coordinates.isEmpty())
            continue;
        Point p;
        r.error = pointOf(m, route.line, at, p);
        if (!r.error.isEmpty())
            return r;
        route.points.append(p);
        where << at;
    }
    if (route.points.isEmpty()) {
        r.error = QStringLiteral("%1: nenhum marcador com coordenadas").arg(path);
        return r;
    }
    if (route.line.size() < 2)
        route.warnings << QStringLiteral("o KML não tem a linha do traçado (LineString): a rota "
                                         "vai em linha reta de um marcador ao outro, na ordem do "
                                         "arquivo");
    else
        orderAlongLine(route, where);
    return settled(route, where);
}

} // namespace Route
