#include "route/route.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace Route {

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

double Route::cableAt(double routeM) const
{
    double slack = 0;
    for (const Point &p : points) {
        if (p.routeM < routeM)
            slack += p.slackM;
    }
    return routeM + slack;
}

Route Route::reversed() const
{
    Route back;
    back.path = path;
    back.readAs = readAs;
    back.warnings = warnings;
    const double end = lengthM();
    for (auto p = points.crbegin(); p != points.crend(); ++p) {
        Point q = *p;
        q.routeM = end - p->routeM;
        back.points.append(q);
    }
    return back;
}

namespace {

// Each kind with the word a route file writes for it.
const QList<QPair<Kind, QString>> &kindWords()
{
    static const QList<QPair<Kind, QString>> words{{Kind::Origin, QStringLiteral("origem")},
                                                   {Kind::Splice, QStringLiteral("emenda")},
                                                   {Kind::Pole, QStringLiteral("poste")},
                                                   {Kind::Box, QStringLiteral("caixa")},
                                                   {Kind::Slack, QStringLiteral("reserva")},
                                                   {Kind::Other, QStringLiteral("outro")}};
    return words;
}

} // namespace

std::optional<Kind> kindOf(const QString &word)
{
    const QString w = word.trimmed().toLower();
    // A point without a kind is "outro".
    if (w.isEmpty())
        return Kind::Other;
    for (const auto &k : kindWords()) {
        if (k.second == w)
            return k.first;
    }
    return std::nullopt;
}

QString kindWord(Kind kind)
{
    for (const auto &k : kindWords()) {
        if (k.first == kind)
            return k.second;
    }
    return QStringLiteral("outro");
}

double geodesicM(double lat1, double lon1, double lat2, double lon2)
{
    // Vincenty's inverse formula on WGS84; the sphere's great circle where it does not settle
    // (nearly antipodal places, which no cable route has).
    constexpr double a = 6378137.0;
    constexpr double f = 1 / 298.257223563;
    constexpr double b = a * (1 - f);
    constexpr double rad = M_PI / 180;
    const double L = (lon2 - lon1) * rad;
    const double U1 = std::atan((1 - f) * std::tan(lat1 * rad));
    const double U2 = std::atan((1 - f) * std::tan(lat2 * rad));
    const double sinU1 = std::sin(U1), cosU1 = std::cos(U1);
    const double sinU2 = std::sin(U2), cosU2 = std::cos(U2);
    double lambda = L;
    for (int i = 0; i < 200; ++i) {
        const double sinLambda = std::sin(lambda), cosLambda = std::cos(lambda);
        const double sinSigma = std::sqrt(std::pow(cosU2 * sinLambda, 2)
                                          + std::pow(cosU1 * sinU2 - sinU1 * cosU2 * cosLambda, 2));
        if (sinSigma == 0)
            return 0;
        const double cosSigma = sinU1 * sinU2 + cosU1 * cosU2 * cosLambda;
        const double sigma = std::atan2(sinSigma, cosSigma);
        const double sinAlpha = cosU1 * cosU2 * sinLambda / sinSigma;
        const double cos2Alpha = 1 - sinAlpha * sinAlpha;
        const double cos2SigmaM = cos2Alpha != 0 ? cosSigma - 2 * sinU1 * sinU2 / cos2Alpha : 0;
        const double C = f / 16 * cos2Alpha * (4 + f * (4 - 3 * cos2Alpha));
        const double previous = lambda;
        lambda = L
                 + (1 - C) * f * sinAlpha
                       * (sigma
                          + C * sinSigma
                                * (cos2SigmaM + C * cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM)));
        if (std::abs(lambda - previous) < 1e-12) {
            const double u2 = cos2Alpha * (a * a - b * b) / (b * b);
            const double A = 1 + u2 / 16384 * (4096 + u2 * (-768 + u2 * (320 - 175 * u2)));
            const double B = u2 / 1024 * (256 + u2 * (-128 + u2 * (74 - 47 * u2)));
            const double deltaSigma
                = B * sinSigma
                  * (cos2SigmaM
                     + B / 4
                           * (cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM)
                              - B / 6 * cos2SigmaM * (-3 + 4 * sinSigma * sinSigma)
                                    * (-3 + 4 * cos2SigmaM * cos2SigmaM)));
            return b * A * (sigma - deltaSigma);
        }
    }
    const double dLat = (lat2 - lat1) * rad;
    const double h = std::pow(std::sin(dLat / 2), 2)
                     + std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::pow(std::sin(L / 2), 2);
    return 2 * 6371008.8 * std::asin(std::min(1.0, std::sqrt(h)));
}

Read readRoute(const QString &path)
{
    Read r;
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        r.error = QStringLiteral("%1: arquivo não encontrado").arg(path);
        return r;
    }
    if (QFileInfo(path).isDir()) {
        r.error = QStringLiteral("%1: é uma pasta, não uma rota").arg(path);
        return r;
    }
    // A route is a few thousand lines; anything far larger is no route.
    constexpr qint64 MostBytes = 64 * 1024 * 1024;
    if (QFileInfo(path).size() > MostBytes) {
        r.error = QStringLiteral("%1: grande demais para uma rota").arg(path);
        return r;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        r.error = QStringLiteral("%1: não foi possível ler o arquivo").arg(path);
        return r;
    }
    const QByteArray bytes = file.readAll();
    return path.endsWith(QLatin1String(".kml"), Qt::CaseInsensitive) ? readKml(bytes, path)
                                                                     : readCsv(bytes, path);
}

} // namespace Route
