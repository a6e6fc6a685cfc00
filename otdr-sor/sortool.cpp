#include "sortool.h"

#include "analyzecommand.h"
#include "editcommand.h"
#include "reportcommand.h"
#include "sor/outputguard.h"
#include "sor/sorexport.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "traceplot/plotpainter.h"
#include "twowaycommand.h"
#include "verdictlines.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

#include <cmath>

namespace {

enum Status { Sound = 0, Damaged = 1, Usage = 2 };

const QString UsageText = QStringLiteral(
    "Uso: otdr-sor COMANDO [opções] ARQUIVO...\n\n"
    "Comandos:\n"
    "  check ARQUIVO...            diz se cada traço está íntegro ou danificado\n"
    "  info ARQUIVO                resumo do traço e tabela de eventos\n"
    "  export --json|--csv ARQUIVO o traço em JSON (--points inclui os pontos) ou CSV\n"
    "  plot ARQUIVO... -o SAIDA    os traços sobrepostos em PNG ou SVG\n"
    "  analyze ARQUIVO...          acha os eventos de cada traço (--json)\n"
    "  report ARQUIVO... -o PDF    o relatório dos traços, julgados pelos limites\n"
    "  bidir A.sor B.sor           as duas pontas de uma fibra, eventos casados e a média\n"
    "  bends CURTO.sor LONGO.sor   dois comprimentos de onda de uma fibra: curvaturas\n"
    "  edit ARQUIVO... --cable ... corrige a identificação sem tocar na medida\n\n"
    "otdr-sor COMANDO --help mostra as opções de cada comando.\n");

bool readable(const QString &path, QTextStream &err)
{
    const QFileInfo info(path);
    if (info.isFile() && info.isReadable())
        return true;
    err << "otdr-sor: " << path << ": "
        << (!info.exists() ? QStringLiteral("arquivo não encontrado")
            : info.isDir() ? QStringLiteral("é uma pasta")
                           : QStringLiteral("sem permissão de leitura"))
        << "\n";
    return false;
}

int check(const QStringList &files,
          const std::optional<Acceptance::Limits> &limits,
          QTextStream &out,
          QTextStream &err)
{
    int status = Sound;
    for (const QString &path : files) {
        if (!readable(path, err)) {
            status = Usage;
            continue;
        }
        const Sor::Trace trace = Sor::readFile(path);
        if (trace.damaged()) {
            out << path << ": " << Sor::damagedWord() << ": "
                << Sor::damageText(trace, Sor::DamageWording::Command) << "\n";
            status = std::max(status, int(Damaged));
        } else if (!trace.warnings.isEmpty()) {
            out << path << QStringLiteral(": íntegro, com avisos: ")
                << trace.warnings.join(QStringLiteral("; ")) << " ("
                << Sor::checksumText(trace.checksum) << ")\n";
        } else {
            out << path << QStringLiteral(": íntegro (") << Sor::checksumText(trace.checksum)
                << ")\n";
        }
        if (limits) {
            printVerdict(trace, *limits, out);
            status = std::max(status, verdictStatus(trace, *limits));
        }
    }
    return status;
}

int info(const QString &path,
         const std::optional<Acceptance::Limits> &limits,
         QTextStream &out,
         QTextStream &err)
{
    if (!readable(path, err))
        return Usage;
    const Sor::Trace t = Sor::readFile(path);
    const QVector<Sor::SummaryRow> rows = Sor::summaryRows(t, path, Sor::SummaryStyle::Command);
    for (const Sor::SummaryRow &row : rows)
        out << (row.label + QLatin1Char(':')).leftJustified(22) << row.value << "\n";
    if (t.keyEvents && !t.keyEvents->events.isEmpty()) {
        out << "\nEventos:\n";
        printFileEvents(t, out);
        if (t.keyEvents->endToEndLossDb)
            out << "  Perda total: " << Sor::decimal(*t.keyEvents->endToEndLossDb, 3) << " dB\n";
        // A stored 0 is no ORL any link has: not given.
        if (t.keyEvents->opticalReturnLossDb && *t.keyEvents->opticalReturnLossDb > 0)
            out << "  ORL: " << Sor::decimal(*t.keyEvents->opticalReturnLossDb, 2) << " dB\n";
    }
    if (limits) {
        out << "\n";
        printVerdict(t, *limits, out);
        return std::max(t.damaged() ? int(Damaged) : int(Sound), verdictStatus(t, *limits));
    }
    return t.damaged() ? Damaged : Sound;
}

int exportTrace(const QString &path, bool json, bool points, QTextStream &out, QTextStream &err)
{
    if (!readable(path, err))
        return Usage;
    const Sor::Trace t = Sor::readFile(path);
    if (json) {
        out << QJsonDocument(Sor::toJson(t, points)).toJson(QJsonDocument::Indented);
    } else {
        if (t.points() == 0) {
            err << "otdr-sor: " << path << QStringLiteral(": o traço não tem pontos\n");
            return Damaged;
        }
        QBuffer csvText;
        csvText.open(QIODevice::WriteOnly);
        Sor::writeCsv(t, csvText);
        out << QString::fromLatin1(csvText.data());
    }
    return t.damaged() ? Damaged : Sound;
}

int plot(const QStringList &files, const QString &output, const QSize &size, QTextStream &err)
{
    QList<Sor::Trace> traces;
    QVector<TracePlot::Series> series;
    for (const QString &path : files) {
        if (!readable(path, err))
            return Usage;
        traces.append(Sor::readFile(path));
        if (traces.last().points() == 0) {
            err << "otdr-sor: " << path
                << QStringLiteral(": o traço não tem pontos para desenhar\n");
            return Damaged;
        }
    }
    for (int i = 0; i < traces.size(); ++i)
        series.append(
            {&traces.at(i), QFileInfo(files.at(i)).fileName(), TracePlot::seriesColour(i)});
    QString error;
    if (!TracePlot::save(output, series, size, &error)) {
        err << "otdr-sor: " << output << ": " << error << "\n";
        return Usage;
    }
    return Sound;
}

struct Options
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Mostra esta ajuda.")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("Exporta em JSON.")};
    QCommandLineOption csv{QStringLiteral("csv"),
                           QStringLiteral("Exporta distância e nível por ponto em CSV.")};
    QCommandLineOption points{QStringLiteral("points"),
                              QStringLiteral("Inclui os pontos do traço no JSON.")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                              QStringLiteral("Imagem a gravar: .png ou .svg."),
                              QStringLiteral("SAIDA")};
    QCommandLineOption size{QStringLiteral("size"),
                            QStringLiteral("Tamanho da imagem (1600x900)."),
                            QStringLiteral("LxA"),
                            QStringLiteral("1600x900")};
    QCommandLineOption limits{QStringLiteral("limits"),
                              QStringLiteral("Julga cada traço pelos limites deste arquivo JSON."),
                              QStringLiteral("ARQUIVO")};
    QCommandLineOption preset{QStringLiteral("preset"),
                              QStringLiteral("Julga pelos limites predefinidos: monomodo-generico, "
                                             "tia-568.3-d-upc, tia-568.3-d-apc, gpon-classe-b+, "
                                             "gpon-classe-c+ ou \"sem limites\"."),
                              QStringLiteral("NOME")};
    QCommandLineOption reportOutput{{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("O relatório a gravar (PDF)."),
                                    QStringLiteral("RELATORIO.pdf")};
    QCommandLineOption csvSummary{QStringLiteral("csv"),
                                  QStringLiteral("Grava também o resumo em CSV."),
                                  QStringLiteral("RESUMO.csv")};
    QCommandLineOption reanalyze{QStringLiteral("reanalyze"),
                                 QStringLiteral("Julga os eventos achados pela análise, não os "
                                                "do arquivo.")};
    QCommandLineOption title{
        QStringLiteral("title"), QStringLiteral("Título do relatório."), QStringLiteral("TEXTO")};
    QCommandLineOption company{
        QStringLiteral("company"), QStringLiteral("Empresa."), QStringLiteral("TEXTO")};
    QCommandLineOption operatorName{
        QStringLiteral("operator"), QStringLiteral("Operador."), QStringLiteral("TEXTO")};
    QCommandLineOption logo{QStringLiteral("logo"),
                            QStringLiteral("Logotipo no cabeçalho de cada página (PNG)."),
                            QStringLiteral("ARQUIVO.png")};
    QCommandLineOption analysisJson{QStringLiteral("json"),
                                    QStringLiteral("Os eventos encontrados em JSON.")};
    QCommandLineOption lossThreshold{QStringLiteral("loss-threshold"),
                                     QStringLiteral("Menor perda que é evento (0,05 dB)."),
                                     QStringLiteral("DB"),
                                     QStringLiteral("0.05")};
    QCommandLineOption reflectanceThreshold{
        QStringLiteral("reflectance-threshold"),
        QStringLiteral("Menor reflectância que é evento reflexivo (-65 dB)."),
        QStringLiteral("DB"),
        QStringLiteral("-65")};
    QCommandLineOption endThreshold{QStringLiteral("end-threshold"),
                                    QStringLiteral("Queda que marca o fim da fibra (3 dB)."),
                                    QStringLiteral("DB"),
                                    QStringLiteral("3")};
    QCommandLineOption comparisonJson{QStringLiteral("json"),
                                      QStringLiteral("O resultado em JSON.")};
    QCommandLineOption tolerance{
        QStringLiteral("tolerance"),
        QStringLiteral("Distância máxima entre as posições de um mesmo evento (padrão: o maior "
                       "pulso na fibra ou 3 amostras do traço mais espaçado)."),
        QStringLiteral("M")};
    QCommandLineOption bendThreshold{
        QStringLiteral("threshold"),
        QStringLiteral("Perda a mais no comprimento de onda longo que é curvatura (0,5 dB)."),
        QStringLiteral("DB"),
        QStringLiteral("0.5")};
    QCommandLineOption eventsFound{QStringLiteral("reanalyze"),
                                   QStringLiteral("Compara os eventos achados pela análise, não "
                                                  "os do arquivo.")};
    QCommandLineOption pairByName{
        QStringLiteral("pair-by-name"),
        QStringLiteral("Sem cabo e fibra nos arquivos, casa as pontas pelos nomes que diferem só "
                       "nestas marcas (a de A, a de B), p. ex. je,jo."),
        QStringLiteral("A,B")};
    // edit: the identification fields, each a text or a pattern.
    QCommandLineOption cable{
        QStringLiteral("cable"), QStringLiteral("Identificação do cabo."), QStringLiteral("TEXTO")};
    QCommandLineOption fiber{QStringLiteral("fiber"),
                             QStringLiteral("Identificação da fibra."),
                             QStringLiteral("TEXTO")};
    QCommandLineOption locationA{
        QStringLiteral("location-a"), QStringLiteral("Local A (origem)."), QStringLiteral("TEXTO")};
    QCommandLineOption locationB{QStringLiteral("location-b"),
                                 QStringLiteral("Local B (destino)."),
                                 QStringLiteral("TEXTO")};
    QCommandLineOption editOperator{
        QStringLiteral("operator"), QStringLiteral("Operador."), QStringLiteral("TEXTO")};
    QCommandLineOption comment{
        QStringLiteral("comment"), QStringLiteral("Comentário."), QStringLiteral("TEXTO")};
    QCommandLineOption editOutput{{QStringLiteral("o"), QStringLiteral("output")},
                                  QStringLiteral("O arquivo a gravar (um só traço)."),
                                  QStringLiteral("SAIDA.sor")};
    QCommandLineOption outDir{QStringLiteral("out-dir"),
                              QStringLiteral("Grava cada traço nesta pasta."),
                              QStringLiteral("PASTA")};
    QCommandLineOption inPlace{
        QStringLiteral("in-place"),
        QStringLiteral("Grava sobre o próprio arquivo, guardando o original como ARQUIVO.orig.")};
    QCommandLineOption noBackup{QStringLiteral("no-backup"),
                                QStringLiteral("Com --in-place, não guarda o original.")};
    QCommandLineOption rename{
        QStringLiteral("rename"),
        QStringLiteral("Nomeia cada saída pelo padrão, com os valores já editados, p. ex. "
                       "'{cable}_{fiber}_{wavelength}.sor'."),
        QStringLiteral("PADRAO")};
    QCommandLineOption dryRun{QStringLiteral("dry-run"),
                              QStringLiteral("Mostra o que mudaria, sem gravar nada.")};
    QCommandLineOption force{QStringLiteral("force"),
                             QStringLiteral("Edita também um arquivo danificado.")};
    QCommandLineOption pairAnyway{
        QStringLiteral("force"),
        QStringLiteral("Compara assim mesmo dois arquivos que parecem não ser as duas pontas "
                       "de uma fibra (o mesmo arquivo, fibras diferentes, o mesmo local A).")};
};

// A threshold as given, with a decimal point or comma; false when it is no number.
bool thresholdValue(const QString &text, double &value)
{
    bool ok = false;
    value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(value);
}

// A report, a summary or a plot never replaces a trace: nothing is written and the status is 2.
bool outputAllowed(const QString &output, const QStringList &inputs, QTextStream &err)
{
    const QString problem = Sor::outputProblem(output, inputs);
    if (!problem.isEmpty())
        err << "otdr-sor: " << problem << "\n";
    return problem.isEmpty();
}

int reportCommand(const QStringList &files,
                  const QCommandLineParser &parser,
                  const Options &o,
                  const std::optional<Acceptance::Limits> &limits,
                  QTextStream &err)
{
    if (!outputAllowed(parser.value(o.reportOutput), files, err)
        || (parser.isSet(o.csvSummary) && !outputAllowed(parser.value(o.csvSummary), files, err)))
        return Usage;
    // A file that cannot be read gets its own page saying why; the batch goes on.
    Report::Options options;
    options.limits = limits.value_or(*Acceptance::preset(QStringLiteral("sem limites")));
    options.reanalyze = parser.isSet(o.reanalyze);
    if (parser.isSet(o.title))
        options.title = parser.value(o.title);
    options.company = parser.value(o.company);
    options.operatorName = parser.value(o.operatorName);
    if (parser.isSet(o.logo) && !options.logo.load(parser.value(o.logo))) {
        err << QStringLiteral("otdr-sor: não foi possível ler o logotipo: %1\n")
                   .arg(parser.value(o.logo));
        return Usage;
    }
    if (parser.isSet(o.pairByName)) {
        options.pairMarkers = parser.value(o.pairByName).split(QLatin1Char(','));
        if (options.pairMarkers.size() != 2 || options.pairMarkers.contains(QString())
            || options.pairMarkers.at(0) == options.pairMarkers.at(1)) {
            err << QStringLiteral("otdr-sor: --pair-by-name precisa de duas marcas diferentes, "
                                  "p. ex. je,jo\n");
            return Usage;
        }
    }
    if (!thresholdValue(parser.value(o.bendThreshold), options.bendThresholdDb)
        || options.bendThresholdDb < 0) {
        err << QStringLiteral("otdr-sor: limiar inválido: ") << parser.value(o.bendThreshold)
            << "\n";
        return Usage;
    }
    return writeReport(
        files, options, parser.value(o.reportOutput), parser.value(o.csvSummary), err);
}

int analyzeCommand(const QStringList &files,
                   const QCommandLineParser &parser,
                   const Options &o,
                   QTextStream &out,
                   QTextStream &err)
{
    Analysis::Thresholds thresholds;
    const bool ok
        = thresholdValue(parser.value(o.lossThreshold), thresholds.lossDb)
          && thresholdValue(parser.value(o.reflectanceThreshold), thresholds.reflectanceDb)
          && thresholdValue(parser.value(o.endThreshold), thresholds.endDb);
    if (!ok || thresholds.lossDb < 0 || thresholds.endDb <= 0) {
        err << QStringLiteral("otdr-sor: limiar inválido\n");
        return Usage;
    }
    for (const QString &path : files) {
        if (!readable(path, err))
            return Usage;
    }
    return analyzeFiles(files, thresholds, parser.isSet(o.analysisJson), out, err);
}

int twoWayCommand(const QString &command,
                  const QStringList &files,
                  const QCommandLineParser &parser,
                  const Options &o,
                  QTextStream &out,
                  QTextStream &err)
{
    TwoWayOptions options;
    options.json = parser.isSet(o.comparisonJson);
    options.reanalyze = parser.isSet(o.eventsFound);
    options.force = command == QLatin1String("bidir") && parser.isSet(o.pairAnyway);
    if (parser.isSet(o.tolerance)
        && (!thresholdValue(parser.value(o.tolerance), options.toleranceM)
            || options.toleranceM <= 0)) {
        err << QStringLiteral("otdr-sor: tolerância inválida: ") << parser.value(o.tolerance)
            << "\n";
        return Usage;
    }
    if (command == QLatin1String("bidir"))
        return bidirCommand(files.at(0), files.at(1), options, out, err);
    if (!thresholdValue(parser.value(o.bendThreshold), options.thresholdDb)
        || options.thresholdDb < 0) {
        err << QStringLiteral("otdr-sor: limiar inválido: ") << parser.value(o.bendThreshold)
            << "\n";
        return Usage;
    }
    return bendsCommand(files.at(0), files.at(1), options, out, err);
}

// Each command's own options and arguments; its help names only those. Returns the usage line.
QString describeCommand(QCommandLineParser &parser, const QString &command, const Options &o)
{
    const QString many = QStringLiteral("ARQUIVO...");
    if (command == QLatin1String("check")) {
        parser.addPositionalArgument(
            QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), many);
        parser.addOptions({o.limits, o.preset});
        return QStringLiteral("otdr-sor check ARQUIVO... [--limits ARQUIVO | --preset NOME]");
    }
    if (command == QLatin1String("info")) {
        parser.addPositionalArgument(QStringLiteral("ARQUIVO"), QStringLiteral("Um traço SOR."));
        parser.addOptions({o.limits, o.preset});
        return QStringLiteral("otdr-sor info ARQUIVO [--limits ARQUIVO | --preset NOME]");
    }
    if (command == QLatin1String("export")) {
        parser.addPositionalArgument(QStringLiteral("ARQUIVO"), QStringLiteral("Um traço SOR."));
        parser.addOptions({o.json, o.csv, o.points});
        return QStringLiteral("otdr-sor export --json|--csv [--points] ARQUIVO");
    }
    if (command == QLatin1String("report")) {
        parser.addPositionalArgument(
            QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), many);
        parser.addOptions({o.reportOutput,
                           o.limits,
                           o.preset,
                           o.reanalyze,
                           o.title,
                           o.company,
                           o.operatorName,
                           o.logo,
                           o.csvSummary,
                           o.pairByName,
                           o.bendThreshold});
        return QStringLiteral("otdr-sor report ARQUIVO... -o RELATORIO.pdf [--limits ARQUIVO | "
                              "--preset NOME] [--reanalyze] [--title TEXTO] [--company TEXTO] "
                              "[--operator TEXTO] [--logo ARQUIVO.png] [--csv RESUMO.csv] "
                              "[--pair-by-name A,B] "
                              "[--threshold DB]");
    }
    if (command == QLatin1String("edit")) {
        parser.addPositionalArgument(
            QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), many);
        parser.addOptions({o.cable,
                           o.fiber,
                           o.locationA,
                           o.locationB,
                           o.editOperator,
                           o.comment,
                           o.editOutput,
                           o.outDir,
                           o.inPlace,
                           o.noBackup,
                           o.rename,
                           o.dryRun,
                           o.force});
        return QStringLiteral(
            "otdr-sor edit ARQUIVO... [--cable TEXTO] [--fiber TEXTO] [--location-a TEXTO] "
            "[--location-b TEXTO] [--operator TEXTO] [--comment TEXTO] (-o SAIDA.sor | --out-dir "
            "PASTA | --in-place [--no-backup]) [--rename PADRAO] [--dry-run] [--force]\n\n"
            "Os textos e o --rename aceitam campos: {n} (posição na lista, desde 1; {n:03} com "
            "três dígitos), {name} (nome do arquivo sem extensão), {wavelength}, {cable} e "
            "{fiber} (os valores do arquivo; no --rename, os já editados).");
    }
    if (command == QLatin1String("bidir")) {
        parser.addPositionalArgument(QStringLiteral("A"), QStringLiteral("O traço medido de A."));
        parser.addPositionalArgument(QStringLiteral("B"), QStringLiteral("O traço medido de B."));
        parser.addOptions({o.comparisonJson, o.tolerance, o.eventsFound, o.pairAnyway});
        return QStringLiteral(
            "otdr-sor bidir A.sor B.sor [--json] [--tolerance M] [--reanalyze] [--force]");
    }
    if (command == QLatin1String("bends")) {
        parser.addPositionalArgument(QStringLiteral("CURTO"),
                                     QStringLiteral("O traço no comprimento de onda menor."));
        parser.addPositionalArgument(QStringLiteral("LONGO"),
                                     QStringLiteral("O traço no comprimento de onda maior."));
        parser.addOptions({o.comparisonJson, o.bendThreshold, o.tolerance, o.eventsFound});
        return QStringLiteral("otdr-sor bends CURTO.sor LONGO.sor [--threshold DB] [--json] "
                              "[--tolerance M] [--reanalyze]");
    }
    if (command == QLatin1String("analyze")) {
        parser.addPositionalArgument(
            QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), many);
        parser.addOptions(
            {o.lossThreshold, o.reflectanceThreshold, o.endThreshold, o.analysisJson});
        return QStringLiteral("otdr-sor analyze ARQUIVO... [--loss-threshold DB] "
                              "[--reflectance-threshold DB] [--end-threshold DB] [--json]");
    }
    if (command == QLatin1String("plot")) {
        parser.addPositionalArgument(
            QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), many);
        parser.addOptions({o.output, o.size});
        return QStringLiteral("otdr-sor plot ARQUIVO... -o SAIDA [--size LxA]");
    }
    return QString();
}

