#include "command.h"

#include "acceptance/twoway.h"
#include "sor/outputguard.h"
#include "sor/sortext.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

#include <cmath>

Command::Command(QString name, QString synopsis, QString description)
    : commandName(std::move(name))
    , commandSynopsis(std::move(synopsis))
    , commandDescription(std::move(description))
{
}

Command::~Command() = default;

QString Command::usage(QCommandLineParser &parser,
                       const QString &arguments,
                       const QList<Choice> &choices) const
{
    QStringList parts{QStringLiteral("otdr-sor"), commandName, arguments};
    for (const Choice &choice : choices) {
        QStringList written;
        for (const QCommandLineOption &option : choice.options) {
            parser.addOption(option);
            const QString name = option.names().first();
            QString text = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
            if (!option.valueName().isEmpty())
                text += QLatin1Char(' ') + option.valueName();
            written << text;
        }
        const QString joined = written.join(QStringLiteral(" | "));
        parts << (!choice.required            ? QStringLiteral("[%1]")
                  : choice.options.size() > 1 ? QStringLiteral("(%1)")
                                              : QStringLiteral("%1"))
                     .arg(joined);
    }
    return parts.join(QLatin1Char(' '));
}

const std::vector<std::unique_ptr<Command>> &commands()
{
    static const std::vector<std::unique_ptr<Command>> all = [] {
        std::vector<std::unique_ptr<Command>> list;
        list.push_back(makeCheckCommand());
        list.push_back(makeInfoCommand());
        list.push_back(makeExportCommand());
        list.push_back(makePlotCommand());
        list.push_back(makeAnalyzeCommand());
        list.push_back(makeReportCommand());
        list.push_back(makeBidirCommand());
        list.push_back(makeBendsCommand());
        list.push_back(makeEditCommand());
        list.push_back(makeCableCommand());
        list.push_back(makeLocateCommand());
        list.push_back(makeCompareCommand());
        list.push_back(makeLinkCommand());
#ifdef OTDR_HAVE_ARCHIVE
        list.push_back(makeArchiveCommand());
#endif
        return list;
    }();
    return all;
}

const Command *findCommand(const QString &name)
{
    for (const auto &command : commands()) {
        if (command->name() == name)
            return command.get();
    }
    return nullptr;
}

namespace CommandLine {

QCommandLineOption archiveOption()
{
    return {QStringLiteral("db"),
            QStringLiteral("O arquivo de traços: um arquivo SQLite, ou "
                           "postgresql://usuário@servidor/banco (padrão: o do usuário)."),
            QStringLiteral("BANCO")};
}

#ifndef OTDR_HAVE_ARCHIVE
std::optional<QString> archivedBaseline(const Sor::Trace &, const QString &, QString *why)
{
    *why = QStringLiteral("esta versão foi construída sem o arquivo de traços");
    return std::nullopt;
}
#endif

bool readable(const QString &path, QTextStream &err)
{
    const QString reason = Sor::unreadableReason(path);
    if (!reason.isEmpty())
        err << "otdr-sor: " << path << ": " << reason << "\n";
    return reason.isEmpty();
}

bool numberValue(const QString &text, double &value)
{
    bool ok = false;
    value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(value);
}

bool outputAllowed(const QString &output, const QStringList &inputs, QTextStream &err)
{
    const QString problem = Sor::outputProblem(output, inputs);
    if (!problem.isEmpty())
        err << "otdr-sor: " << problem << "\n";
    return problem.isEmpty();
}

QCommandLineOption limitsOption()
{
    return {QStringLiteral("limits"),
            QStringLiteral("Julga cada traço pelos limites deste arquivo JSON."),
            QStringLiteral("ARQUIVO")};
}

QCommandLineOption presetOption()
{
    return {QStringLiteral("preset"),
            QStringLiteral("Julga pelos limites predefinidos: monomodo-generico, "
                           "tia-568.3-d-upc, tia-568.3-d-apc, gpon-classe-b+, "
                           "gpon-classe-c+ ou \"sem limites\"."),
            QStringLiteral("NOME")};
}

bool pairMarkers(const QCommandLineParser &parser,
                 const QCommandLineOption &option,
                 QStringList &markers,
                 QTextStream &err)
{
    if (!parser.isSet(option))
        return true;
    markers = parser.value(option).split(QLatin1Char(','));
    if (markers.size() == 2 && !markers.contains(QString()) && markers.at(0) != markers.at(1))
        return true;
    err << QStringLiteral("otdr-sor: --pair-by-name precisa de duas marcas diferentes, p. ex. "
                          "je,jo\n");
    return false;
}

QCommandLineOption bendThresholdOption()
{
    return {QStringLiteral("threshold"),
            QStringLiteral("Perda a mais no comprimento de onda longo que é curvatura (%1 dB).")
                .arg(Sor::decimal(Acceptance::DefaultBendThresholdDb, 1)),
            QStringLiteral("DB"),
            QString::number(Acceptance::DefaultBendThresholdDb)};
}

QCommandLineOption routeOption()
{
    return {QStringLiteral("route"),
            QStringLiteral("A rota do cabo: CSV (nome;tipo;distancia_m;lat;lon;reserva_m) ou KML."),
            QStringLiteral("ROTA")};
}

QCommandLineOption toleranceOption()
{
    return {QStringLiteral("tolerance"),
            QStringLiteral("Distância máxima entre as posições de um mesmo evento (padrão: o "
                           "maior pulso na fibra ou 3 amostras do traço mais espaçado)."),
            QStringLiteral("M")};
}

QCommandLineOption eventsFoundOption()
{
    return {QStringLiteral("reanalyze"),
            QStringLiteral("Compara os eventos achados pela análise, não os do arquivo.")};
}

QCommandLineOption comparisonJsonOption()
{
    return {QStringLiteral("json"), QStringLiteral("O resultado em JSON.")};
}

} // namespace CommandLine
