#include "analyzecommand.h"

#include "analysis/analysisjson.h"
#include "analysis/pointloss.h"
#include "command.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

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
                              "  Atenuação (dB/km)\n");
    }
    int number = 0;
    for (const Analysis::Event &e : r.events) {
        out << "  " << QString::number(++number).leftJustified(4)
            << Sor::decimal(e.distanceM / 1000.0, 4).rightJustified(14) << "  "
            << kindText(e.type).leftJustified(14)
            << (e.lossMeasured ? Sor::decimal(e.lossDb, 3) : QStringLiteral("não medido"))
                   .rightJustified(12)
            << "  " << Sor::optionalDecimal(e.reflectanceDb, 2).rightJustified(17) << "  "
            << Sor::optionalDecimal(e.attenuationDbKm, 3).rightJustified(17) << "\n";
    }
    const QString unknown = QStringLiteral("não determinado");
    out << QStringLiteral("Fim da fibra: %1   Perda total: %2   ORL: %3\n")
               .arg(r.fiberEndM ? Sor::kilometres(*r.fiberEndM) : QStringLiteral("não encontrado"),
                    r.totalLossDb ? Sor::decimal(*r.totalLossDb, 3) + QStringLiteral(" dB")
                                  : QStringLiteral("não determinada"),
                    r.orlDb ? Sor::decimal(*r.orlDb, 2) + QStringLiteral(" dB") : unknown);
    for (const QString &warning : r.warnings)
        out << QStringLiteral("Aviso: ") << warning << "\n";
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

int analyzeFiles(const QStringList &files,
                 const Analysis::ThresholdChoice &thresholds,
                 bool json,
                 QTextStream &out,
                 QTextStream &err)
{
    int status = 0;
    QJsonArray all;
    bool first = true;
    for (const QString &path : files) {
        const Sor::Opened opened = Sor::openTrace(path);
        if (!opened.usable()) {
            err << "otdr-sor: " << path << ": " << opened.problem << "\n";
            status = 1;
            continue;
        }
        const Sor::Trace &trace = opened.trace;
        const Analysis::Result result
            = Analysis::analyze(trace, Analysis::thresholdsFor(trace, thresholds));
        if (json) {
            all.append(Analysis::toJson(result, path));
            continue;
        }
        out << (first ? "" : "\n") << path << "\n";
        first = false;
        printFound(result, out);
        if (trace.keyEvents && !trace.keyEvents->events.isEmpty()) {
            out << QStringLiteral("Eventos do arquivo:\n");
            printFileEvents(trace, out);
        }
    }
    if (json && !all.isEmpty()) {
        const QJsonDocument document
            = files.size() == 1 ? QJsonDocument(all.first().toObject()) : QJsonDocument(all);
        out << document.toJson(QJsonDocument::Indented);
    }
    return status;
}

namespace {

// otdr-sor analyze: the command line of analyzeFiles.
class AnalyzeCommand : public Command
{
public:
    AnalyzeCommand()
        : Command(QStringLiteral("analyze"),
                  QStringLiteral("ARQUIVO..."),
                  QStringLiteral("acha os eventos de cada traço (--json)"))
    {
    }

    QString describe(QCommandLineParser &parser) const override
    {
        parser.addPositionalArgument(
            QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), QStringLiteral("ARQUIVO..."));
        return usage(parser,
                     QStringLiteral("ARQUIVO..."),
                     {{{lossThreshold}}, {{reflectanceThreshold}}, {{endThreshold}}, {{json}}});
    }

    std::optional<int> run(const QStringList &files,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const override
    {
        if (files.isEmpty())
            return std::nullopt;
        Analysis::ThresholdChoice thresholds;
        bool ok = true;
        const auto chosen = [&](const QCommandLineOption &option, std::optional<double> &value) {
            double number = 0;
            if (!parser.isSet(option))
                return;
            ok = ok && CommandLine::numberValue(parser.value(option), number);
            value = number;
        };
        chosen(lossThreshold, thresholds.lossDb);
        chosen(reflectanceThreshold, thresholds.reflectanceDb);
        chosen(endThreshold, thresholds.endDb);
        if (!ok || thresholds.lossDb.value_or(0) < 0 || thresholds.endDb.value_or(1) <= 0) {
            err << QStringLiteral("otdr-sor: limiar inválido\n");
            return Usage;
        }
        for (const QString &path : files) {
            if (!CommandLine::readable(path, err))
                return Usage;
        }
        return analyzeFiles(files, thresholds, parser.isSet(json), out, err);
    }

private:
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
    const QCommandLineOption json{QStringLiteral("json"),
                                  QStringLiteral("Os eventos encontrados em JSON.")};
};

} // namespace

std::unique_ptr<Command> makeAnalyzeCommand()
{
    return std::make_unique<AnalyzeCommand>();
}
