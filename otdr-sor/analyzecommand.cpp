#include "analyzecommand.h"

#include "analysis/analysisjson.h"
#include "analysis/pointloss.h"
#include "commandline.h"
#include "onefibre/onefibrejson.h"
#include "sor/sortext.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <cmath>

namespace {

QString kindText(Analysis::EventType type)
{
    switch (type) {
    case Analysis::EventType::Reflective:
        return Sor::eventKindText(Sor::EventKind::Reflective);
    case Analysis::EventType::NonReflective:
        return Sor::eventKindText(Sor::EventKind::NonReflective);
    case Analysis::EventType::End:
        return Sor::eventKindText(Sor::EventKind::End);
    }
    return QString();
}

void printFound(const Analysis::Result &r, QTextStream &out)
{
    out << QStringLiteral("Eventos encontrados (limiares: perda %1 dB, refletância %2 dB, fim "
                          "%3 dB):\n")
               .arg(Sor::decimal(r.thresholds.lossDb, 3),
                    Sor::decimal(r.thresholds.reflectanceDb, 1),
                    Sor::decimal(r.thresholds.endDb, 1));
    if (r.events.empty()) {
        out << QStringLiteral("  nenhum\n");
    } else {
        out << QStringLiteral("  Nº  Distância (km)  Tipo            Perda (dB)  Refletância (dB)"
                              "  Atenuação (dB/km)  Confiança\n");
    }
    int number = 0;
    for (const Analysis::Event &e : r.events) {
        out << "  " << QString::number(++number).leftJustified(4)
            << Sor::decimal(e.distanceM / 1000.0, 4).rightJustified(14) << "  "
            << kindText(e.type).leftJustified(14)
            << (e.lossMeasured ? Sor::decimal(e.lossDb, 3) : QStringLiteral("não medido"))
                   .rightJustified(12)
            << "  " << Sor::optionalDecimal(e.reflectanceDb, 2).rightJustified(17) << "  "
            << Sor::optionalDecimal(e.attenuationDbKm, 3).rightJustified(17) << "  "
            << Analysis::confidenceText(e.confidence).rightJustified(9) << "\n";
    }
    const QString unknown = QStringLiteral("não determinado");
    out << QStringLiteral("Fim da fibra: %1   Perda total: %2   ORL: %3\n")
               .arg(r.fiberEndM ? Sor::kilometres(*r.fiberEndM) : QStringLiteral("não encontrado"),
                    r.totalLossDb ? Sor::decimal(*r.totalLossDb, 3) + QStringLiteral(" dB")
                                  : QStringLiteral("não determinada"),
                    r.orlDb ? Sor::decimal(*r.orlDb, 2) + QStringLiteral(" dB") : unknown);
    if (r.endConfidence)
        out << QStringLiteral("Confiança no fim: ") << Analysis::confidenceText(*r.endConfidence)
            << "\n";
    for (const QString &warning : r.warnings)
        out << QStringLiteral("Aviso: ") << warning << "\n";
    if (r.sections.empty())
        return;
    out << QStringLiteral("Trechos:\n");
    for (const Analysis::Section &section : r.sections) {
        out << "  " << Analysis::sectionText(section.kind).leftJustified(22)
            << QStringLiteral("%1 a %2 km")
                   .arg(Sor::decimal(section.startM / 1000, 4),
                        Sor::decimal(section.endM / 1000, 4))
                   .leftJustified(24);
        if (section.attenuationDbKm)
            out << QStringLiteral("  %1 dB/km  ruído %2 dB")
                       .arg(Sor::decimal(*section.attenuationDbKm, 3),
                            Sor::optionalDecimal(section.noiseDb, 3));
        out << "\n";
    }
}

} // namespace

void printFileEvents(const Sor::Trace &t, QTextStream &out)
{
    QStringList losses;
    int width = 10;
    for (const Sor::Event &e : t.keyEvents->events) {
        const Analysis::EventLoss loss = Analysis::eventLoss(t, e);
        losses << Sor::measuredHereText(loss.db, loss.measuredHere, 3);
        width = std::max(width, int(losses.last().size()));
    }
    out << QStringLiteral("  Nº  Distância (km)  ")
        << QStringLiteral("Perda (dB)").rightJustified(width)
        << QStringLiteral("  Refletância (dB)  Código\n");
    for (int i = 0; i < t.keyEvents->events.size(); ++i) {
        const Sor::Event &e = t.keyEvents->events.at(i);
        out << "  " << QString::number(e.number).leftJustified(4)
            << Sor::decimal(e.distanceM / 1000.0, 4).rightJustified(14) << "  "
            << losses.at(i).rightJustified(width) << "  "
            << Sor::reflectanceText(e, 3).rightJustified(17) << "  " << e.code << "\n";
    }
}

