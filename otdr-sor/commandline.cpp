#include "commandline.h"

#include "acceptance/twoway.h"
#include "acceptance/verdict.h"
#include "report/report.h"
#include "route/route.h"
#include "sor/outputguard.h"
#include "sor/sortext.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cmath>

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

void fileProblem(QTextStream &err, const QString &path, const QString &why)
{
    err << "otdr-sor: " << path << ": " << why << "\n";
}

bool readable(const QString &path, QTextStream &err)
{
    const QString reason = Sor::unreadableReason(path);
    if (!reason.isEmpty())
        fileProblem(err, path, reason);
    return reason.isEmpty();
}

bool found(const QString &path, QTextStream &err)
{
    if (QFileInfo::exists(path))
        return true;
    err << QStringLiteral("otdr-sor: %1: pasta ou arquivo não encontrado\n").arg(path);
    return false;
}

bool someTraces(const QStringList &files, const QStringList &paths, QTextStream &err)
{
    if (!files.isEmpty())
        return true;
    err << QStringLiteral("otdr-sor: nenhum arquivo .sor em %1\n")
               .arg(paths.join(QStringLiteral(", ")));
    return false;
}

std::optional<Sor::Trace> openTrace(const QString &path,
                                    QTextStream &err,
                                    int &status,
                                    Need need,
                                    Sor::Detail detail,
                                    QByteArray *bytes)
{
    QString problem;
    QByteArray read = Sor::readBytes(path, problem);
    if (!problem.isEmpty()) {
        fileProblem(err, path, problem);
        status = std::max(status, int(Command::Usage));
        return std::nullopt;
    }
    std::optional<Sor::Trace> trace;
    // A file that is no trace at all has no version, points or checksum to show.
    if (need == Need::Bytes || (need == Need::Trace && Sor::looksLikeTrace(read))) {
        trace = Sor::read(read, detail);
    } else {
        Sor::Opened opened = Sor::openTrace(read, detail);
        problem = opened.problem;
        trace = std::move(opened.trace);
    }
    if (!problem.isEmpty()) {
        fileProblem(err, path, problem);
        status = std::max(status, int(Command::Damaged));
        return std::nullopt;
    }
    if (bytes)
        *bytes = std::move(read);
    return trace;
}

QString damage(const Sor::Trace &trace)
{
    return Sor::damagedWord() + QStringLiteral(": ")
           + Sor::damageText(trace, Sor::DamageWording::Command);
}

int traceStatus(const Sor::Trace &trace)
{
    return trace.damaged() ? Command::Damaged : Command::Sound;
}

bool numberValue(const QString &text, double &value)
{
    bool ok = false;
    value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(value);
}

bool numberOption(const QCommandLineParser &parser,
                  const QCommandLineOption &option,
                  Least least,
                  const QString &invalid,
                  std::optional<double> &value,
                  QTextStream &err)
{
    if (!parser.isSet(option) && option.defaultValues().isEmpty())
        return true;
    const QString given = parser.value(option);
    double number = 0;
    if (!numberValue(given, number) || number < 0 || (least == Least::Positive && number == 0)) {
        err << "otdr-sor: " << invalid << ": " << given << "\n";
        return false;
    }
    value = number;
    return true;
}

bool numberOption(const QCommandLineParser &parser,
                  const QCommandLineOption &option,
                  Least least,
                  const QString &invalid,
                  double &value,
                  QTextStream &err)
{
    std::optional<double> given;
    if (!numberOption(parser, option, least, invalid, given, err))
        return false;
    value = given.value_or(value);
    return true;
}

Command::Argument tracesArgument()
{
    return {QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), 1, Command::Any};
}

Command::Argument traceArgument()
{
    return {QStringLiteral("ARQUIVO"), QStringLiteral("Um traço SOR.")};
}

bool wrote(const QString &path, QTextStream &err, const std::function<bool(QString *why)> &write)
{
    QString why;
    if (write(&why))
        return true;
    fileProblem(err, path, why);
    return false;
}

QCommandLineOption outputOption(const QString &help, const QString &valueName)
{
    return {{QStringLiteral("o"), QStringLiteral("output")}, help, valueName};
}

QCommandLineOption jsonOption(const QString &help)
{
    return {QStringLiteral("json"), help};
}

Formats::Formats(const QString &jsonHelp, const QString &csvHelp)
    : json(jsonOption(jsonHelp))
    , csv(QStringLiteral("csv"), csvHelp)
{
}

bool Formats::both(const QCommandLineParser &parser) const
{
    return parser.isSet(json) && parser.isSet(csv);
}

bool Formats::oneAtMost(const QCommandLineParser &parser, QTextStream &err) const
{
    if (!both(parser))
        return true;
    err << QStringLiteral("otdr-sor: escolha uma saída: --json ou --csv\n");
    return false;
}

bool outputAllowed(const QString &output, const QStringList &inputs, QTextStream &err)
{
    const QString problem = Sor::outputProblem(output, inputs);
    if (!problem.isEmpty())
        err << "otdr-sor: " << problem << "\n";
    return problem.isEmpty();
}

