#include "cable/cablejob.h"
#include "route/routeoutput.h"
#include "route/tracelocate.h"
#include "sor/sorreader.h"
#include "sortoolrun.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <cmath>
#include <random>

// Routes read and events placed on them, on generated routes and traces whose truth is known.
class TestRoute : public QObject
{
    Q_OBJECT

private slots:
    void geodesic();
    void readCsv_data();
    void readCsv();
    void readKml();
    void modelInverse_data();
    void modelInverse();
    void calibration_data();
    void calibration();
    void offTheRoute();
    void twoEnds_data();
    void twoEnds();
    void oneEventFromBothEnds();
    void kmlWrittenAndReadBack();
    void command();
    void cableAndReport();
};

namespace {

// A route going north from São Paulo: the origin, poles every 2 km with a loop of 20 m,
// closures where given; each point's coordinates where it lies.
Route::Route northRoute(const QVector<double> &closuresM, double lengthM, double loopM = 20)
{
    Route::Route r;
    const auto point = [](const QString &name, Route::Kind kind, double at, double slack) {
        Route::Point p;
        p.name = name;
        p.kind = kind;
        p.routeM = at;
        p.slackM = slack;
        // Along a meridian, a metre is a fixed share of a degree near here.
        p.lat = -23.5 + at / 110760.0;
        p.lon = -46.6;
        return p;
    };
    QVector<Route::Point> points{point("ORIGEM", Route::Kind::Origin, 0, 0)};
    for (int i = 0; i < closuresM.size(); ++i)
        points << point(QStringLiteral("CEO-%1").arg(i + 1, 2, 10, QLatin1Char('0')),
                        Route::Kind::Splice,
                        closuresM.at(i),
                        0);
    for (double at = 2000; at < lengthM; at += 2000)
        points << point(QStringLiteral("P-%1").arg(int(at / 2000), 3, 10, QLatin1Char('0')),
                        Route::Kind::Pole,
                        at,
                        loopM);
    points << point("FIM", Route::Kind::Box, lengthM, 0);
    std::stable_sort(points.begin(), points.end(), [](const auto &a, const auto &b) {
        return a.routeM < b.routeM;
    });
    r.points = points;
    for (const Route::Point &p : r.points)
        r.line.append({p.routeM, *p.lat, *p.lon});
    return r;
}

// A fibre laid on a route: a 0.15 dB splice at each closure, the end where given, as an
// instrument stores it.
Sor::Trace laid(const Route::Route &route, const Route::Model &m, double endRouteM, quint32 seed)
{
    SorWriter::Simulation s;
    s.spacingM = 2;
    s.pulseNs = 100;
    s.attenuationDbKm = 0.2;
    s.launchSnrDb = 34;
    s.seed = seed;
    for (const Route::Point &p : route.points) {
        if (p.kind == Route::Kind::Splice && p.routeM < endRouteM)
            // In the middle of the closure's own loop.
            s.events << SorWriter::TrueEvent(SorWriter::TrueEvent::Step,
                                             m.fibreAtCable(route.cableAt(p.routeM) + p.slackM / 2),
                                             0.15);
    }
    const double end = m.fibreAt(route, endRouteM);
    s.events << SorWriter::TrueEvent(SorWriter::TrueEvent::End, end, 0, -14);
    s.points = int(end / s.spacingM) + 3000;
    return Sor::read(SorWriter::write(SorWriter::simulatedTrace(s, true)));
}

// The instrument's uncertainty as the issue's goal states it: 5 m + 0.05 % of the distance.
double goal(double m)
{
    return 5 + 0.0005 * m;
}

} // namespace

// Vincenty on WGS84 against known answers: a degree of latitude at the equator and near the
// pole, a degree of longitude at the equator.
void TestRoute::geodesic()
{
    QVERIFY(std::abs(Route::geodesicM(0, 0, 1, 0) - 110574.389) < 0.01);
    QVERIFY(std::abs(Route::geodesicM(89, 0, 90, 0) - 111693.9) < 0.1);
    QVERIFY(std::abs(Route::geodesicM(0, 0, 0, 1) - 111319.491) < 0.01);
    QCOMPARE(Route::geodesicM(-23.5, -46.6, -23.5, -46.6), 0.0);
}

