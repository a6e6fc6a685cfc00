#include "route/route.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Route {

namespace {

// One line of a CSV split at its separator; a field in double quotes may hold it.
QStringList fields(const QString &line, QChar separator)
{
    QStringList out;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"')) {
            if (quoted && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == separator && !quoted) {
            out << field.trimmed();
            field.clear();
        } else {
            field += c;
        }
    }
    out << field.trimmed();
    return out;
}

// A number with a decimal comma or point; none for an empty field.
std::optional<double> number(const QString &text, bool &ok)
{
    ok = true;
    if (text.trimmed().isEmpty())
        return std::nullopt;
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
        ok = false;
        return std::nullopt;
    }
    return v;
}

// The points' route distances where only their coordinates were given, measured along the
// points; the line drawn through the points with coordinates; distances that go back refused.
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
                .arg(where.value(i))
                .arg(p.routeM, 0, 'f', 1)
                .arg(route.points.at(i - 1).routeM, 0, 'f', 1);
    }
    if (route.line.isEmpty()) {
        for (const Point &p : route.points) {
            if (p.hasCoordinates())
                route.line.append({p.routeM, *p.lat, *p.lon});
        }
    }
    return QString();
}

QString decoded(const QByteArray &bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

} // namespace

std::optional<Vertex> Route::placeAt(double routeM) const
{
    if (line.size() < 2 || routeM < line.first().routeM || routeM > line.last().routeM) {
        if (line.size() == 1 && std::abs(routeM - line.first().routeM) < 1e-6)
            return line.first();
        return std::nullopt;
    }
    for (int i = 1; i < line.size(); ++i) {
        const Vertex &a = line.at(i - 1);
        const Vertex &b = line.at(i);
        if (routeM > b.routeM)
            continue;
        const double span = b.routeM - a.routeM;
        const double t = span > 0 ? (routeM - a.routeM) / span : 0;
        return Vertex{routeM, a.lat + t * (b.lat - a.lat), a.lon + t * (b.lon - a.lon)};
    }
    return line.last();
}

Read readCsv(const QByteArray &bytes, const QString &path)
{
    Read r;
    const QStringList lines
        = decoded(bytes).split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    int first = 0;
    while (first < lines.size() && lines.at(first).trimmed().isEmpty())
        ++first;
    if (first == lines.size()) {
        r.error = QStringLiteral("%1: arquivo vazio").arg(path);
        return r;
    }
    const QString header = lines.at(first);
    const QChar separator = header.contains(QLatin1Char(';')) ? QLatin1Char(';') : QLatin1Char(',');
    QStringList names;
    for (const QString &name : fields(header, separator))
        names << name.toLower();
    const QStringList wanted{QStringLiteral("nome"),
                             QStringLiteral("tipo"),
                             QStringLiteral("distancia_m"),
                             QStringLiteral("lat"),
                             QStringLiteral("lon"),
                             QStringLiteral("reserva_m")};
    QMap<QString, int> column;
    for (const QString &w : wanted) {
        const int at = int(names.indexOf(w));
        if (at < 0) {
            r.error = QStringLiteral("%1, linha %2: falta a coluna \"%3\" (o cabeçalho é %4)")
                          .arg(path)
                          .arg(first + 1)
                          .arg(w, wanted.join(separator));
            return r;
        }
        column.insert(w, at);
    }
    Route route;
    route.path = path;
    QStringList where;
    for (int n = first + 1; n < lines.size(); ++n) {
        if (lines.at(n).trimmed().isEmpty())
            continue;
        const QString at = QStringLiteral("%1, linha %2").arg(path).arg(n + 1);
        const QStringList f = fields(lines.at(n), separator);
        const auto value = [&](const QString &name) { return f.value(column.value(name)); };
        Point p;
        p.name = value(QStringLiteral("nome"));
        const std::optional<Kind> kind = kindOf(value(QStringLiteral("tipo")));
        if (!kind) {
            r.error = QStringLiteral("%1: tipo \"%2\" desconhecido (origem, emenda, poste, caixa, "
                                     "reserva ou outro)")
                          .arg(at, value(QStringLiteral("tipo")));
            return r;
        }
        p.kind = *kind;
        bool ok = true;
        const std::optional<double> distance = number(value(QStringLiteral("distancia_m")), ok);
        bool okLat = true;
        bool okLon = true;
        p.lat = number(value(QStringLiteral("lat")), okLat);
        p.lon = number(value(QStringLiteral("lon")), okLon);
        bool okSlack = true;
        const std::optional<double> slack = number(value(QStringLiteral("reserva_m")), okSlack);
        if (!ok || !okLat || !okLon || !okSlack) {
            r.error = QStringLiteral("%1: um número que não se lê").arg(at);
            return r;
        }
        if (p.lat.has_value() != p.lon.has_value()
            || (p.lat && (std::abs(*p.lat) > 90 || std::abs(*p.lon) > 180))) {
            r.error = QStringLiteral("%1: coordenadas incompletas ou fora do globo").arg(at);
            return r;
        }
        if (!distance && !p.hasCoordinates()) {
            r.error = QStringLiteral("%1: ponto sem distância nem coordenadas").arg(at);
            return r;
        }
        if ((distance && *distance < 0) || (slack && *slack < 0)) {
            r.error = QStringLiteral("%1: distância ou reserva negativa").arg(at);
            return r;
        }
        p.routeM = distance.value_or(std::nan(""));
        p.slackM = slack.value_or(0);
        route.points.append(p);
        where << at;
    }
    if (route.points.isEmpty()) {
        r.error = QStringLiteral("%1: nenhum ponto depois do cabeçalho").arg(path);
        return r;
    }
    r.error = settle(route, where);
    if (r.error.isEmpty())
        r.route = route;
    return r;
}

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
    bool position = false; // a place this program wrote (an event, an end): no route point
};

