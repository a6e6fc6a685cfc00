#include "route/routeoutput.h"

#include "sor/sorjson.h"
#include "sor/sortext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QXmlStreamWriter>

#include <cmath>

namespace Route {

namespace {

QJsonValue neighbour(const std::optional<Neighbour> &n)
{
    if (!n)
        return QJsonValue(QJsonValue::Null);
    return QJsonObject{{"name", n->name}, {"route_m", n->routeM}, {"distance_m", n->distanceM}};
}

QJsonObject positionJson(const Position &p)
{
    return QJsonObject{
        {"label", p.label},
        {"otdr_m", p.otdrM},
        {"cable_m", p.cableM},
        {"route_m", p.routeM},
        {"after", neighbour(p.after)},
        {"before", neighbour(p.before)},
        {"in_slack", Sor::jsonText(p.inSlack)},
        {"before_origin", p.beforeOrigin},
        {"past_end", p.pastEnd},
        {"where", whereText(p)},
        {"lat", Sor::jsonNumber(p.place ? std::optional<double>(p.place->lat) : std::nullopt)},
        {"lon", Sor::jsonNumber(p.place ? std::optional<double>(p.place->lon) : std::nullopt)},
        {"uncertainty_m", p.uncertaintyM}};
}

} // namespace

QString table(const Located &l)
{
    const Calibration &c = l.calibration;
    QString text = QStringLiteral("%1\n").arg(l.name);
    text += QStringLiteral("Calibração: EFL %1 %, deslocamento %2 m (%3)")
                .arg(Sor::decimal(100 * c.model.efl, 3), Sor::decimal(c.model.offsetM, 1))
                .arg(c.fitted == 2   ? QStringLiteral("ajustados às emendas")
                     : c.fitted == 1 ? QStringLiteral("deslocamento ajustado a uma emenda")
                                     : QStringLiteral("como dados"));
    if (c.rmsM)
        text += QStringLiteral("; RMS %1 m").arg(Sor::decimal(*c.rmsM, 1));
    text += QLatin1Char('\n');
    if (!c.anchors.isEmpty()) {
        text += QStringLiteral("  %1 %2 %3 %4\n")
                    .arg(QStringLiteral("Emenda"), -14)
                    .arg(QStringLiteral("Rota (m)"), 10)
                    .arg(QStringLiteral("OTDR (m)"), 10)
                    .arg(QStringLiteral("Resíduo (m)"), 12);
        for (const Anchor &a : c.anchors)
            text += QStringLiteral("  %1 %2 %3 %4%5\n")
                        .arg(a.name, -14)
                        .arg(Sor::decimal(a.routeM, 1), 10)
                        .arg(Sor::decimal(a.otdrM, 1), 10)
                        .arg(Sor::decimal(a.residualM, 1), 12)
                        .arg(a.flagged ? QStringLiteral("  FORA") : QString());
    }
    for (const QString &w : c.warnings)
        text += QStringLiteral("Aviso: %1\n").arg(w);
    text += QStringLiteral("\n  %1 %2 %3 %4  %5\n")
                .arg(QStringLiteral("Posição"), -18)
                .arg(QStringLiteral("OTDR (m)"), 10)
                .arg(QStringLiteral("Rota (m)"), 10)
                .arg(QStringLiteral("± (m)"), 6)
                .arg(QStringLiteral("Onde"));
    for (const Position &p : l.positions) {
        QString where = whereText(p);
        if (p.place)
            where += QStringLiteral(" (%1, %2)")
                         .arg(QString::number(p.place->lat, 'f', 6),
                              QString::number(p.place->lon, 'f', 6));
        text += QStringLiteral("  %1 %2 %3 %4  %5\n")
                    .arg(p.label, -18)
                    .arg(Sor::decimal(p.otdrM, 1), 10)
                    .arg(Sor::decimal(p.routeM, 1), 10)
                    .arg(Sor::decimal(p.uncertaintyM, 1), 6)
                    .arg(where);
    }
    return text;
}

QString twoEndsText(const TwoEnds &ends)
{
    return QStringLiteral("Das duas pontas: %1\n  de A: %2 (± %3 m)\n  de B: %4 (± %5 m)\n")
        .arg(ends.sentence,
             whereText(ends.fromA),
             Sor::decimal(ends.fromA.uncertaintyM, 1),
             whereText(ends.fromB),
             Sor::decimal(ends.fromB.uncertaintyM, 1));
}

QJsonObject toJson(const Located &l)
{
    QJsonArray anchors;
    for (const Anchor &a : l.calibration.anchors)
        anchors.append(QJsonObject{{"name", a.name},
                                   {"route_m", a.routeM},
                                   {"otdr_m", a.otdrM},
                                   {"residual_m", a.residualM},
                                   {"flagged", a.flagged}});
    QJsonArray positions;
    for (const Position &p : l.positions)
        positions.append(positionJson(p));
    const Calibration &c = l.calibration;
    return QJsonObject{{"file", l.name},
                       {"calibration",
                        QJsonObject{{"efl_percent", 100 * c.model.efl},
                                    {"offset_m", c.model.offsetM},
                                    {"fitted", c.fitted},
                                    {"anchors", anchors},
                                    {"rms_m", Sor::jsonNumber(c.rmsM)},
                                    {"warnings", QJsonArray::fromStringList(c.warnings)}}},
                       {"positions", positions}};
}

QJsonObject toJson(const TwoEnds &ends)
{
    return QJsonObject{{"from_a", positionJson(ends.fromA)},
                       {"from_b", positionJson(ends.fromB)},
                       {"apart_m", ends.apartM},
                       {"whole", ends.whole},
                       {"agree", ends.agree},
                       {"sentence", ends.sentence}};
}

namespace {

QString kmlCoordinates(double lat, double lon)
{
    return QStringLiteral("%1,%2,0").arg(lon, 0, 'f', 7).arg(lat, 0, 'f', 7);
}

// The line's and the marks' looks; KML colours are aabbggrr.
void kmlStyles(QXmlStreamWriter &xml)
{
    const QList<QPair<QString, QString>> styles{
        {QStringLiteral("rota"), QStringLiteral("ffff8800")},
        {QStringLiteral("ponto"), QStringLiteral("ffffffff")},
        {QStringLiteral("evento"), QStringLiteral("ff00ccff")},
        {QStringLiteral("fim"), QStringLiteral("ff0000ff")}};
    for (const auto &style : styles) {
        xml.writeStartElement(QStringLiteral("Style"));
        xml.writeAttribute(QStringLiteral("id"), style.first);
        xml.writeStartElement(style.first == QLatin1String("rota") ? QStringLiteral("LineStyle")
                                                                   : QStringLiteral("IconStyle"));
        xml.writeTextElement(QStringLiteral("color"), style.second);
        if (style.first == QLatin1String("rota"))
            xml.writeTextElement(QStringLiteral("width"), QStringLiteral("3"));
        xml.writeEndElement();
        xml.writeEndElement();
    }
}

void kmlLine(QXmlStreamWriter &xml, const Route &route)
{
    if (route.line.size() < 2)
        return;
    xml.writeStartElement(QStringLiteral("Placemark"));
    xml.writeTextElement(QStringLiteral("name"), QStringLiteral("rota"));
    xml.writeTextElement(QStringLiteral("styleUrl"), QStringLiteral("#rota"));
    xml.writeStartElement(QStringLiteral("LineString"));
    QStringList line;
    for (const Vertex &v : route.line)
        line << kmlCoordinates(v.lat, v.lon);
    xml.writeTextElement(QStringLiteral("coordinates"), line.join(QLatin1Char(' ')));
    xml.writeEndElement();
    xml.writeEndElement();
}

void kmlPlacemark(QXmlStreamWriter &xml,
                  const QString &name,
                  const QString &style,
                  const Vertex &at,
                  const QList<QPair<QString, QString>> &data,
                  const QString &description)
{
    xml.writeStartElement(QStringLiteral("Placemark"));
    xml.writeTextElement(QStringLiteral("name"), name);
    if (!description.isEmpty())
        xml.writeTextElement(QStringLiteral("description"), description);
    xml.writeTextElement(QStringLiteral("styleUrl"), QLatin1Char('#') + style);
    xml.writeStartElement(QStringLiteral("ExtendedData"));
    for (const auto &d : data) {
        xml.writeStartElement(QStringLiteral("Data"));
        xml.writeAttribute(QStringLiteral("name"), d.first);
        xml.writeTextElement(QStringLiteral("value"), d.second);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("Point"));
    xml.writeTextElement(QStringLiteral("coordinates"), kmlCoordinates(at.lat, at.lon));
    xml.writeEndElement();
    xml.writeEndElement();
}

} // namespace

QByteArray kml(const Route &route, const QVector<Position> &positions)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("kml"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.opengis.net/kml/2.2"));
    xml.writeStartElement(QStringLiteral("Document"));
    xml.writeTextElement(QStringLiteral("name"), QStringLiteral("Rota e eventos"));
    kmlStyles(xml);
    kmlLine(xml, route);
    for (const Point &p : route.points) {
        // At its coordinates, or where the line puts its distance.
        const std::optional<Vertex> at
            = p.hasCoordinates() ? std::optional<Vertex>(Vertex{p.routeM, *p.lat, *p.lon})
                                 : route.placeAt(p.routeM);
        if (at)
            kmlPlacemark(xml,
                         p.name,
                         QStringLiteral("ponto"),
                         *at,
                         {{QStringLiteral("tipo"), kindWord(p.kind)},
                          {QStringLiteral("distancia_m"), QString::number(p.routeM, 'f', 1)},
                          {QStringLiteral("reserva_m"), QString::number(p.slackM, 'f', 1)}},
                         QString());
    }
    for (const Position &p : positions) {
        if (p.place)
            kmlPlacemark(xml,
                         p.label,
                         p.end ? QStringLiteral("fim") : QStringLiteral("evento"),
                         *p.place,
                         {{QStringLiteral("otdr_m"), QString::number(p.otdrM, 'f', 1)},
                          {QStringLiteral("rota_m"), QString::number(p.routeM, 'f', 1)},
                          {QStringLiteral("incerteza_m"), QString::number(p.uncertaintyM, 'f', 1)}},
                         whereText(p));
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

QByteArray geoJson(const Route &route, const QVector<Position> &positions)
{
    QJsonArray features;
    if (route.line.size() >= 2) {
        QJsonArray line;
        for (const Vertex &v : route.line)
            line.append(QJsonArray{v.lon, v.lat});
        features.append(
            QJsonObject{{"type", "Feature"},
                        {"geometry", QJsonObject{{"type", "LineString"}, {"coordinates", line}}},
                        {"properties", QJsonObject{{"name", "rota"}, {"kind", "rota"}}}});
    }
    for (const Point &p : route.points) {
        const std::optional<Vertex> at
            = p.hasCoordinates() ? std::optional<Vertex>(Vertex{p.routeM, *p.lat, *p.lon})
                                 : route.placeAt(p.routeM);
        if (!at)
            continue;
        features.append(QJsonObject{
            {"type", "Feature"},
            {"geometry",
             QJsonObject{{"type", "Point"}, {"coordinates", QJsonArray{at->lon, at->lat}}}},
            {"properties",
             QJsonObject{{"name", p.name},
                         {"kind", kindWord(p.kind)},
                         {"route_m", p.routeM},
                         {"slack_m", p.slackM}}}});
    }
    for (const Position &p : positions) {
        if (!p.place)
            continue;
        features.append(
            QJsonObject{{"type", "Feature"},
                        {"geometry",
                         QJsonObject{{"type", "Point"},
                                     {"coordinates", QJsonArray{p.place->lon, p.place->lat}}}},
                        {"properties",
                         QJsonObject{{"name", p.label},
                                     {"kind", p.end ? "fim" : "evento"},
                                     {"marker-color", p.end ? "#d00000" : "#ffcc00"},
                                     {"otdr_m", p.otdrM},
                                     {"route_m", p.routeM},
                                     {"uncertainty_m", p.uncertaintyM},
                                     {"where", whereText(p)}}}});
    }
    return QJsonDocument(QJsonObject{{"type", "FeatureCollection"}, {"features", features}})
        .toJson(QJsonDocument::Indented);
}

} // namespace Route