void TestRoute::readCsv_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error"); // a part of it; empty: read
    QTest::addColumn<QString>("distances");
    QTest::addColumn<QString>("readAs"); // how it says it read it
    QTest::newRow("semicolons, decimal comma")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nORIGEM;origem;0;;;\n"
                      "CEO-01;emenda;1250,5;;;\nP-118;poste;2000;;;25\n")
        << ""
        << "0,1250.5,2000"
        << "CSV, separador ';', vírgula decimal, UTF-8";
    QTest::newRow("commas, decimal point, another order, a byte order mark")
        << QByteArray("\xEF\xBB\xBFtipo,nome,reserva_m,distancia_m,lat,lon\norigem,ORIGEM,,0,,\n"
                      "emenda,\"CEO, 01\",,812.25,,\n")
        << ""
        << "0,812.25"
        << "CSV, separador ',', ponto decimal, UTF-8";
    QTest::newRow("commas, decimal commas in quotes")
        << QByteArray("nome,tipo,distancia_m,lat,lon,reserva_m\nO,origem,0,\"-23,5\",\"-46,6\",0\n"
                      "A,poste,\"120,5\",,,\n")
        << ""
        << "0,120.5"
        << "CSV, separador ',', vírgula decimal, UTF-8";
    QTest::newRow("commas, decimal commas without quotes: 9 fields to 6")
        << QByteArray("nome,tipo,distancia_m,lat,lon,reserva_m\nO,origem,0,5,-23,5,-46,6,0\n")
        << "linha 2: 9 campos, e o cabeçalho tem 6: com ',' separando os campos, uma vírgula "
           "decimal sem aspas parte os números"
        << ""
        << "";
    QTest::newRow("Latin-1, as a Windows spreadsheet saves it")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nS\xe3o Jo\xe3o;origem;0;;;\n"
                      "Pra\xe7\x61 \x96 CEO;emenda;300,5;;;\n")
        << ""
        << "0,300.5"
        << "CSV, separador ';', vírgula decimal, Latin-1 (Windows)";
    // Little-endian with its mark, as Windows writes it.
    QByteArray utf16("\xFF\xFE", 2);
    for (const QChar c : QStringLiteral("nome;tipo;distancia_m;lat;lon;reserva_m\nOrigem São João;"
                                        "origem;0;;;\n")) {
        utf16.append(char(c.unicode() & 0xFF));
        utf16.append(char(c.unicode() >> 8));
    }
    QTest::newRow("UTF-16, a spreadsheet's Unicode text") << utf16 << ""
                                                          << "0"
                                                          << "CSV, separador ';', UTF-16";
    QTest::newRow("tabs between the fields")
        << QByteArray("nome\ttipo\tdistancia_m\tlat\tlon\treserva_m\nO\torigem\t0\t\t\t\n")
        << "linha 1: o separador dos campos é a tabulação; salve a planilha como CSV com o "
           "separador ';' (ou ',')"
        << ""
        << "";
    QTest::newRow("1,500 alone: 1,5 m or 1500 m")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;;;\nA;poste;1,500;;;\n")
        << "linha 3: \"1,500\" pode ser 1,5 ou 1500, e nenhum outro número do arquivo diz qual"
        << ""
        << "";
    QTest::newRow("1,500 beside other decimal commas: 1,5 m")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;;;\nA;poste;1,500;;;\n"
                      "B;poste;2,25;;;\n")
        << ""
        << "0,1.5,2.25"
        << "CSV, separador ';', vírgula decimal, UTF-8";
    QTest::newRow("1,500 where the coordinates have decimal points: 1500 m")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;-23.50;-46.60;\n"
                      "A;poste;1,500;-23.49;-46.60;\n")
        << ""
        << "0,1500"
        << "CSV, separador ';', ponto decimal, UTF-8";
    QTest::newRow("thousands grouped, decimal comma")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;;;\n"
                      "A;poste;12.345,5;;;\n")
        << ""
        << "0,12345.5"
        << "CSV, separador ';', vírgula decimal, UTF-8";
    QTest::newRow("decimal comma in distances, points in coordinates pasted as text")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;-23.5505;-46.633;\n"
                      "A;poste;812,5;-23.5405;-46.633;\n")
        << ""
        << "0,812.5"
        << "CSV, separador ';', vírgula e ponto decimais, UTF-8";
    QTest::newRow("not a text file") << QByteArray("Map\0\xc8\0\x10\0\0\0", 10) << "não é texto"
                                     << ""
                                     << "";
    QTest::newRow("a distance that goes back")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;;;\nA;poste;500;;;\n"
                      "B;poste;400,5;;;\n")
        << "linha 4: a distância volta (400,5 m depois de 500,0 m)"
        << ""
        << "";
    QTest::newRow("a missing column") << QByteArray("nome;tipo;distancia_m;lat;lon\nO;origem;0;;\n")
                                      << "linha 1: falta a coluna \"reserva_m\""
                                      << ""
                                      << "";
    QTest::newRow("a point without distance or coordinates")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;;;\nA;poste;;;;\n")
        << "linha 3: ponto sem distância nem coordenadas"
        << ""
        << "";
    QTest::newRow("a kind that is no kind")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;;;\nA;torre;10;;;\n")
        << "linha 3: tipo \"torre\" desconhecido"
        << ""
        << "";
    QTest::newRow("a distance measured from coordinates the point before lacks")
        << QByteArray("nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;;;\nA;poste;;1;0;\n")
        << "linha 3: sem distância"
        << ""
        << "";
    QTest::newRow("a distance no cable has") << QByteArray(
        "nome;tipo;distancia_m;lat;lon;reserva_m\nO;origem;0;;;\nA;poste;5.000.000;;;\n")
                                             << "linha 3: distância ou reserva de mais de 1000 km"
                                             << ""
                                             << "";
}