QVector<Vertex> coordinatesOf(const QString &text)
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
        if (okLon && okLat)
            out.append({0, lat, lon});
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

} // namespace

Read readKml(const QByteArray &bytes, const QString &path)
{
    Read r;
    QXmlStreamReader xml(bytes);
    QVector<Placemark> marks;
    Placemark *current = nullptr;
    QString dataName;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            if (name == QLatin1String("Placemark")) {
                marks.append(Placemark());
                current = &marks.last();
            } else if (current && name == QLatin1String("name") && current->name.isEmpty()) {
                current->name = xml.readElementText().trimmed();
            } else if (current && name == QLatin1String("description")) {
                current->description = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            } else if (current && name == QLatin1String("Data")) {
                dataName = xml.attributes().value(QStringLiteral("name")).toString().toLower();
            } else if (current && name == QLatin1String("value")) {
                const QString v = xml.readElementText().trimmed();
                if (dataName == QLatin1String("tipo"))
                    current->kind = v;
                else if (dataName == QLatin1String("reserva_m"))
                    current->slack = v;
                else if (dataName == QLatin1String("distancia_m"))
                    current->distance = v;
                else if (dataName == QLatin1String("otdr_m"))
                    current->position = true;
            } else if (current && name == QLatin1String("LineString")) {
                current->line = true;
            } else if (current && name == QLatin1String("coordinates")) {
                current->coordinates = coordinatesOf(xml.readElementText());
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("Placemark")) {
            current = nullptr;
        }
    }
    if (xml.hasError()) {
        r.error = QStringLiteral("%1, linha %2: o KML não se lê (%3)")
                      .arg(path)
                      .arg(xml.lineNumber())
                      .arg(xml.errorString());
        return r;
    }
    Route route;
    route.path = path;
    // The line, measured along itself.
    for (const Placemark &m : marks) {
        if (m.line && m.coordinates.size() >= 2 && route.line.isEmpty()) {
            route.line = m.coordinates;
            for (int i = 1; i < route.line.size(); ++i) {
                const Vertex &a = route.line.at(i - 1);
                Vertex &b = route.line[i];
                b.routeM = a.routeM + geodesicM(a.lat, a.lon, b.lat, b.lon);
            }
        }
    }
    QStringList where;
    for (const Placemark &m : marks) {
        if (m.line || m.position || m.coordinates.isEmpty())
            continue;
        const QString at = QStringLiteral("%1, marcador \"%2\"").arg(path, m.name);
        const QString kindText
            = m.kind.isEmpty() ? fromDescription(m.description, QStringLiteral("tipo")) : m.kind;
        const std::optional<Kind> kind = kindOf(kindText);
        if (!kind) {
            r.error = QStringLiteral("%1: tipo \"%2\" desconhecido").arg(at, kindText);
            return r;
        }
        Point p;
        p.name = m.name;
        p.kind = *kind;
        p.lat = m.coordinates.first().lat;
        p.lon = m.coordinates.first().lon;
        bool ok = true;
        p.slackM
            = number(m.slack.isEmpty() ? fromDescription(m.description, QStringLiteral("reserva_m"))
                                       : m.slack,
                     ok)
                  .value_or(0);
        const std::optional<double> given = number(m.distance, ok);
        if (!ok || p.slackM < 0) {
            r.error = QStringLiteral("%1: um número que não se lê").arg(at);
            return r;
        }
        p.routeM = std::nan("");
        if (given) {
            p.routeM = *given;
        } else if (route.line.size() >= 2) {
            // Its place along the line: the nearest point of the nearest segment.
            double best = 1e300;
            for (int i = 1; i < route.line.size(); ++i) {
                const Vertex &a = route.line.at(i - 1);
                const Vertex &b = route.line.at(i);
                const double k = std::cos(a.lat * M_PI / 180);
                const double dx = (b.lon - a.lon) * k;
                const double dy = b.lat - a.lat;
                const double px = (*p.lon - a.lon) * k;
                const double py = *p.lat - a.lat;
                const double len2 = dx * dx + dy * dy;
                const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0;
                const double off = std::hypot(px - t * dx, py - t * dy);
                if (off < best) {
                    best = off;
                    p.routeM = a.routeM + t * (b.routeM - a.routeM);
                }
            }
        }
        route.points.append(p);
        where << at;
    }
    if (route.points.isEmpty()) {
        r.error = QStringLiteral("%1: nenhum marcador com coordenadas").arg(path);
        return r;
    }
    // Along the line the placemarks may be in any order in the file.
    if (route.line.size() >= 2) {
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
        // The line's start is the origin where no placemark says so.
        if (route.points.first().routeM > 0.5 && route.points.first().kind != Kind::Origin) {
            Point origin;
            origin.name = QStringLiteral("origem");
            origin.kind = Kind::Origin;
            origin.lat = route.line.first().lat;
            origin.lon = route.line.first().lon;
            route.points.prepend(origin);
            where.prepend(path);
        }
    }
    r.error = settle(route, where);
    if (r.error.isEmpty())
        r.route = route;
    return r;
}

} // namespace Route
