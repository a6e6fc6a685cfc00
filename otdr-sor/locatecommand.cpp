#include "commandline.h"
#include "route/tracelocate.h"
#include "sor/savefile.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>
#include <cmath>

namespace {

// A cable's excess fibre is a few percent; an OTDR reaches a few hundred kilometres.
constexpr int MostShortEflPct = -5;
constexpr int MostEflPct = 20;
constexpr int MostDistanceM = 500000;

const CommandLine::RouteOption route;
const QCommandLineOption efl{QStringLiteral("efl"),
                             QStringLiteral("Excesso de fibra sobre o cabo, em % (usado sem "
                                            "duas emendas da rota vistas no traço)."),
                             QStringLiteral("PCT")};
const QCommandLineOption offset{QStringLiteral("offset"),
                                QStringLiteral("Fibra antes da origem da rota, em metros "
                                               "(usado sem emenda vista no traço)."),
                                QStringLiteral("M")};
const QCommandLineOption at{QStringLiteral("at"),
                            QStringLiteral("Uma distância da fibra a localizar também "
                                           "(repetível)."),
                            QStringLiteral("M")};
const QCommandLineOption json = CommandLine::jsonOption();
const QCommandLineOption kml{QStringLiteral("kml"),
                             QStringLiteral("Grava a rota e as posições em KML (Google Earth)."),
                             QStringLiteral("ARQUIVO.kml")};
const QCommandLineOption geojson{QStringLiteral("geojson"),
                                 QStringLiteral("Grava a rota e as posições em GeoJSON (QGIS)."),
                                 QStringLiteral("ARQUIVO.geojson")};

// --efl and --offset (numbers), and the distances of --at.
bool readDistances(const QCommandLineParser &parser,
                   Route::Given &given,
                   QVector<double> &atM,
                   QTextStream &err)
{
    for (const auto &option :
         {std::make_pair(&efl, &given.efl), std::make_pair(&offset, &given.offsetM)}) {
        if (!parser.isSet(*option.first))
            continue;
        double v = 0;
        if (!CommandLine::numberValue(parser.value(*option.first), v)) {
            err << QStringLiteral("otdr-sor: --%1: \"%2\" não é um número\n")
                       .arg(option.first->names().first(), parser.value(*option.first));
            return false;
        }
        *option.second = v;
    }
    // Past these a place on the route is nonsense (a fibre shorter than nothing, a distance
    // beyond any cable): refused rather than printed.
    if (given.efl && !(*given.efl >= MostShortEflPct && *given.efl <= MostEflPct)) {
        err << QStringLiteral("otdr-sor: --efl: %1 fora do intervalo de %2 a %3 %\n")
                   .arg(parser.value(efl))
                   .arg(MostShortEflPct)
                   .arg(MostEflPct);
        return false;
    }
    if (given.offsetM && !(std::abs(*given.offsetM) <= MostDistanceM)) {
        err << QStringLiteral("otdr-sor: --offset: %1 fora do intervalo de -%2 a %2 m\n")
                   .arg(parser.value(offset))
                   .arg(MostDistanceM);
        return false;
    }
    if (given.efl)
        *given.efl /= 100; // given in percent
    for (const QString &text : parser.values(at)) {
        double v = 0;
        if (!CommandLine::numberValue(text, v)) {
            err << QStringLiteral("otdr-sor: --at: \"%1\" não é uma distância\n").arg(text);
            return false;
        }
        if (!(v >= 0 && v <= MostDistanceM)) {
            err << QStringLiteral("otdr-sor: --at: %1 fora do intervalo de 0 a %2 m\n")
                       .arg(text)
                       .arg(MostDistanceM);
            return false;
        }
        atM << v;
    }
    return true;
}

// From both ends, where each sees the fibre end: whether they see one break.
std::optional<Route::TwoEnds> twoEnds(const Route::Route &cableRoute,
                                      const QVector<Route::Located> &located)
{
    const auto endOf = [](const Route::Located &l) {
        return std::find_if(
            l.positions.cbegin(), l.positions.cend(), [](const auto &p) { return p.end; });
    };
    if (located.size() == 2 && endOf(located.at(0)) != located.at(0).positions.cend()
        && endOf(located.at(1)) != located.at(1).positions.cend()) {
        return Route::compareEnds(cableRoute, *endOf(located.at(0)), *endOf(located.at(1)));
    }
    return std::nullopt;
}

QJsonObject asJson(const Route::Route &cableRoute,
                   const QVector<Route::Located> &located,
                   const std::optional<Route::TwoEnds> &ends)
{
    QJsonArray traces;
    for (const Route::Located &l : located)
        traces.append(Route::toJson(l));
    QJsonObject all{{"route", cableRoute.path},
                    {"route_read_as", cableRoute.readAs},
                    {"route_warnings", QJsonArray::fromStringList(cableRoute.warnings)},
                    {"traces", traces}};
    if (ends)
        all.insert("two_ends", Route::toJson(*ends));
    return all;
}

void printLocated(const Route::Route &cableRoute,
                  const QVector<Route::Located> &located,
                  const std::optional<Route::TwoEnds> &ends,
                  QTextStream &out)
{
    out << QStringLiteral("Rota: %1 (%2)\n").arg(cableRoute.path, cableRoute.readAs);
    for (const QString &warning : cableRoute.warnings)
        out << QStringLiteral("Aviso: %1\n").arg(warning);
    for (const Route::Located &l : located)
        out << Route::table(l) << "\n";
    if (ends)
        out << Route::twoEndsText(*ends);
}

// The route and every position, as KML and GeoJSON where asked for.
bool writeMaps(const QCommandLineParser &parser,
               const Route::Route &cableRoute,
               const QVector<Route::Located> &located,
               QTextStream &err)
{
    QVector<Route::Position> all;
    for (const Route::Located &l : located)
        all << l.positions;
    const QList<QPair<const QCommandLineOption *, QByteArray>> maps{
        {&kml, parser.isSet(kml) ? Route::kml(cableRoute, all) : QByteArray()},
        {&geojson, parser.isSet(geojson) ? Route::geoJson(cableRoute, all) : QByteArray()}};
    for (const auto &[option, bytes] : maps) {
        const QString path = parser.value(*option);
        if (parser.isSet(*option) && !CommandLine::wrote(path, err, [&](QString *why) {
                return Sor::saveFile(path, bytes, why);
            }))
            return false;
    }
    return true;
}

// otdr-sor locate: each event, the fibre's end and the distances asked for, placed on the
// cable's route; from both ends, whether the two ends see one break.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    Route::Given given;
    QVector<double> atM;
    if (!readDistances(parser, given, atM, err))
        return Command::Usage;
    for (const QString &path : files) {
        if (!CommandLine::readable(path, err))
            return Command::Usage;
    }
    std::optional<Route::Route> cableRoute;
    if (!route.read(parser, cableRoute, err)
        || !CommandLine::outputsAllowed(parser, {&kml, &geojson}, files, err))
        return Command::Usage;
    QVector<Route::Located> located;
    for (int i = 0; i < files.size(); ++i) {
        int status = Command::Sound;
        const std::optional<Sor::Trace> trace = CommandLine::openTrace(files.at(i), err, status);
        if (!trace)
            return status;
        located << Route::locateTrace(
            QFileInfo(files.at(i)).fileName(), *trace, *cableRoute, given, atM, i == 1);
    }
    const std::optional<Route::TwoEnds> ends = twoEnds(*cableRoute, located);
    if (parser.isSet(json))
        out << QJsonDocument(asJson(*cableRoute, located, ends)).toJson(QJsonDocument::Indented);
    else
        printLocated(*cableRoute, located, ends, out);
    return writeMaps(parser, *cableRoute, located, err) ? Command::Sound : Command::Usage;
}

} // namespace

Command::Declaration locateCommand()
{
    return {QStringLiteral("locate"),
            QStringLiteral("eventos e rompimentos na rota: distância na rua e coordenadas"),
            {{QStringLiteral("ARQUIVO"),
              QStringLiteral("Um traço; ou dois, o segundo medido da outra ponta da rota."),
              1,
              2}},
            {{{route.option}, true}, {{efl}}, {{offset}}, {{at}}, {{json}}, {{kml}}, {{geojson}}},
            run};
}