void TestRoute::readCsv()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QFETCH(QString, distances);
    QFETCH(QString, readAs);
    const Route::Read r = Route::readCsv(text, QStringLiteral("rota.csv"));
    if (!error.isEmpty()) {
        QVERIFY(!r.route);
        QVERIFY2(r.error.startsWith("rota.csv") && r.error.contains(error), qPrintable(r.error));
        return;
    }
    QVERIFY2(r.route, qPrintable(r.error));
    QCOMPARE(r.route->readAs, readAs);
    const QStringList expected = distances.split(',');
    QCOMPARE(r.route->points.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(std::abs(r.route->points.at(i).routeM - expected.at(i).toDouble()) < 0.01,
                 qPrintable(QString::number(r.route->points.at(i).routeM)));
    if (text.contains("CEO, 01"))
        QCOMPARE(r.route->points.at(1).name, QStringLiteral("CEO, 01"));
    if (text.contains("P-118"))
        QCOMPARE(r.route->points.at(2).slackM, 25.0);
    if (readAs.contains("UTF-16"))
        QCOMPARE(r.route->points.at(0).name, QStringLiteral("Origem São João"));
    if (readAs.contains("Latin-1")) {
        QCOMPARE(r.route->points.at(0).name, QStringLiteral("São João"));
        QCOMPARE(r.route->points.at(1).name, QStringLiteral("Praça – CEO"));
    }
    if (text.contains("-23,5"))
        QCOMPARE(*r.route->points.at(0).lat, -23.5);
    QVERIFY(!Route::readRoute(QStringLiteral("/nonexistent/rota.csv")).route);
    QVERIFY(Route::readRoute(QStringLiteral("/nonexistent/rota.csv"))
                .error.contains("arquivo não encontrado"));
}

// A KML as Google Earth saves it: a line, and placemarks in any order with their kind and loop
// in ExtendedData or in the description; each placed along the line, the line's start the
// origin.
void TestRoute::readKml()
{
    const QByteArray kml = R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document>
<Placemark><name>P-02</name><description>tipo: poste; reserva_m: 15</description>
  <Point><coordinates>-46.6,-23.48,0</coordinates></Point></Placemark>
<Placemark><name>traçado</name><LineString><coordinates>
  -46.6,-23.5,0 -46.6,-23.49,0 -46.59,-23.49,0 -46.59,-23.47,0</coordinates></LineString></Placemark>
<Placemark><name>CEO-01</name><ExtendedData><Data name="tipo"><value>emenda</value></Data>
  </ExtendedData><Point><coordinates>-46.595,-23.4901,0</coordinates></Point></Placemark>
</Document></kml>)";
    const Route::Read r = Route::readKml(kml, QStringLiteral("rota.kml"));
    QVERIFY2(r.route, qPrintable(r.error));
    const QVector<Route::Point> &p = r.route->points;
    QCOMPARE(p.size(), 3);
    QCOMPARE(p.at(0).kind, Route::Kind::Origin);
    QCOMPARE(p.at(1).name, QStringLiteral("CEO-01"));
    QCOMPARE(p.at(1).kind, Route::Kind::Splice);
    QCOMPARE(p.at(2).name, QStringLiteral("P-02"));
    QCOMPARE(p.at(2).slackM, 15.0);
    // Along the line: 0.01° north, then half of 0.01° east, for CEO-01.
    const double north = Route::geodesicM(-23.5, -46.6, -23.49, -46.6);
    const double east = Route::geodesicM(-23.49, -46.6, -23.49, -46.59);
    QVERIFY2(std::abs(p.at(1).routeM - (north + east / 2)) < 2,
             qPrintable(QString::number(p.at(1).routeM)));
    QVERIFY(p.at(2).routeM > p.at(1).routeM);
    QCOMPARE(r.route->line.size(), 4);
    QCOMPARE(r.route->readAs, QStringLiteral("KML"));
    QVERIFY(r.route->warnings.isEmpty());
    QVERIFY(!Route::readKml("<kml><Document><Placemark>", "x.kml").route);
    // Without the line, the route runs straight from one placemark to the next, in the file's
    // order, and says so.
    const QByteArray pointsOnly = R"(<kml><Document>
<Placemark><name>O</name><description>tipo: origem</description>
  <Point><coordinates>-46.6,-23.5,0</coordinates></Point></Placemark>
<Placemark><name>CEO-01</name><description>tipo: emenda</description>
  <Point><coordinates>-46.6,-23.49,0</coordinates></Point></Placemark>
<Placemark><name>P-02</name><description>tipo: poste</description>
  <Point><coordinates>-46.59,-23.49,0</coordinates></Point></Placemark>
</Document></kml>)";
    const Route::Read straight = Route::readKml(pointsOnly, QStringLiteral("pontos.kml"));
    QVERIFY2(straight.route, qPrintable(straight.error));
    QVERIFY2(straight.route->warnings.join(' ').contains("a rota vai em linha reta"),
             qPrintable(straight.route->warnings.join(' ')));
    QCOMPARE(straight.route->points.size(), 3);
    QVERIFY(std::abs(straight.route->points.at(2).routeM - (north + east)) < 2);
    // A place off the globe is refused, not drawn.
    QVERIFY2(
        Route::readKml("<kml><Placemark><name>X</name><Point><coordinates>-400,95</coordinates>"
                       "</Point></Placemark></kml>",
                       "x.kml")
            .error.contains("fora do globo"),
        "off the globe");
}

void TestRoute::modelInverse_data()
{
    QTest::addColumn<double>("efl");
    QTest::addColumn<double>("offset");
    QTest::addColumn<bool>("loopAtStart");
    QTest::addColumn<bool>("loopAtEnd");
    QTest::newRow("no loops, no cord") << 0.0 << 0.0 << false << false;
    QTest::newRow("2 % and a 40 m cord") << 0.02 << 40.0 << false << false;
    QTest::newRow("a loop at the origin") << 0.012 << 15.0 << true << false;
    QTest::newRow("a loop at the last point") << 0.03 << 25.0 << false << true;
}