// The help of one command: its usage line, then the parser's lists of options and arguments.
QString commandHelp(const QCommandLineParser &parser, const QString &usage)
{
    QString text = parser.helpText();
    text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
    return QStringLiteral("Uso: %1\n").arg(usage) + text;
}

int runCommand(const QString &command,
               const QStringList &files,
               const QCommandLineParser &parser,
               const Options &o,
               QTextStream &out,
               QTextStream &err)
{
    std::optional<Acceptance::Limits> limits;
    const bool judged = command == QLatin1String("check") || command == QLatin1String("info")
                        || command == QLatin1String("report");
    if (judged && !chosenLimits(parser, o.limits, o.preset, limits, err))
        return Usage;
    if (command == QLatin1String("check") && !files.isEmpty())
        return check(files, limits, out, err);
    if (command == QLatin1String("info") && files.size() == 1)
        return info(files.first(), limits, out, err);
    if (command == QLatin1String("export") && files.size() == 1
        && parser.isSet(o.json) != parser.isSet(o.csv))
        return exportTrace(files.first(), parser.isSet(o.json), parser.isSet(o.points), out, err);
    if (command == QLatin1String("report") && !files.isEmpty() && parser.isSet(o.reportOutput))
        return reportCommand(files, parser, o, limits, err);
    if (command == QLatin1String("analyze") && !files.isEmpty())
        return analyzeCommand(files, parser, o, out, err);
    if (command == QLatin1String("edit") && !files.isEmpty()) {
        EditOptions edit;
        const QList<QPair<const QCommandLineOption *, QString>> fields{
            {&o.cable, QStringLiteral("cable")},
            {&o.fiber, QStringLiteral("fiber")},
            {&o.locationA, QStringLiteral("location-a")},
            {&o.locationB, QStringLiteral("location-b")},
            {&o.editOperator, QStringLiteral("operator")},
            {&o.comment, QStringLiteral("comment")}};
        for (const auto &field : fields) {
            if (parser.isSet(*field.first))
                edit.values.insert(field.second, parser.value(*field.first));
        }
        edit.output = parser.value(o.editOutput);
        edit.outputDir = parser.value(o.outDir);
        edit.inPlace = parser.isSet(o.inPlace);
        edit.backup = !parser.isSet(o.noBackup);
        edit.rename = parser.value(o.rename);
        edit.dryRun = parser.isSet(o.dryRun);
        edit.force = parser.isSet(o.force);
        return editFiles(files, edit, out, err);
    }
    if ((command == QLatin1String("bidir") || command == QLatin1String("bends"))
        && files.size() == 2)
        return twoWayCommand(command, files, parser, o, out, err);
    if (command == QLatin1String("plot") && !files.isEmpty() && parser.isSet(o.output)) {
        const QStringList wh = parser.value(o.size).split(QLatin1Char('x'));
        const QSize s(wh.value(0).toInt(), wh.value(1).toInt());
        if (s.width() < 200 || s.height() < 150 || s.width() > 10000 || s.height() > 10000) {
            err << QStringLiteral("otdr-sor: tamanho de imagem inválido: ") << parser.value(o.size)
                << "\n";
            return Usage;
        }
        if (!outputAllowed(parser.value(o.output), files, err))
            return Usage;
        return plot(files, parser.value(o.output), s, err);
    }
    err << (command.isEmpty()
                    || QStringList{"check",
                                   "info",
                                   "export",
                                   "plot",
                                   "analyze",
                                   "report",
                                   "bidir",
                                   "bends"}
                           .contains(command)
                ? UsageText
                : QStringLiteral("otdr-sor: comando desconhecido: %1\n\n%2")
                      .arg(command, UsageText));
    return Usage;
}

} // namespace

int runSorTool(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const Options o;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Verifica, descreve, exporta e desenha traços "
                                                    "OTDR no formato SOR."));
    parser.addOption(o.help);
    parser.parse(arguments);
    const QString command = parser.positionalArguments().value(0);
    const QString usage = describeCommand(parser, command, o);
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(o.help)) {
        out << (usage.isEmpty() ? UsageText : commandHelp(parser, usage));
        return Sound;
    }
    if (!parsed) {
        err << "otdr-sor: " << parser.errorText() << "\n";
        return Usage;
    }
    return runCommand(command, parser.positionalArguments().mid(1), parser, o, out, err);
}
