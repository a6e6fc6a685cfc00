#include "route/route.h"

#include "sor/sortext.h"

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

// No OTDR reaches this far: a route distance beyond it is a mistake in the file.
constexpr double MostRouteM = 1e6;

// A name as a map can carry it: no control codes, no halves of a character.
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

// How a spreadsheet wrote a number: its decimal mark, the other one grouping thousands
// ("1.234,5").
enum class Mark { Unknown, Comma, Point };

QString markText(Mark mark)
{
    return mark == Mark::Comma ? QStringLiteral("vírgula decimal")
                               : QStringLiteral("ponto decimal");
}

// How one field writes its number: no mark (an integer), one mark that can only be decimal, one
// that might group thousands ("1,500": 1,5 or 1500, decided by the rest of the file), or both
// (the last one decimal: "1.234,5").
struct Written
{
    Mark decimal = Mark::Unknown;
    bool grouping = false; // "1,500", "1.500"
};

Written writtenAs(const QString &text)
{
    static const QRegularExpression grouped(QStringLiteral("^[+-]?\\d{1,3}([.,]\\d{3})+$"));
    const QString t = text.trimmed();
    const int comma = int(t.lastIndexOf(QLatin1Char(',')));
    const int point = int(t.lastIndexOf(QLatin1Char('.')));
    if (comma < 0 && point < 0)
        return {};
    if (comma >= 0 && point >= 0)
        return {comma > point ? Mark::Comma : Mark::Point, false};
    const Mark mark = comma >= 0 ? Mark::Comma : Mark::Point;
    const Mark other = comma >= 0 ? Mark::Point : Mark::Comma;
    if (grouped.match(t).hasMatch()) {
        // Several groups of three ("1.234.567"): thousands, the decimal mark the other one. One
        // group after a single mark: either way.
        const bool several = t.count(comma >= 0 ? QLatin1Char(',') : QLatin1Char('.')) > 1;
        return several ? Written{other, false} : Written{mark, true};
    }
    return {mark, false};
}

// A number with its decimal mark (the other one grouping thousands); none for an empty field.
std::optional<double> number(const QString &text, Mark mark, bool &ok)
{
    ok = true;
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    static const QRegularExpression shape(
        QStringLiteral("^[+-]?(\\d{1,3}([.,]\\d{3})*|\\d*)([.,]\\d+)?$"));
    if (!shape.match(t).hasMatch() || t == QLatin1String("+") || t == QLatin1String("-")) {
        ok = false;
        return std::nullopt;
    }
    const QChar decimal = mark == Mark::Point ? QLatin1Char('.') : QLatin1Char(',');
    const QChar group = mark == Mark::Point ? QLatin1Char(',') : QLatin1Char('.');
    // The grouping mark only before the decimal one.
    const int decimalAt = int(t.lastIndexOf(decimal));
    if (t.lastIndexOf(group) > decimalAt && decimalAt >= 0) {
        ok = false;
        return std::nullopt;
    }
    t.remove(group);
    t.replace(decimal, QLatin1Char('.'));
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
        ok = false;
        return std::nullopt;
    }
    return v;
}

