#include "baseline/baseline.h"
#include "cable/cablejob.h"
#include "cable/cablexlsx.h"
#include "commandline.h"
#include "report/report.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QTextStream>

namespace {

const QCommandLineOption pairByName{
    QStringLiteral("pair-by-name"),
    QStringLiteral("Os nomes dos arquivos dizem a ponta: a marca de A e a de B, p. ex. "
                   "je,jo (sem marca no nome, as ids das fibras)."),
    QStringLiteral("A,B")};
const QCommandLineOption reference{
    QStringLiteral("reference"),
    QStringLiteral("Os eventos deste traço são as emendas (padrão: onde duas fibras, ou "
                   "as duas pontas de uma, têm evento)."),
    QStringLiteral("ARQUIVO")};
const QCommandLineOption tolerance = CommandLine::toleranceOption();
const QCommandLineOption launch{
    QStringLiteral("launch"),
    QStringLiteral("Comprimento do cordão de lançamento: o enlace começa depois dele."),
    QStringLiteral("M")};
const QCommandLineOption receive{
    QStringLiteral("receive"),
    QStringLiteral("Comprimento do cordão de recepção: o enlace acaba antes dele."),
    QStringLiteral("M")};
const CommandLine::LimitsOption limits;
const QCommandLineOption threshold = CommandLine::bendThresholdOption();
const CommandLine::Formats formats{QStringLiteral("O resultado em JSON."),
                                   QStringLiteral("A matriz em CSV.")};
const QCommandLineOption output = CommandLine::outputOption(
    QStringLiteral("Grava também o relatório (PDF)."), QStringLiteral("RELATORIO.pdf"));
const CommandLine::Identity identity;
const CommandLine::RouteOption route;
const QCommandLineOption baseline{
    QStringLiteral("baseline"),
    QStringLiteral("A pasta da linha de base (o as-built), ou auto: a de cada traço no "
                   "arquivo de traços; em cada célula, a mudança desde então."),
    QStringLiteral("PASTA")};
const QCommandLineOption db = CommandLine::archiveOption();
const QCommandLineOption xlsx{QStringLiteral("xlsx"),
                              QStringLiteral("Grava também a planilha: a matriz por comprimento "
                                             "de onda, as fibras e as verificações."),
                              QStringLiteral("PLANILHA.xlsx")};

// How the fibres are paired, where the link starts and ends, and what is a bend.
bool readOptions(const QCommandLineParser &parser, Cable::Options &options, QTextStream &err)
{
    const auto metres = [&](const QCommandLineOption &option, std::optional<double> &value) {
        return CommandLine::numberOption(
            parser,
            option,
            CommandLine::Least::Zero,
            QStringLiteral("valor inválido para --%1").arg(option.names().first()),
            value,
            err);
    };
    std::optional<double> toleranceM;
    if (!CommandLine::pairMarkers(parser, pairByName, options.pairMarkers, err)
        || !metres(tolerance, toleranceM) || !metres(launch, options.launchM)
        || !metres(receive, options.receiveM)
        || !CommandLine::bendThreshold(parser, threshold, options.bendThresholdDb, err))
        return false;
    options.toleranceM = toleranceM.value_or(0);
    if (parser.isSet(reference)) {
        if (!CommandLine::readable(parser.value(reference), err))
            return false;
        options.referencePath = parser.value(reference);
    }
    return true;
}

// The traces of the folders and files given, none when there are none or a file to be
// written would replace one of them.
std::optional<QStringList>
inputFiles(const QStringList &paths, const QCommandLineParser &parser, QTextStream &err)
{
    for (const QString &path : paths) {
        // The command takes folders first: a name that is nothing is no "file" missing.
        if (!CommandLine::found(path, err)
            || (!QFileInfo(path).isDir() && !CommandLine::readable(path, err)))
            return std::nullopt;
    }
    const QStringList files = Cable::sorFiles(paths);
    if (parser.isSet(xlsx) && !Cable::xlsxAvailable()) {
        err << QStringLiteral("otdr-sor: --xlsx: esta versão foi construída sem "
                              "planilhas\n");
        return std::nullopt;
    }
    if (!CommandLine::outputsAllowed(parser, {&xlsx, &output}, files, err)
        || !CommandLine::someTraces(files, paths, err))
        return std::nullopt;
    return files;
}

// The as-built traces of --baseline: a folder, or each trace's as the archive knows it.
std::optional<QStringList>
baselineFiles(const QStringList &files, const QCommandLineParser &parser, QTextStream &err)
{
    if (!parser.isSet(baseline))
        return QStringList();
    const QString base = parser.value(baseline);
    if (base != QLatin1String("auto")) {
        if (!CommandLine::found(base, err))
            return std::nullopt;
        const QStringList baseFiles = Cable::sorFiles({base});
        if (!CommandLine::someTraces(baseFiles, {base}, err))
            return std::nullopt;
        return baseFiles;
    }
    QStringList baseFiles;
    for (const QString &path : files) {
        int status = Command::Sound;
        const std::optional<Sor::Trace> t = CommandLine::openTrace(
            path, err, status, CommandLine::Need::Bytes, Sor::Detail::Check);
        if (!t)
            continue;
        QString why;
        const std::optional<QString> found
            = CommandLine::archivedBaseline(*t, parser.value(db), &why);
        if (found)
            baseFiles << *found;
        else
            CommandLine::fileProblem(err, path, QStringLiteral("sem linha de base: %1").arg(why));
    }
    baseFiles.removeDuplicates();
    if (baseFiles.isEmpty()) {
        err << QStringLiteral("otdr-sor: --baseline auto: o arquivo de traços não tem a "
                              "linha de base de nenhum traço\n");
        return std::nullopt;
    }
    return baseFiles;
}

// The workbook and the report, where asked for.
bool writeFiles(const Cable::Job &job,
                const Cable::Options &options,
                Report::Options report,
                const QCommandLineParser &parser,
                QTextStream &err)
{
    Cable::Heading heading;
    heading.client = report.client;
    heading.company = report.company;
    heading.operatorName = report.operatorName;
    report.limits = options.limits;
    report.pairMarkers = options.pairMarkers;
    report.bendThresholdDb = options.bendThresholdDb;
    const QString workbook = parser.value(xlsx);
    const QString pdf = parser.value(output);
    return (!parser.isSet(xlsx)
            || CommandLine::wrote(
                workbook,
                err,
                [&](QString *why) { return Cable::writeXlsx(job, heading, workbook, why); }))
           && (!parser.isSet(output) || CommandLine::wrote(pdf, err, [&](QString *why) {
                  return Report::writeCablePdf(job, report, pdf, why);
              }));
}

// otdr-sor cable: every fibre of a cable from both ends, as a splice matrix with its checks.
std::optional<int>
run(const QStringList &paths, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    Cable::Options options;
    if (!limits.read(parser, options.limits, err))
        return Command::Usage;
    if (!formats.oneAtMost(parser, err))
        return Command::Usage;
    if (!readOptions(parser, options, err))
        return Command::Usage;
    const std::optional<QStringList> files = inputFiles(paths, parser, err);
    if (!files)
        return Command::Usage;
    Report::Options report;
    report.title = QStringLiteral("Relatório do cabo");
    if (!route.read(parser, options.route, err) || !identity.read(parser, report, err))
        return Command::Usage;
    const std::optional<QStringList> baseFiles = baselineFiles(*files, parser, err);
    if (!baseFiles)
        return Command::Usage;
    Cable::Job job = Cable::run(*files, options);
    if (!job.problem.isEmpty()) {
        err << "otdr-sor: " << job.problem << "\n";
        return Command::Usage;
    }
    if (parser.isSet(baseline)) {
        // The as-built as a job of its own, judged alike; its route names are not needed.
        Cable::Options then = options;
        then.route.reset();
        Cable::compareWithBaseline(job,
                                   Cable::run(*baseFiles, then),
                                   parser.value(baseline),
                                   Baseline::DefaultThresholdDb);
    }
    if (parser.isSet(formats.json))
        out << QJsonDocument(Cable::toJson(job)).toJson(QJsonDocument::Indented);
    else if (parser.isSet(formats.csv))
        out << Cable::matrixCsv(job, Sor::CsvStyle::ofUser());
    else
        out << Cable::table(job);
    if (!writeFiles(job, options, report, parser, err))
        return Command::Usage;
    for (const Cable::File &f : job.files) {
        if (!f.problem.isEmpty())
            CommandLine::fileProblem(err, f.path, f.problem);
    }
    return job.status();
}

} // namespace

Command::Declaration cableCommand()
{
    return {QStringLiteral("cable"),
            QStringLiteral("as fibras de um cabo: matriz de emendas e verificações"),
            {{QStringLiteral("PASTA"),
              QStringLiteral("Traços SOR, ou pastas com eles."),
              1,
              Command::Any}},
            QList<Command::Choice>{{{pairByName}},
                                   {{reference}},
                                   {{tolerance}},
                                   {{launch}},
                                   {{receive}},
                                   limits.choice(),
                                   {{threshold}},
                                   formats.choice(),
                                   {{xlsx}},
                                   {{output}},
                                   {{route.option}},
                                   {{baseline}},
                                   {{db}}}
                + identity.choices(),
            run};
}