namespace {

QString sightingText(const OneFibre::Sighting &s)
{
    return s.seen == OneFibre::Seen::Found ? Sor::optionalDecimal(s.lossDb, 3) : s.why;
}

// Each event of the fibre, what each shot made of it, the ends, and whether they tell one story.
void printAgreement(const OneFibre::Agreement &a,
                    const std::vector<OneFibre::Shot> &shots,
                    QTextStream &out)
{
    out << QStringLiteral("\nUma só fibra: %1 traços (tolerância %2 m)\n")
               .arg(shots.size())
               .arg(Sor::decimal(a.toleranceM, 1));
    int number = 0;
    for (const OneFibre::Feature &f : a.features) {
        int found = 0;
        for (const OneFibre::Sighting &s : f.shots)
            found += s.seen == OneFibre::Seen::Found;
        out << "  " << QString::number(++number).leftJustified(4)
            << Sor::decimal(f.distanceM / 1000.0, 4).rightJustified(10) << QStringLiteral(" km  ")
            << QStringLiteral("visto em %1 de %2").arg(found).arg(shots.size())
            << (f.agrees ? QString() : QStringLiteral("  DISCORDA")) << "\n";
        for (size_t k = 0; k < shots.size(); ++k)
            out << "      " << shots[k].name << ": " << sightingText(f.shots[k]) << "\n";
    }
    out << QStringLiteral("  Fim da fibra: %1, %2 m entre o mais curto e o mais longo\n")
               .arg(a.endsAgree ? QStringLiteral("concordam") : QStringLiteral("DISCORDAM"),
                    Sor::decimal(a.endSpreadM, 1));
    for (const QString &d : a.disagreements)
        out << QStringLiteral("  Discorda: ") << d << "\n";
    out << (a.oneStory() ? QStringLiteral("Uma só história: sim\n")
                         : QStringLiteral("Uma só história: não\n"));
}

struct Analysed
{
    Sor::Trace trace;
    QString path;
    Analysis::Result result;
};

// Each file's result, with the shots' agreement where they were compared: one file's alone,
// several in a list.
void printJson(const std::vector<Analysed> &all,
               const OneFibre::Agreement *agreement,
               const std::vector<OneFibre::Shot> &shots,
               bool oneFile,
               QTextStream &out)
{
    QJsonArray each;
    for (const Analysed &a : all)
        each.append(Analysis::toJson(a.result, a.path));
    if (agreement)
        out << QJsonDocument(
                   QJsonObject{{QStringLiteral("traces"), each},
                               {QStringLiteral("agreement"), OneFibre::toJson(*agreement, shots)}})
                   .toJson(QJsonDocument::Indented);
    else if (!each.isEmpty())
        out << (oneFile ? QJsonDocument(each.first().toObject()) : QJsonDocument(each))
                   .toJson(QJsonDocument::Indented);
}

} // namespace