bool outputsAllowed(const QCommandLineParser &parser,
                    const QList<const QCommandLineOption *> &outputs,
                    const QStringList &inputs,
                    QTextStream &err)
{
    return std::all_of(outputs.cbegin(), outputs.cend(), [&](const QCommandLineOption *o) {
        return !parser.isSet(*o) || outputAllowed(parser.value(*o), inputs, err);
    });
}

LimitsOption::LimitsOption()
    : file(QStringLiteral("limits"),
           QStringLiteral("Julga cada traço pelos limites deste arquivo JSON."),
           QStringLiteral("ARQUIVO"))
    , name(QStringLiteral("preset"),
           QStringLiteral("Julga pelos limites predefinidos: monomodo-generico, "
                          "tia-568.3-d-upc, tia-568.3-d-apc, gpon-classe-b+, "
                          "gpon-classe-c+ ou \"sem limites\"."),
           QStringLiteral("NOME"))
{
}

bool LimitsOption::read(const QCommandLineParser &parser,
                        std::optional<Acceptance::Limits> &limits,
                        QTextStream &err) const
{
    if (parser.isSet(file) && parser.isSet(name)) {
        err << QStringLiteral("otdr-sor: use --limits ou --preset, não os dois\n");
        return false;
    }
    QString error;
    if (parser.isSet(file) && parser.value(file).isEmpty()) {
        // "--limits=" names no file.
        error = QStringLiteral("a opção --limits precisa de um valor");
    } else if (parser.isSet(file)) {
        limits = Acceptance::readLimits(parser.value(file), &error);
    } else if (parser.isSet(name)) {
        limits = Acceptance::preset(parser.value(name));
        if (!limits) {
            error = QStringLiteral("predefinição desconhecida: \"%1\" (há: %2)")
                        .arg(parser.value(name),
                             Acceptance::presetNames().join(QStringLiteral(", ")));
        }
    } else {
        return true;
    }
    if (!limits)
        err << "otdr-sor: " << error << "\n";
    return limits.has_value();
}

bool LimitsOption::read(const QCommandLineParser &parser,
                        Acceptance::Limits &limits,
                        QTextStream &err) const
{
    std::optional<Acceptance::Limits> given;
    if (!read(parser, given, err))
        return false;
    limits = given.value_or(*Acceptance::preset(QStringLiteral("sem limites")));
    return true;
}

RouteOption::RouteOption()
    : option(
        QStringLiteral("route"),
        QStringLiteral("A rota do cabo: CSV (nome;tipo;distancia_m;lat;lon;reserva_m) ou KML."),
        QStringLiteral("ROTA"))
{
}

bool RouteOption::read(const QCommandLineParser &parser,
                       std::optional<Route::Route> &route,
                       QTextStream &err) const
{
    if (!parser.isSet(option))
        return true;
    const QString path = parser.value(option);
    Route::Read read = Route::readRoute(path);
    if (!read.route) {
        err << "otdr-sor: " << read.error << "\n";
        return false;
    }
    for (const QString &warning : read.route->warnings)
        err << QStringLiteral("otdr-sor: %1: aviso: %2\n").arg(path, warning);
    route = std::move(read.route);
    return true;
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

bool bendThreshold(const QCommandLineParser &parser,
                   const QCommandLineOption &option,
                   double &db,
                   QTextStream &err)
{
    return numberOption(parser, option, Least::Zero, QStringLiteral("limiar inválido"), db, err);
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

Identity::Identity()
    : title(
        QStringLiteral("title"), QStringLiteral("Título do relatório."), QStringLiteral("TEXTO"))
    , company(QStringLiteral("company"), QStringLiteral("Empresa."), QStringLiteral("TEXTO"))
    , operatorName(QStringLiteral("operator"), QStringLiteral("Operador."), QStringLiteral("TEXTO"))
    , client(QStringLiteral("client"),
             QStringLiteral("Cliente, na capa e na sua assinatura."),
             QStringLiteral("TEXTO"))
    , logo(QStringLiteral("logo"),
           QStringLiteral("Logotipo no cabeçalho de cada página (PNG)."),
           QStringLiteral("ARQUIVO.png"))
{
}

QList<Command::Choice> Identity::choices() const
{
    return Command::eachAlone({title, company, operatorName, client, logo});
}

bool Identity::read(const QCommandLineParser &parser,
                    Report::Options &report,
                    QTextStream &err) const
{
    if (parser.isSet(title))
        report.title = parser.value(title);
    report.company = parser.value(company);
    report.operatorName = parser.value(operatorName);
    report.client = parser.value(client);
    if (parser.isSet(logo) && !report.logo.load(parser.value(logo))) {
        err << QStringLiteral("otdr-sor: não foi possível ler o logotipo: %1\n")
                   .arg(parser.value(logo));
        return false;
    }
    return true;
}

} // namespace CommandLine
