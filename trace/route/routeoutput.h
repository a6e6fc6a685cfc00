#pragma once

#include "route/locate.h"

#include <QByteArray>
#include <QJsonObject>

// What `locate` gives: a table in Portuguese, JSON, and the route with the positions for
// Google Earth (KML) or QGIS (GeoJSON).
namespace Route {

struct Located
{
    QString name; // the trace's file
    Calibration calibration;
    QVector<Position> positions;
};

QString table(const Located &located);
QString twoEndsText(const TwoEnds &ends);
QJsonObject toJson(const Located &located);
QJsonObject toJson(const TwoEnds &ends);
QByteArray kml(const Route &route, const QVector<Position> &positions);
QByteArray geoJson(const Route &route, const QVector<Position> &positions);

} // namespace Route