int analyzeFiles(const QStringList &files,
                 const Analysis::ThresholdChoice &thresholds,
                 bool json,
                 QTextStream &out,
                 QTextStream &err,
                 bool sameFibre)
{
    int status = 0;
    std::vector<Analysed> all;
    all.reserve(size_t(files.size()));
    for (const QString &path : files) {
        // Here a file that cannot be read is as one that cannot be used: the others go on.
        int refused = 0;
        std::optional<Sor::Trace> trace = CommandLine::openTrace(path, err, refused);
        if (!trace) {
            status = 1;
            continue;
        }
        Analysis::Result result
            = Analysis::analyze(*trace, Analysis::thresholdsFor(*trace, thresholds));
        all.push_back({std::move(*trace), path, std::move(result)});
    }
    std::vector<OneFibre::Shot> shots;
    for (const Analysed &a : all)
        shots.push_back({QFileInfo(a.path).fileName(), &a.trace, a.result});
    if (sameFibre) {
        const QString why = OneFibre::notOneFibre(shots, true);
        if (!why.isEmpty()) {
            err << QStringLiteral("otdr-sor: os traços não são de uma só fibra: ") << why << "\n";
            return 2;
        }
    }
    const bool compared = shots.size() >= 2 && (sameFibre || OneFibre::sameFibre(shots));
    const OneFibre::Agreement agreement
        = compared ? OneFibre::compare(shots) : OneFibre::Agreement();
    if (json) {
        printJson(all, compared ? &agreement : nullptr, shots, files.size() == 1, out);
        return status;
    }
    for (size_t k = 0; k < all.size(); ++k) {
        out << (k == 0 ? "" : "\n") << all[k].path << "\n";
        printFound(all[k].result, out);
        if (all[k].trace.keyEvents && !all[k].trace.keyEvents->events.isEmpty()) {
            out << QStringLiteral("Eventos do arquivo:\n");
            printFileEvents(all[k].trace, out);
        }
    }
    if (compared)
        printAgreement(agreement, shots, out);
    return status;
}

namespace {

// Each one given overrides the file's own (what its instrument used), then the default.
const QCommandLineOption lossThreshold{
    QStringLiteral("loss-threshold"),
    QStringLiteral("Menor perda que é evento (a do arquivo; sem ela, %1 dB).")
        .arg(Sor::decimal(Analysis::Thresholds().lossDb, 2)),
    QStringLiteral("DB")};
const QCommandLineOption reflectanceThreshold{
    QStringLiteral("reflectance-threshold"),
    QStringLiteral("Menor refletância que é evento reflexivo (a do arquivo; sem ela, %1 dB).")
        .arg(Analysis::Thresholds().reflectanceDb),
    QStringLiteral("DB")};
const QCommandLineOption endThreshold{
    QStringLiteral("end-threshold"),
    QStringLiteral("Queda que marca o fim da fibra (a do arquivo; sem ela, %1 dB).")
        .arg(Analysis::Thresholds().endDb),
    QStringLiteral("DB")};
const QCommandLineOption json
    = CommandLine::jsonOption(QStringLiteral("Os eventos encontrados em JSON."));
const QCommandLineOption sameFibre{
    QStringLiteral("same-fibre"),
    QStringLiteral("Os traços são disparos de uma só fibra: confere um com o outro.")};

// otdr-sor analyze: the command line of analyzeFiles.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    Analysis::ThresholdChoice thresholds;
    // The first option whose value is no threshold, named with that value.
    QString invalid;
    const auto chosen = [&](const QCommandLineOption &option,
                            std::optional<double> &value,
                            double lowest,
                            bool lowestAllowed) {
        double number = 0;
        if (!parser.isSet(option) || !invalid.isEmpty())
            return;
        const QString given = parser.value(option);
        if (!CommandLine::numberValue(given, number) || number < lowest
            || (!lowestAllowed && number == lowest))
            invalid = QStringLiteral("--%1 %2").arg(option.names().first(), given);
        value = number;
    };
    chosen(lossThreshold, thresholds.lossDb, 0, true);
    chosen(reflectanceThreshold, thresholds.reflectanceDb, -HUGE_VAL, true);
    chosen(endThreshold, thresholds.endDb, 0, false);
    if (!invalid.isEmpty()) {
        err << QStringLiteral("otdr-sor: limiar inválido: %1 (um número em dB%2)\n")
                   .arg(invalid,
                        invalid.startsWith(QLatin1String("--end")) ? QStringLiteral(", maior que 0")
                        : invalid.startsWith(QLatin1String("--loss"))
                            ? QStringLiteral(", 0 ou mais")
                            : QString());
        return Command::Usage;
    }
    // A file that cannot be read is named, and the others analysed (exit status 1).
    return analyzeFiles(files, thresholds, parser.isSet(json), out, err, parser.isSet(sameFibre));
}

} // namespace

Command::Declaration analyzeCommand()
{
    return {
        QStringLiteral("analyze"),
        QStringLiteral("acha os eventos de cada traço (--json)"),
        {CommandLine::tracesArgument()},
        Command::eachAlone({lossThreshold, reflectanceThreshold, endThreshold, sameFibre, json}),
        run};
}
