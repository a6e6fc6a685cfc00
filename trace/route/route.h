#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A cable's route in the street, as the crew walks it: its points in order from the origin
// (closures, poles, boxes, slack loops), each at a route distance, with coordinates where known
// and the cable kept in a loop there. Read from a CSV or from a KML as Google Earth saves it.
namespace Route {

enum class Kind { Origin, Splice, Pole, Box, Slack, Other };

struct Point
{
    QString name;
    Kind kind = Kind::Other;
    double routeM = 0;
    std::optional<double> lat; // degrees, WGS84
    std::optional<double> lon;
    double slackM = 0; // the cable kept in a loop here ("reserva técnica")
    bool hasCoordinates() const { return lat && lon; }
};

// A place the route passes, for drawing it and for placing a distance on the map.
struct Vertex
{
    double routeM = 0;
    double lat = 0;
    double lon = 0;
};

struct Route
{
    QString path;
    QVector<Point> points; // in order from the origin, route distance never going back
    // The way the cable goes between them: a KML's line, or the points with coordinates.
    QVector<Vertex> line;
    // How the file was read ("CSV, separador ';', vírgula decimal, UTF-8"), and what the user
    // should know of it (a KML without a line).
    QString readAs;
    QStringList warnings;
    // Where a route distance lies on the line; none off its ends or without coordinates.
    std::optional<Vertex> placeAt(double routeM) const;
    // The cable's length from the origin to a route distance: the route and every loop at a
    // point before it.
    double cableAt(double routeM) const;
    double lengthM() const { return points.isEmpty() ? 0 : points.last().routeM; }
    // The route reversed: from its last point, as the far end sees it.
    Route reversed() const;
};

// "origem", "emenda", "poste", "caixa", "reserva", "outro"; none for another word.
std::optional<Kind> kindOf(const QString &word);
QString kindWord(Kind kind);

// The distance between two places on the WGS84 ellipsoid (Vincenty), in metres.
double geodesicM(double lat1, double lon1, double lat2, double lon2);

// A route read, or why not: the file and the line (or placemark) named.
struct Read
{
    std::optional<Route> route;
    QString error;
};
// By the file's name: ".kml" as KML, anything else as CSV.
Read readRoute(const QString &path);
Read readCsv(const QByteArray &bytes, const QString &path);
Read readKml(const QByteArray &bytes, const QString &path);

} // namespace Route