// Every route distance the model turns into a fibre distance comes back from it; a distance
// inside a loop lies at that loop's point.
void TestRoute::modelInverse()
{
    QFETCH(double, efl);
    QFETCH(double, offset);
    QFETCH(bool, loopAtStart);
    QFETCH(bool, loopAtEnd);
    Route::Route route = northRoute({3000, 7100}, 10000);
    if (loopAtStart)
        route.points.first().slackM = 30;
    if (loopAtEnd)
        route.points.last().slackM = 30;
    Route::Calibration c;
    c.model = {efl, offset};
    for (double r : {1.0, 1999.0, 2001.0, 3000.5, 5500.0, 9999.0}) {
        const double d = c.model.fibreAt(route, r);
        const Route::Position p = Route::place(route, c, d, "x", 1);
        QVERIFY2(std::abs(p.routeM - r) < 1e-6,
                 qPrintable(QStringLiteral("%1 → %2").arg(r).arg(p.routeM)));
        QVERIFY(p.inSlack.isEmpty());
        QVERIFY(p.place && std::abs(p.place->lat - (-23.5 + r / 110760.0)) < 1e-9);
    }
    // Halfway through the loop at P-002 (4 km): at the pole.
    const double loopStart = c.model.fibreAt(route, 4000);
    const Route::Position in = Route::place(route, c, loopStart + (1 + efl) * 10, "x", 1);
    QCOMPARE(in.inSlack, QStringLiteral("P-002"));
    QCOMPARE(in.routeM, 4000.0);
    QCOMPARE(Route::whereText(in), QStringLiteral("na reserva técnica do P-002"));
    if (loopAtStart) {
        const Route::Position first = Route::place(route, c, offset + (1 + efl) * 10, "x", 1);
        QCOMPARE(first.inSlack, QStringLiteral("ORIGEM"));
    }
    if (loopAtEnd) {
        const Route::Position last
            = Route::place(route, c, c.model.fibreAt(route, 10000) + (1 + efl) * 10, "x", 1);
        QCOMPARE(last.inSlack, QStringLiteral("FIM"));
        QVERIFY(!last.pastEnd);
    }
}

void TestRoute::calibration_data()
{
    QTest::addColumn<int>("closures"); // used as anchors
    QTest::addColumn<bool>("wrongClosure");
    QTest::addColumn<int>("fitted");
    QTest::addColumn<double>("closureLoop"); // each closure's own loop, its splice in the middle
    QTest::newRow("five closures, one held out") << 5 << false << 2 << 0.0;
    QTest::newRow("two closures") << 2 << false << 2 << 0.0;
    QTest::newRow("one closure: the offset") << 1 << false << 1 << 0.0;
    QTest::newRow("none: as given") << 0 << false << 0 << 0.0;
    QTest::newRow("a closure the route puts 150 m wrong") << 5 << true << 2 << 0.0;
    QTest::newRow("closures with their loops") << 5 << false << 2 << 30.0;
}

