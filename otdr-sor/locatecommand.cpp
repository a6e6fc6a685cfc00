#include "command.h"
#include "route/tracelocate.h"
#include "sor/savefile.h"
#include "sor/sorreader.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace {

// otdr-sor locate: each event, the fibre's end and the distances asked for, placed on the
// cable's route; from both ends, whether the two ends see one break.
class LocateCommand : public Command
{
public:
    LocateCommand()
        : Command(QStringLiteral("locate"),
                  QStringLiteral("eventos e rompimentos na rota: distância na rua e coordenadas"))
    {
    }

    QString describe(QCommandLineParser &parser) const override
    {
        return usage(
            parser,
            {{QStringLiteral("ARQUIVO"),
              QStringLiteral("Um traço; ou dois, o segundo medido da outra ponta da rota."),
              1,
              2}},
            {{{route}, true}, {{efl}}, {{offset}}, {{at}}, {{json}}, {{kml}}, {{geojson}}});
    }

    std::optional<int> run(const QStringList &files,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const override
    {
        Route::Given given;
        for (const auto &option :
             {std::make_pair(&efl, &given.efl), std::make_pair(&offset, &given.offsetM)}) {
            if (!parser.isSet(*option.first))
                continue;
            double v = 0;
            if (!CommandLine::numberValue(parser.value(*option.first), v)) {
                err << QStringLiteral("otdr-sor: --%1: \"%2\" não é um número\n")
                           .arg(option.first->names().first(), parser.value(*option.first));
                return Usage;
            }
            *option.second = v;
        }
        if (given.efl)
            *given.efl /= 100; // given in percent
        QVector<double> atM;
        for (const QString &text : parser.values(at)) {
            double v = 0;
            if (!CommandLine::numberValue(text, v)) {
                err << QStringLiteral("otdr-sor: --at: \"%1\" não é uma distância\n").arg(text);
                return Usage;
            }
            atM << v;
        }
        for (const QString &path : files) {
            if (!CommandLine::readable(path, err))
                return Usage;
        }
        const std::optional<Route::Route> cableRoute
            = CommandLine::readRoute(parser.value(route), err);
        if (!cableRoute)
            return Usage;
        for (const QCommandLineOption *o : {&kml, &geojson}) {
            if (parser.isSet(*o) && !CommandLine::outputAllowed(parser.value(*o), files, err))
                return Usage;
        }
        QVector<Route::Located> located;
        for (int i = 0; i < files.size(); ++i) {
            const Sor::Opened opened = Sor::openTrace(files.at(i));
            if (!opened.usable()) {
                err << "otdr-sor: " << files.at(i) << ": " << opened.problem << "\n";
                return Damaged;
            }
            located << Route::locateTrace(
                QFileInfo(files.at(i)).fileName(), opened.trace, *cableRoute, given, atM, i == 1);
        }
        std::optional<Route::TwoEnds> ends;
        const auto endOf = [](const Route::Located &l) {
            return std::find_if(
                l.positions.cbegin(), l.positions.cend(), [](const auto &p) { return p.end; });
        };
        if (located.size() == 2 && endOf(located.at(0)) != located.at(0).positions.cend()
            && endOf(located.at(1)) != located.at(1).positions.cend()) {
            ends = Route::compareEnds(*cableRoute, *endOf(located.at(0)), *endOf(located.at(1)));
        }
        if (parser.isSet(json)) {
            QJsonArray traces;
            for (const Route::Located &l : located)
                traces.append(Route::toJson(l));
            QJsonObject all{{"route", cableRoute->path},
                            {"route_read_as", cableRoute->readAs},
                            {"route_warnings", QJsonArray::fromStringList(cableRoute->warnings)},
                            {"traces", traces}};
            if (ends)
                all.insert("two_ends", Route::toJson(*ends));
            out << QJsonDocument(all).toJson(QJsonDocument::Indented);
        } else {
            out << QStringLiteral("Rota: %1 (%2)\n").arg(cableRoute->path, cableRoute->readAs);
            for (const QString &warning : cableRoute->warnings)
                out << QStringLiteral("Aviso: %1\n").arg(warning);
            for (const Route::Located &l : located)
                out << Route::table(l) << "\n";
            if (ends)
                out << Route::twoEndsText(*ends);
        }
        QVector<Route::Position> all;
        for (const Route::Located &l : located)
            all << l.positions;
        const QList<QPair<const QCommandLineOption *, QByteArray>> maps{
            {&kml, parser.isSet(kml) ? Route::kml(*cableRoute, all) : QByteArray()},
            {&geojson, parser.isSet(geojson) ? Route::geoJson(*cableRoute, all) : QByteArray()}};
        for (const auto &map : maps) {
            QString error;
            if (parser.isSet(*map.first)
                && !Sor::saveFile(parser.value(*map.first), map.second, &error)) {
                err << "otdr-sor: " << parser.value(*map.first) << ": " << error << "\n";
                return Usage;
            }
        }
        return Sound;
    }

private:
    const QCommandLineOption route = CommandLine::routeOption();
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
    const QCommandLineOption json{QStringLiteral("json"), QStringLiteral("O resultado em JSON.")};
    const QCommandLineOption kml{
        QStringLiteral("kml"),
        QStringLiteral("Grava a rota e as posições em KML (Google Earth)."),
        QStringLiteral("ARQUIVO.kml")};
    const QCommandLineOption geojson{
        QStringLiteral("geojson"),
        QStringLiteral("Grava a rota e as posições em GeoJSON (QGIS)."),
        QStringLiteral("ARQUIVO.geojson")};
};

} // namespace

std::unique_ptr<Command> makeLocateCommand()
{
    return std::make_unique<LocateCommand>();
}