// A KML's number: a comma or a point as the decimal mark.
std::optional<double> number(const QString &text, bool &ok)
{
    return number(text, text.contains(QLatin1Char('.')) ? Mark::Point : Mark::Comma, ok);
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

// The text of a file a spreadsheet saved: UTF-8 (with or without its mark), UTF-16 with its
// mark ("Unicode text"), else the Windows code page of Latin-1. Says which.
QString decoded(const QByteArray &bytes, QString &encoding)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool little = bytes.startsWith("\xFF\xFE");
        QString text;
        text.reserve(int(bytes.size() / 2));
        for (int i = 2; i + 1 < int(bytes.size()); i += 2) {
            const uchar a = uchar(bytes.at(i));
            const uchar b = uchar(bytes.at(i + 1));
            text += QChar(little ? ushort(a | (b << 8)) : ushort(b | (a << 8)));
        }
        encoding = QStringLiteral("UTF-16");
        return text;
    }
    QString text = QString::fromUtf8(bytes);
    // A byte that is no UTF-8 comes back as U+FFFD; the file then holds none of its own.
    if (text.count(QChar(0xFFFD)) == bytes.count("\xEF\xBF\xBD")) {
        encoding = QStringLiteral("UTF-8");
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    // Windows-1252: Latin-1 with letters and signs where Latin-1 has control codes.
    static const ushort windows[32]
        = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
           0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
           0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    text.clear();
    text.reserve(int(bytes.size()));
    for (const char c : bytes) {
        const uchar u = uchar(c);
        text += QChar(u >= 0x80 && u < 0xA0 ? windows[u - 0x80] : ushort(u));
    }
    encoding = QStringLiteral("Latin-1 (Windows)");
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
    if (bytes.contains('\0') && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")) {
        r.error = QStringLiteral("%1: não é um CSV de rota (o arquivo não é texto)").arg(path);
        return r;
    }
    QString encoding;
    const QStringList lines
        = decoded(bytes, encoding).split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    int first = 0;
    while (first < lines.size() && lines.at(first).trimmed().isEmpty())
        ++first;
    if (first == lines.size()) {
        r.error = QStringLiteral("%1: arquivo vazio").arg(path);
        return r;
    }
    const QString header = lines.at(first);
    const QStringList wanted{QStringLiteral("nome"),
                             QStringLiteral("tipo"),
                             QStringLiteral("distancia_m"),
                             QStringLiteral("lat"),
                             QStringLiteral("lon"),
                             QStringLiteral("reserva_m")};
    // The separator is the one that splits the header into its names.
    QChar separator;
    QStringList names;
    int bestFound = -1;
    for (const QChar candidate : {QLatin1Char(';'), QLatin1Char(','), QLatin1Char('\t')}) {
        QStringList split;
        for (const QString &name : fields(header, candidate))
            split << name.toLower();
        const int found = int(std::count_if(
            wanted.cbegin(), wanted.cend(), [&](const QString &w) { return split.contains(w); }));
        if (found > bestFound) {
            bestFound = found;
            separator = candidate;
            names = split;
        }
    }
    const QString where1 = QStringLiteral("%1, linha %2").arg(path).arg(first + 1);
    if (separator == QLatin1Char('\t') && bestFound > 1) {
        r.error = QStringLiteral("%1: o separador dos campos é a tabulação; salve a planilha "
                                 "como CSV com o separador ';' (ou ',')")
                      .arg(where1);
        return r;
    }
    for (const QString &w : wanted) {
        if (!names.contains(w)) {
            r.error = QStringLiteral("%1: falta a coluna \"%2\" (o cabeçalho é %3, separado por "
                                     "';' ou ',')")
                          .arg(where1, w, wanted.join(QLatin1Char(';')));
            return r;
        }
    }
    QMap<QString, int> column;
    for (const QString &w : wanted)
        column.insert(w, int(names.indexOf(w)));
    const QStringList numeric{QStringLiteral("distancia_m"),
                              QStringLiteral("lat"),
                              QStringLiteral("lon"),
                              QStringLiteral("reserva_m")};
    // Every row split, and what its numbers say of the decimal mark, before any is read.
    struct Row
    {
        int line = 0;
        QStringList fields;
    };
    QVector<Row> rows;
    // The marks the file's numbers show: lengths (distance, loop) may group thousands,
    // coordinates never do.
    QString lengthComma;
    QString lengthPoint;
    QString coordinateComma;
    QString coordinatePoint;
    const QStringList lengths{QStringLiteral("distancia_m"), QStringLiteral("reserva_m")};
    for (int n = first + 1; n < lines.size(); ++n) {
        if (lines.at(n).trimmed().isEmpty())
            continue;
        const QString at = QStringLiteral("%1, linha %2").arg(path).arg(n + 1);
        const QStringList f = fields(lines.at(n), separator);
        if (f.size() > names.size()) {
            r.error = separator == QLatin1Char(',')
                          ? QStringLiteral("%1: %2 campos, e o cabeçalho tem %3: com ',' "
                                           "separando os campos, uma vírgula decimal sem aspas "
                                           "parte os números e não se sabe onde cada um acaba; "
                                           "salve com ';' entre os campos, ou com ponto decimal")
                                .arg(at)
                                .arg(f.size())
                                .arg(names.size())
                          : QStringLiteral("%1: %2 campos, e o cabeçalho tem %3")
                                .arg(at)
                                .arg(f.size())
                                .arg(names.size());
            return r;
        }
        for (const QString &name : numeric) {
            const QString text = f.value(column.value(name)).trimmed();
            const Written w = writtenAs(text);
            const bool length = lengths.contains(name);
            if (w.decimal == Mark::Unknown || (length && w.grouping))
                continue;
            QString &seen = w.decimal == Mark::Comma ? (length ? lengthComma : coordinateComma)
                                                     : (length ? lengthPoint : coordinatePoint);
            if (seen.isEmpty())
                seen = QStringLiteral("%1 (\"%2\")").arg(at, text);
        }
        rows.append({n + 1, f});
    }
    // The file's own mark for a length like "1,500": its other lengths', else its coordinates'.
    const auto only = [](const QString &comma, const QString &point) {
        return !comma.isEmpty() && point.isEmpty()   ? Mark::Comma
               : comma.isEmpty() && !point.isEmpty() ? Mark::Point
                                                     : Mark::Unknown;
    };
    Mark lengthMark = only(lengthComma, lengthPoint);
    if (lengthMark == Mark::Unknown && lengthComma.isEmpty() && lengthPoint.isEmpty())
        lengthMark = only(coordinateComma, coordinatePoint);
    const bool commas = !lengthComma.isEmpty() || !coordinateComma.isEmpty();
    const bool points = !lengthPoint.isEmpty() || !coordinatePoint.isEmpty();
    const QString marks = commas && points ? QStringLiteral("vírgula e ponto decimais")
                          : commas         ? markText(Mark::Comma)
                          : points         ? markText(Mark::Point)
                                           : QString();
    Route route;
    route.path = path;
    QString grouped;
    // A number as the file writes it; a length that groups its thousands as the file does.
    const auto read = [&](const QString &name, const QString &text, bool &ok, const QString &at) {
        const Written w = writtenAs(text);
        const bool length = lengths.contains(name);
        if (w.decimal == Mark::Unknown)
            return number(text, Mark::Comma, ok);
        if (!length && w.decimal != Mark::Unknown && text.contains(QLatin1Char(','))
            && text.contains(QLatin1Char('.'))) {
            ok = false; // coordinates group nothing
            return std::optional<double>();
        }
        if (length && w.grouping) {
            if (lengthMark == Mark::Unknown) {
                // Both readings, as a user would write them: "1,5 ou 1500".
                bool any = true;
                const double small = number(text, w.decimal, any).value_or(0);
                grouped = QStringLiteral("%1: \"%2\" pode ser %3 ou %4, e nenhum outro número do "
                                         "arquivo diz qual; escreva-o com outro número de casas "
                                         "decimais")
                              .arg(at,
                                   text.trimmed(),
                                   QString::number(small, 'g', 12)
                                       .replace(QLatin1Char('.'), QLatin1Char(',')),
                                   QString(text.trimmed())
                                       .remove(QLatin1Char(','))
                                       .remove(QLatin1Char('.')));
                ok = false;
                return std::optional<double>();
            }
            return number(text, lengthMark, ok);
        }
        return number(text, w.decimal, ok);
    };
    route.readAs
        = QStringLiteral("CSV, separador '%1', %2%3")
              .arg(separator == QLatin1Char(';') ? QStringLiteral(";") : QStringLiteral(","),
                   marks.isEmpty() ? QString() : marks + QStringLiteral(", "),
                   encoding);
    QStringList where;
    for (const Row &row : rows) {
        const QString at = QStringLiteral("%1, linha %2").arg(path).arg(row.line);
        const auto value
            = [&](const QString &name) { return row.fields.value(column.value(name)); };
        Point p;
        p.name = cleanName(value(QStringLiteral("nome")));
        const std::optional<Kind> kind = kindOf(value(QStringLiteral("tipo")));
        if (!kind) {
            r.error = QStringLiteral("%1: tipo \"%2\" desconhecido (origem, emenda, poste, caixa, "
                                     "reserva ou outro)")
                          .arg(at, value(QStringLiteral("tipo")));
            return r;
        }
        p.kind = *kind;
        bool ok = true;
        const std::optional<double> distance
            = read(QStringLiteral("distancia_m"), value(QStringLiteral("distancia_m")), ok, at);
        bool okLat = true;
        bool okLon = true;
        p.lat = read(QStringLiteral("lat"), value(QStringLiteral("lat")), okLat, at);
        p.lon = read(QStringLiteral("lon"), value(QStringLiteral("lon")), okLon, at);
        bool okSlack = true;
        const std::optional<double> slack
            = read(QStringLiteral("reserva_m"), value(QStringLiteral("reserva_m")), okSlack, at);
        if (!ok || !okLat || !okLon || !okSlack) {
            r.error = grouped.isEmpty() ? QStringLiteral("%1: um número que não se lê").arg(at)
                                        : grouped;
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
        if ((distance && *distance > MostRouteM) || (slack && *slack > MostRouteM)) {
            r.error = QStringLiteral("%1: distância ou reserva de mais de %2 km: nenhum cabo "
                                     "tem tanto")
                          .arg(at)
                          .arg(MostRouteM / 1000);
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
    bool badCoordinates = false;
    bool position = false; // a place this program wrote (an event, an end): no route point
};

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
                current->coordinates
                    = coordinatesOf(xml.readElementText(), current->badCoordinates);
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
    route.readAs = QStringLiteral("KML");
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
        const QString at = QStringLiteral("%1, marcador \"%2\"").arg(path, m.name);
        if (m.badCoordinates && !m.position) {
            r.error = QStringLiteral("%1: coordenadas que não se leem ou fora do globo").arg(at);
            return r;
        }
        if (m.line || m.position || m.coordinates.isEmpty())
            continue;
        const QString kindText
            = m.kind.isEmpty() ? fromDescription(m.description, QStringLiteral("tipo")) : m.kind;
        const std::optional<Kind> kind = kindOf(kindText);
        if (!kind) {
            r.error = QStringLiteral("%1: tipo \"%2\" desconhecido").arg(at, kindText);
            return r;
        }
        Point p;
        p.name = cleanName(m.name);
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
        if (!ok || p.slackM < 0 || p.slackM > MostRouteM
            || (given && (*given < 0 || *given > MostRouteM))) {
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
    if (route.line.size() < 2)
        route.warnings << QStringLiteral("o KML não tem a linha do traçado (LineString): a rota "
                                         "vai em linha reta de um marcador ao outro, na ordem do "
                                         "arquivo");
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