// A fibre with 1.7 % excess on a route with loops and a 35 m cord: the closures calibrate the
// model, and a closure held out of it and the fibre's end are placed within the goal.
void TestRoute::calibration()
{
    QFETCH(int, closures);
    QFETCH(bool, wrongClosure);
    QFETCH(int, fitted);
    QFETCH(double, closureLoop);
    const QVector<double> all{2600, 5900, 9300, 12800, 16100, 19700};
    const Route::Model truth{0.017, 35};
    Route::Route full = northRoute(all, 21000);
    for (Route::Point &p : full.points) {
        if (p.kind == Route::Kind::Splice)
            p.slackM = closureLoop;
    }
    const Sor::Trace trace = laid(full, truth, 20500, 11);
    // The route the technician has: some closures, the held-out one (the fourth) as a pole.
    Route::Route route = full;
    int seen = 0;
    QString heldOut;
    double heldOutRoute = 0;
    for (Route::Point &p : route.points) {
        if (p.kind != Route::Kind::Splice)
            continue;
        if (p.routeM == 12800) {
            heldOut = p.name;
            heldOutRoute = p.routeM;
            p.kind = Route::Kind::Other;
        } else if (seen++ >= closures) {
            p.kind = Route::Kind::Other;
        }
    }
    if (wrongClosure) {
        for (Route::Point &p : route.points) {
            if (p.name == QLatin1String("CEO-02"))
                p.routeM += 150;
        }
        std::stable_sort(route.points.begin(),
                         route.points.end(),
                         [](const auto &a, const auto &b) { return a.routeM < b.routeM; });
    }
    Route::Given given;
    if (closures == 1)
        given.efl = truth.efl;
    if (closures == 0)
        given = {truth.efl, truth.offsetM};
    const Route::Located l = Route::locateTrace("f.sor", trace, route, given, {});
    const Route::Calibration &c = l.calibration;
    if (qEnvironmentVariableIsSet("ROUTE_DEBUG"))
        qDebug().noquote() << Route::table(l);
    QCOMPARE(c.fitted, fitted);
    if (fitted == 2) {
        QVERIFY2(std::abs(c.model.efl - truth.efl) < 0.0005,
                 qPrintable(QString::number(c.model.efl)));
        QVERIFY2(std::abs(c.model.offsetM - truth.offsetM) < 6,
                 qPrintable(QString::number(c.model.offsetM)));
        QVERIFY(c.rmsM && *c.rmsM < 5);
    }
    if (fitted == 1)
        QVERIFY2(std::abs(c.model.offsetM - truth.offsetM) < 6,
                 qPrintable(QString::number(c.model.offsetM)));
    if (fitted == 0)
        QVERIFY(c.warnings.join('\n').contains("nenhuma emenda da rota vista no traço"));
    QCOMPARE(std::count_if(c.anchors.cbegin(),
                           c.anchors.cend(),
                           [](const Route::Anchor &a) { return a.flagged; }),
             wrongClosure ? 1 : 0);
    if (wrongClosure) {
        const auto wrong = std::find_if(
            c.anchors.cbegin(), c.anchors.cend(), [](const Route::Anchor &a) { return a.flagged; });
        QCOMPARE(wrong->name, QStringLiteral("CEO-02"));
        QVERIFY(c.warnings.join('\n').contains("CEO-02"));
    }
    // The held-out closure's splice and the end, where they lie in the street.
    bool foundHeldOut = false;
    bool foundEnd = false;
    for (const Route::Position &p : l.positions) {
        if (std::abs(p.otdrM - truth.fibreAt(full, heldOutRoute)) < 30 + closureLoop && !p.end) {
            foundHeldOut = true;
            QVERIFY2(std::abs(p.routeM - heldOutRoute) <= goal(heldOutRoute),
                     qPrintable(QStringLiteral("%1 for %2").arg(p.routeM).arg(heldOutRoute)));
            QVERIFY(p.place
                    && std::abs(p.place->lat - (-23.5 + heldOutRoute / 110760.0)) * 110760
                           <= goal(heldOutRoute));
            QVERIFY2(Route::whereText(p).contains(heldOut)
                         || p.after->distanceM < goal(heldOutRoute),
                     qPrintable(Route::whereText(p)));
            if (closureLoop > 0)
                QCOMPARE(p.inSlack, heldOut);
        }
        if (p.end) {
            foundEnd = true;
            QVERIFY2(std::abs(p.routeM - 20500) <= goal(20500),
                     qPrintable(QString::number(p.routeM)));
            QCOMPARE(p.after->name, QStringLiteral("P-010"));
            QCOMPARE(p.before->name, QStringLiteral("FIM"));
            QVERIFY(p.uncertaintyM > 1 && p.uncertaintyM < 15);
        }
    }
    QVERIFY(foundHeldOut && foundEnd);
}

// A distance before the origin or past the last point is said, and gets no coordinates.
void TestRoute::offTheRoute()
{
    const Route::Route route = northRoute({}, 4000);
    Route::Calibration c;
    c.model = {0.01, 50};
    const Route::Position before = Route::place(route, c, 20, "cordão", 1);
    QVERIFY(before.beforeOrigin && !before.place);
    QCOMPARE(Route::whereText(before), QStringLiteral("30 m antes da origem (ORIGEM)"));
    const Route::Position past = Route::place(route, c, 5000, "longe", 1);
    QVERIFY(past.pastEnd && !past.place);
    QVERIFY2(Route::whereText(past).endsWith("depois do último ponto (FIM)"),
             qPrintable(Route::whereText(past)));
}

void TestRoute::twoEnds_data()
{
    QTest::addColumn<double>("breakA"); // where A's fibre ends, route metres
    QTest::addColumn<double>("breakB"); // and B's; at the route's ends: whole
    QTest::addColumn<QString>("says");
    QTest::newRow("one break seen from both sides") << 8400.0 << 8400.0 << "um rompimento";
    QTest::newRow("two breaks") << 5200.0 << 11300.0 << "duas falhas";
    QTest::newRow("a whole fibre") << 15000.0 << 0.0 << "chega inteira";
}

// A's trace from the origin and B's from the last point, each calibrated on its own side.
void TestRoute::twoEnds()
{
    QFETCH(double, breakA);
    QFETCH(double, breakB);
    QFETCH(QString, says);
    const Route::Route route = northRoute({2600, 5900, 9300, 12800}, 15000);
    const Route::Route back = route.reversed();
    const Sor::Trace a = laid(route, {0.015, 30}, breakA, 21);
    const Sor::Trace b = laid(back, {0.015, 45}, 15000 - breakB, 22);
    // The cable's EFL from its data sheet: one closure on a side is enough for its offset.
    const Route::Given sheet{0.015, std::nullopt};
    const Route::Located fromA = Route::locateTrace("a.sor", a, route, sheet, {});
    const Route::Located fromB = Route::locateTrace("b.sor", b, route, sheet, {}, true);
    const auto end = [](const Route::Located &l) {
        return *std::find_if(
            l.positions.cbegin(), l.positions.cend(), [](const auto &p) { return p.end; });
    };
    QVERIFY(std::abs(end(fromB).routeM - breakB) <= goal(15000 - breakB));
    const Route::TwoEnds t = Route::compareEnds(route, end(fromA), end(fromB));
    QVERIFY2(t.sentence.contains(says), qPrintable(t.sentence));
    QCOMPARE(t.agree, says == "um rompimento");
}

