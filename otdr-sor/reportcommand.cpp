#include "reportcommand.h"

#include "commandline.h"
#include "route/route.h"

#include <QCommandLineParser>
#include <QTextStream>

int writeReport(const QStringList &files,
                const Report::Options &options,
                const QString &pdf,
                const QString &csv,
                QTextStream &err)
{
    QVector<Report::Entry> entries = Report::judgeFiles(files, options);
    const QVector<Report::Fibre> fibres = Report::pairFibres(entries, options);
    const bool written
        = CommandLine::wrote(
              pdf,
              err,
              [&](QString *why) { return Report::writePdf(entries, fibres, options, pdf, why); })
          && (csv.isEmpty() || CommandLine::wrote(csv, err, [&](QString *why) {
                  return Report::writeCsv(entries, csv, why, Sor::CsvStyle::ofUser());
              }));
    if (!written)
        return 2;
    int status = 0;
    for (const Report::Entry &e : entries) {
        if (!e.readable)
            CommandLine::fileProblem(err, e.path, e.problem);
        if (!Report::passes(Report::finalVerdict(e)))
            status = 1;
    }
    for (const Report::Fibre &f : fibres) {
        if (!f.problem.isEmpty()) {
            err << QStringLiteral("otdr-sor: %1 e %2: não são as duas pontas de uma fibra: %3\n")
                       .arg(entries.at(f.a).path, entries.at(f.b).path, f.problem);
        }
        if (!Report::passes(f.judgement.verdict))
            status = 1;
    }
    return status;
}

namespace {

const QCommandLineOption output = CommandLine::outputOption(
    QStringLiteral("O relatório a gravar (PDF)."), QStringLiteral("RELATORIO.pdf"));
const CommandLine::LimitsOption limits;
const QCommandLineOption reanalyze{QStringLiteral("reanalyze"),
                                   QStringLiteral("Julga os eventos achados pela análise, "
                                                  "não os do arquivo.")};
const CommandLine::Identity identity;
const QCommandLineOption csvSummary{QStringLiteral("csv"),
                                    QStringLiteral("Grava também o resumo em CSV."),
                                    QStringLiteral("RESUMO.csv")};
const QCommandLineOption pairByName{
    QStringLiteral("pair-by-name"),
    QStringLiteral("Sem cabo e fibra nos arquivos, casa as pontas pelos nomes que diferem só "
                   "nestas marcas (a de A, a de B), p. ex. je,jo."),
    QStringLiteral("A,B")};
const QCommandLineOption bendThreshold = CommandLine::bendThresholdOption();
const CommandLine::RouteOption route;

// otdr-sor report: the command line of writeReport.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &, QTextStream &err)
{
    Report::Options options;
    if (!limits.read(parser, options.limits, err)
        || !CommandLine::outputsAllowed(parser, {&output, &csvSummary}, files, err))
        return Command::Usage;
    // A file that cannot be read gets its own page saying why; the batch goes on.
    options.reanalyze = parser.isSet(reanalyze);
    if (!identity.read(parser, options, err) || !route.read(parser, options.route, err)
        || !CommandLine::pairMarkers(parser, pairByName, options.pairMarkers, err)
        || !CommandLine::bendThreshold(parser, bendThreshold, options.bendThresholdDb, err))
        return Command::Usage;
    return writeReport(files, options, parser.value(output), parser.value(csvSummary), err);
}

} // namespace

Command::Declaration reportCommand()
{
    return {QStringLiteral("report"),
            QStringLiteral("o relatório dos traços, julgados pelos limites"),
            {CommandLine::tracesArgument()},
            QList<Command::Choice>{{{output}, true},
                                   limits.choice(),
                                   {{reanalyze}},
                                   {{csvSummary}},
                                   {{pairByName}},
                                   {{bendThreshold}},
                                   {{route.option}}}
                + identity.choices(),
            run};
}