// One fibre from both ends with a 1 µs pulse, each end's instrument placing every event
// somewhere within a quarter of the pulse's length of where it is (as real ends do: one splice
// 27–33 m apart with 500 ns). Calibrated each on its own side on the route's four closures,
// the two ends put each splice that is no closure within the ± each claims, and no right
// closure is flagged, however far its anchor lies from the others.
void TestRoute::oneEventFromBothEnds()
{
    const QVector<double> closures{3000, 5000, 7000, 17000};
    const QVector<double> splices{9800, 12400, 14600}; // not on the route: located, not anchors
    const Route::Route route = northRoute(closures, 20000);
    const Route::Route back = route.reversed();
    const Route::Model model{0.012, 40};
    const double pulseM = Sor::pulseLengthM(1000, 1.468);
    // An end's trace: the fibre's splices, stored where that end's instrument put them.
    const auto measured
        = [&](const Route::Route &along, const QVector<double> &extra, std::mt19937 &random) {
              SorWriter::Simulation s;
              s.spacingM = 2.5;
              s.pulseNs = 1000;
              s.launchSnrDb = 34;
              s.seed = random();
              QVector<double> at;
              for (const Route::Point &p : along.points) {
                  if (p.kind == Route::Kind::Splice)
                      at << model.fibreAtCable(along.cableAt(p.routeM));
              }
              for (double x : extra)
                  at << model.fibreAt(along, x);
              std::sort(at.begin(), at.end());
              for (double x : at)
                  s.events << SorWriter::TrueEvent(SorWriter::TrueEvent::Step, x, 0.12);
              const double end = model.fibreAt(along, along.lengthM()) + 200;
              s.events << SorWriter::TrueEvent(SorWriter::TrueEvent::End, end, 0, -14);
              s.points = int(end / s.spacingM) + 2000;
              SorWriter::Trace t = SorWriter::simulatedTrace(s, true);
              std::uniform_real_distribution<double> within(-pulseM / 4, pulseM / 4);
              for (SorWriter::Event &e : t.events) {
                  if (e.code.at(1) != 'E')
                      e.time += SorWriter::timeFor(within(random), t.groupIndex);
              }
              return Sor::read(SorWriter::write(t));
          };
    QVector<double> fromTheFarEnd;
    for (double x : splices)
        fromTheFarEnd << route.lengthM() - x;
    for (quint32 seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        const Sor::Trace a = measured(route, splices, random);
        const Sor::Trace b = measured(back, fromTheFarEnd, random);
        const Route::Located fromA = Route::locateTrace("a.sor", a, route, {}, {});
        const Route::Located fromB = Route::locateTrace("b.sor", b, route, {}, {}, true);
        const QString tables = Route::table(fromA) + Route::table(fromB);
        for (const Route::Located *l : {&fromA, &fromB}) {
            QCOMPARE(l->calibration.fitted, 2);
            for (const Route::Anchor &anchor : l->calibration.anchors)
                QVERIFY2(!anchor.flagged, qPrintable(tables));
        }
        for (double x : splices) {
            const auto near = [x](const Route::Located &l) {
                return *std::min_element(
                    l.positions.cbegin(), l.positions.cend(), [x](const auto &p, const auto &q) {
                        return std::abs(p.routeM - x) < std::abs(q.routeM - x);
                    });
            };
            const Route::Position pa = near(fromA);
            const Route::Position pb = near(fromB);
            QVERIFY2(std::abs(pa.routeM - pb.routeM) <= pa.uncertaintyM + pb.uncertaintyM,
                     qPrintable(QStringLiteral("seed %1, splice at %2: %3 ± %4 and %5 ± %6\n%7")
                                    .arg(seed)
                                    .arg(x)
                                    .arg(pa.routeM)
                                    .arg(pa.uncertaintyM)
                                    .arg(pb.routeM)
                                    .arg(pb.uncertaintyM)
                                    .arg(tables)));
            // Each still near the truth, within its own ±.
            QVERIFY(std::abs(pa.routeM - x) <= pa.uncertaintyM);
            QVERIFY(std::abs(pb.routeM - x) <= pb.uncertaintyM);
        }
    }
}

// The KML written holds the route and the positions, the end in red; read back as a route it
// gives the same points.
void TestRoute::kmlWrittenAndReadBack()
{
    const Route::Route route = northRoute({2600, 5900}, 8000);
    const Sor::Trace trace = laid(route, {0.02, 20}, 7000, 5);
    const Route::Located l = Route::locateTrace("f.sor", trace, route, {}, {});
    const QByteArray kml = Route::kml(route, l.positions);
    const Route::Read back = Route::readKml(kml, "escrito.kml");
    QVERIFY2(back.route, qPrintable(back.error));
    QCOMPARE(back.route->points.size(), route.points.size());
    for (int i = 0; i < route.points.size(); ++i) {
        QCOMPARE(back.route->points.at(i).name, route.points.at(i).name);
        QCOMPARE(back.route->points.at(i).kind, route.points.at(i).kind);
        QVERIFY(std::abs(back.route->points.at(i).routeM - route.points.at(i).routeM) < 1);
        QCOMPARE(back.route->points.at(i).slackM, route.points.at(i).slackM);
    }
    QXmlStreamReader xml(kml);
    QStringList ends;
    QString name;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("name"))
            name = xml.readElementText();
        if (xml.isStartElement() && xml.name() == QLatin1String("styleUrl")
            && xml.readElementText() == QLatin1String("#fim"))
            ends << name;
    }
    QCOMPARE(ends, QStringList{"fim da fibra"});
    const QJsonObject geo = QJsonDocument::fromJson(Route::geoJson(route, l.positions)).object();
    QCOMPARE(geo.value("type").toString(), QStringLiteral("FeatureCollection"));
    QVERIFY(geo.value("features").toArray().size() >= route.points.size() + 1);
}

// The command: table, JSON with the calibration and the positions, the map files, refusals.
void TestRoute::command()
{
    QTemporaryDir dir;
    const Route::Route route = northRoute({2600, 5900, 9300}, 12000);
    const Sor::Trace trace = laid(route, {0.015, 30}, 11000, 9);
    QFile file(dir.filePath("f.sor"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    SorWriter::Simulation unused;
    Q_UNUSED(unused);
    file.write(SorWriter::write(SorWriter::simulatedTrace(
        [&] {
            SorWriter::Simulation s;
            s.spacingM = 2;
            s.pulseNs = 100;
            s.seed = 9;
            s.launchSnrDb = 34;
            for (const Route::Point &p : route.points)
                if (p.kind == Route::Kind::Splice)
                    s.events << SorWriter::TrueEvent(
                        SorWriter::TrueEvent::Step,
                        Route::Model{0.015, 30}.fibreAt(route, p.routeM),
                        0.15);
            const double end = Route::Model{0.015, 30}.fibreAt(route, 11000);
            s.events << SorWriter::TrueEvent(SorWriter::TrueEvent::End, end, 0, -14);
            s.points = int(end / 2) + 3000;
            return s;
        }(),
        true)));
    file.close();
    QFile csv(dir.filePath("rota.csv"));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("nome;tipo;distancia_m;lat;lon;reserva_m\n");
    for (const Route::Point &p : route.points)
        csv.write(QStringLiteral("%1;%2;%3;%4;%5;%6\n")
                      .arg(p.name, Route::kindWord(p.kind))
                      .arg(QString::number(p.routeM, 'f', 1).replace('.', ','))
                      .arg(*p.lat, 0, 'f', 7)
                      .arg(*p.lon, 0, 'f', 7)
                      .arg(p.slackM)
                      .toUtf8());
    csv.close();
    QString out;
    QString err;
    QCOMPARE(runCapturing({"locate",
                           file.fileName(),
                           "--route",
                           csv.fileName(),
                           "--at",
                           "4000",
                           "--json",
                           "--kml",
                           dir.filePath("m.kml"),
                           "--geojson",
                           dir.filePath("m.geojson")},
                          out,
                          err),
             0);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    const QJsonObject calibration
        = json.value("traces").toArray().at(0).toObject().value("calibration").toObject();
    QVERIFY(std::abs(calibration.value("efl_percent").toDouble() - 1.5) < 0.05);
    QCOMPARE(calibration.value("anchors").toArray().size(), 3);
    for (const char *key : {"offset_m", "rms_m"})
        QVERIFY2(calibration.contains(key), key);
    const QJsonArray positions
        = json.value("traces").toArray().at(0).toObject().value("positions").toArray();
    const QJsonObject at = positions.last().toObject();
    QCOMPARE(at.value("label").toString(), QStringLiteral("a 4000 m"));
    for (const char *key : {"otdr_m",
                            "cable_m",
                            "route_m",
                            "after",
                            "before",
                            "in_slack",
                            "lat",
                            "lon",
                            "uncertainty_m"})
        QVERIFY2(at.contains(key), key);
    QVERIFY(QFileInfo::exists(dir.filePath("m.kml"))
            && QFileInfo::exists(dir.filePath("m.geojson")));
    QCOMPARE(json.value("route_read_as").toString(),
             QStringLiteral("CSV, separador ';', vírgula e ponto decimais, UTF-8"));
    QCOMPARE(runCapturing({"locate", file.fileName(), "--route", csv.fileName()}, out, err), 0);
    QVERIFY2(out.contains("Calibração: EFL 1,5") && out.contains("fim da fibra"), qPrintable(out));
    QVERIFY2(out.contains("Rota: " + csv.fileName()
                          + " (CSV, separador ';', vírgula e ponto decimais, UTF-8)"),
             qPrintable(out));
    // Every number a user reads in metres has a decimal comma.
    const QRegularExpression pointed(QStringLiteral("\\d\\.\\d+ m\\b"));
    QVERIFY2(!pointed.match(out + err).hasMatch(), qPrintable(pointed.match(out + err).captured()));
    // A spreadsheet's commas with decimal commas: refused, with why.
    QFile commas(dir.filePath("virgulas.csv"));
    QVERIFY(commas.open(QIODevice::WriteOnly));
    commas.write("nome,tipo,distancia_m,lat,lon,reserva_m\nO,origem,0,-23,5,-46,6,0\n"
                 "A,poste,120,5,-23,4,-46,6,0\n");
    commas.close();
    QCOMPARE(runCapturing({"locate", file.fileName(), "--route", commas.fileName()}, out, err), 2);
    QVERIFY2(err.contains("vírgula decimal sem aspas") && out.isEmpty(), qPrintable(err));
    // A KML without its line: used, and the user told the route is drawn straight.
    QFile straight(dir.filePath("pontos.kml"));
    QVERIFY(straight.open(QIODevice::WriteOnly));
    straight.write(Route::kml(
        [&] {
            Route::Route r = route;
            r.line.clear();
            return r;
        }(),
        {}));
    straight.close();
    QVERIFY(!Route::readRoute(straight.fileName()).route->warnings.isEmpty());
    QCOMPARE(runCapturing({"locate", file.fileName(), "--route", straight.fileName()}, out, err),
             0);
    QVERIFY2(out.contains("Aviso: o KML não tem a linha do traçado") && err.contains("aviso"),
             qPrintable(out + err));
    // Refused, with the file named.
    QCOMPARE(
        runCapturing({"locate", file.fileName(), "--route", dir.filePath("nada.csv")}, out, err),
        2);
    QVERIFY2(err.contains("nada.csv: arquivo não encontrado"), qPrintable(err));
    QCOMPARE(runCapturing({"locate", file.fileName()}, out, err), 2);
    QCOMPARE(runCapturing({"locate", file.fileName(), "--route", csv.fileName(), "--efl", "muito"},
                          out,
                          err),
             2);
    // Numbers no cable has: refused, where they once printed nan, inf and overflowed places.
    for (const QStringList &wrong : {QStringList{"--efl", "-100"},
                                     {"--efl", "1e308"},
                                     {"--offset", "1e300"},
                                     {"--at", "1e300"},
                                     {"--at", "-5"}}) {
        QCOMPARE(
            runCapturing(QStringList{"locate", file.fileName(), "--route", csv.fileName()} + wrong,
                         out,
                         err),
            2);
        QVERIFY2(err.contains(wrong.first() + ": ") && err.contains("fora do intervalo")
                     && !out.contains("nan") && !out.contains("inf"),
                 qPrintable(wrong.join(' ') + ": " + err + out));
    }
    QCOMPARE(runCapturing(
                 {"locate", file.fileName(), "--route", csv.fileName(), "--efl", "2,5"}, out, err),
             0);
}

// A cable's job on its route: its closures take the route's names, a fibre that ends short is
// located; a report's trace page says where its end lies.
void TestRoute::cableAndReport()
{
    QTemporaryDir dir;
    for (int i = 1; i <= 4; ++i) {
        // Fibre 3 broken at 18 km.
        const SorWriter::CableEnds ends = SorWriter::cableFibre(i, i == 3 ? 18000 : 28000);
        for (const auto &end : {std::make_pair("a", &ends.a), std::make_pair("b", &ends.b)}) {
            QFile f(QStringLiteral("%1/F0%2-%3.sor").arg(dir.path()).arg(i).arg(end.first));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(SorWriter::write(*end.second));
        }
    }
    // The route: 1 % of excess fibre, no cord; the closures where the cable's are.
    Route::Route route = northRoute({}, 28000 / 1.01, 0);
    const QStringList names{"CEO-NORTE", "CEO-RIO", "DGO-PONTE"};
    for (int c = 0; c < 3; ++c) {
        Route::Point p;
        p.name = names.at(c);
        p.kind = Route::Kind::Splice;
        p.routeM = std::round(SorWriter::CableClosuresM[c] / 1.01);
        p.lat = -23.5 + p.routeM / 110760.0;
        p.lon = -46.6;
        route.points.append(p);
    }
    std::stable_sort(route.points.begin(), route.points.end(), [](const auto &a, const auto &b) {
        return a.routeM < b.routeM;
    });
    Cable::Options o;
    o.route = route;
    const Cable::Job job = Cable::run({dir.path()}, o);
    QVERIFY(job.routeCalibration);
    QCOMPARE(job.closures.size(), 3);
    for (int c = 0; c < 3; ++c)
        QCOMPARE(Cable::closureTitle(job.closures.at(c)), names.at(c));
    const QString shortFibre = job.checks.lengthOutliers.join('\n');
    // 18 km of fibre are 17.82 km of route: between the poles at 16 and 18 km.
    QVERIFY2(shortFibre.contains("fibra F03") && shortFibre.contains("o fim na rota: ")
                 && shortFibre.contains(" m depois de P-008, ")
                 && shortFibre.contains(" m antes de P-009"),
             qPrintable(shortFibre));
    // The report's page of a trace: where its end lies.
    QFile csv(dir.filePath("rota.csv"));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("nome;tipo;distancia_m;lat;lon;reserva_m\n");
    for (const Route::Point &p : route.points)
        csv.write(QStringLiteral("%1;%2;%3;;;0\n")
                      .arg(p.name, Route::kindWord(p.kind))
                      .arg(p.routeM)
                      .toUtf8());
    csv.close();
    QString out;
    QString err;
    const QString pdf = dir.filePath("r.pdf");
    QCOMPARE(
        runCapturing(
            {"report", dir.filePath("F03-a.sor"), "-o", pdf, "--route", csv.fileName()}, out, err),
        0);
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    QVERIFY(text.waitForFinished(30000));
    const QString pages = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    QVERIFY2(pages.contains("Na rota (rota.csv): fim da fibra:")
                 && pages.contains("depois de P-008"),
             qPrintable(pages));
    QCOMPARE(runCapturing(
                 {"report", dir.filePath("F03-a.sor"), "-o", pdf, "--route", dir.filePath("x.csv")},
                 out,
                 err),
             2);
}

QTEST_MAIN(TestRoute)
#include "tst_route.moc"
