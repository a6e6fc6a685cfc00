#include "baseline/baseline.h"
#include "cable/cablejob.h"
#include "cable/cablexlsx.h"
#include "command.h"
#include "report/report.h"
#include "sor/sorreader.h"
#include "verdictlines.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QTextStream>

namespace {

// otdr-sor cable: every fibre of a cable from both ends, as a splice matrix with its checks.
class CableCommand : public Command
{
public:
    CableCommand()
        : Command(QStringLiteral("cable"),
                  QStringLiteral("as fibras de um cabo: matriz de emendas e verificações"))
    {
    }

    QString describe(QCommandLineParser &parser) const override
    {
        return usage(
            parser,
            {{QStringLiteral("PASTA"), QStringLiteral("Traços SOR, ou pastas com eles."), 1, Any}},
            QList<Choice>{{{pairByName}},
                          {{reference}},
                          {{tolerance}},
                          {{launch}},
                          {{receive}},
                          {{limits, preset}},
                          {{threshold}},
                          {{json, csv}},
                          {{xlsx}},
                          {{output}},
                          {{route}},
                          {{baseline}},
                          {{db}}}
                + identity.choices());
    }

    std::optional<int> run(const QStringList &paths,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const override
    {
        std::optional<Acceptance::Limits> chosen;
        if (!chosenLimits(parser, limits, preset, chosen, err))
            return Usage;
        if (parser.isSet(json) && parser.isSet(csv))
            return std::nullopt;
        Cable::Options options;
        options.limits = chosen.value_or(*Acceptance::preset(QStringLiteral("sem limites")));
        if (!CommandLine::pairMarkers(parser, pairByName, options.pairMarkers, err))
            return Usage;
        const auto metres = [&](const QCommandLineOption &option, std::optional<double> &value) {
            if (!parser.isSet(option))
                return true;
            double v = 0;
            if (!CommandLine::numberValue(parser.value(option), v) || v < 0) {
                err << QStringLiteral("otdr-sor: valor inválido para --%1: %2\n")
                           .arg(option.names().first(), parser.value(option));
                return false;
            }
            value = v;
            return true;
        };
        std::optional<double> toleranceM;
        if (!metres(tolerance, toleranceM) || !metres(launch, options.launchM)
            || !metres(receive, options.receiveM))
            return Usage;
        options.toleranceM = toleranceM.value_or(0);
        if (!CommandLine::numberValue(parser.value(threshold), options.bendThresholdDb)
            || options.bendThresholdDb < 0) {
            err << QStringLiteral("otdr-sor: limiar inválido: ") << parser.value(threshold) << "\n";
            return Usage;
        }
        if (parser.isSet(reference)) {
            if (!CommandLine::readable(parser.value(reference), err))
                return Usage;
            options.referencePath = parser.value(reference);
        }
        for (const QString &path : paths) {
            // The command takes folders first: a name that is nothing is no "file" missing.
            if (!QFileInfo::exists(path)) {
                err << QStringLiteral("otdr-sor: %1: pasta ou arquivo não encontrado\n").arg(path);
                return Usage;
            }
            if (!QFileInfo(path).isDir() && !CommandLine::readable(path, err))
                return Usage;
        }
        const QStringList files = Cable::sorFiles(paths);
        if (parser.isSet(xlsx)) {
            if (!Cable::xlsxAvailable()) {
                err << QStringLiteral("otdr-sor: --xlsx: esta versão foi construída sem "
                                      "planilhas\n");
                return Usage;
            }
            if (!CommandLine::outputAllowed(parser.value(xlsx), files, err))
                return Usage;
        }
        if (parser.isSet(output) && !CommandLine::outputAllowed(parser.value(output), files, err))
            return Usage;
        if (files.isEmpty()) {
            err << QStringLiteral("otdr-sor: nenhum arquivo .sor em %1\n")
                       .arg(paths.join(QStringLiteral(", ")));
            return Usage;
        }
        if (parser.isSet(route)) {
            options.route = CommandLine::readRoute(parser.value(route), err);
            if (!options.route)
                return Usage;
        }
        Report::Options report;
        report.title = QStringLiteral("Relatório do cabo");
        if (!identity.read(parser, report, err))
            return Usage;
        QStringList baseFiles;
        QString problem;
        if (parser.isSet(baseline) && parser.value(baseline) == QLatin1String("auto")) {
            // Each trace's as-built, as the archive knows it.
            for (const QString &path : files) {
                const Sor::Trace t = Sor::read(Sor::readBytes(path, problem), Sor::Detail::Check);
                QString why;
                const std::optional<QString> base
                    = problem.isEmpty() ? CommandLine::archivedBaseline(t, parser.value(db), &why)
                                        : std::nullopt;
                if (base)
                    baseFiles << *base;
                else
                    err << "otdr-sor: " << path << ": "
                        << QStringLiteral("sem linha de base: %1\n")
                               .arg(problem.isEmpty() ? why : problem);
                problem.clear();
            }
            baseFiles.removeDuplicates();
            if (baseFiles.isEmpty()) {
                err << QStringLiteral("otdr-sor: --baseline auto: o arquivo de traços não tem a "
                                      "linha de base de nenhum traço\n");
                return Usage;
            }
        } else if (parser.isSet(baseline)) {
            const QString base = parser.value(baseline);
            if (!QFileInfo::exists(base)) {
                err << QStringLiteral("otdr-sor: %1: pasta ou arquivo não encontrado\n").arg(base);
                return Usage;
            }
            baseFiles = Cable::sorFiles({base});
            if (baseFiles.isEmpty()) {
                err << QStringLiteral("otdr-sor: nenhum arquivo .sor em %1\n").arg(base);
                return Usage;
            }
        }
        Cable::Job job = Cable::run(files, options);
        if (!job.problem.isEmpty()) {
            err << "otdr-sor: " << job.problem << "\n";
            return Usage;
        }
        if (parser.isSet(baseline)) {
            // The as-built as a job of its own, judged alike; its route names are not needed.
            Cable::Options then = options;
            then.route.reset();
            Cable::compareWithBaseline(job,
                                       Cable::run(baseFiles, then),
                                       parser.value(baseline),
                                       Baseline::DefaultThresholdDb);
        }
        if (parser.isSet(json))
            out << QJsonDocument(Cable::toJson(job)).toJson(QJsonDocument::Indented);
        else if (parser.isSet(csv))
            out << Cable::matrixCsv(job, Sor::CsvStyle::ofUser());
        else
            out << Cable::table(job);
        QString error;
        Cable::Heading heading;
        heading.client = report.client;
        heading.company = report.company;
        heading.operatorName = report.operatorName;
        if (parser.isSet(xlsx) && !Cable::writeXlsx(job, heading, parser.value(xlsx), &error)) {
            err << "otdr-sor: " << parser.value(xlsx) << ": " << error << "\n";
            return Usage;
        }
        if (parser.isSet(output)) {
            report.limits = options.limits;
            report.pairMarkers = options.pairMarkers;
            report.bendThresholdDb = options.bendThresholdDb;
            if (!Report::writeCablePdf(job, report, parser.value(output), &error)) {
                err << "otdr-sor: " << parser.value(output) << ": " << error << "\n";
                return Usage;
            }
        }
        for (const Cable::File &f : job.files) {
            if (!f.problem.isEmpty())
                err << "otdr-sor: " << f.path << ": " << f.problem << "\n";
        }
        return job.status();
    }

private:
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
    const QCommandLineOption limits = CommandLine::limitsOption();
    const QCommandLineOption preset = CommandLine::presetOption();
    const QCommandLineOption threshold = CommandLine::bendThresholdOption();
    const QCommandLineOption json{QStringLiteral("json"), QStringLiteral("O resultado em JSON.")};
    const QCommandLineOption csv{QStringLiteral("csv"), QStringLiteral("A matriz em CSV.")};
    const QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Grava também o relatório (PDF)."),
                                    QStringLiteral("RELATORIO.pdf")};
    const CommandLine::Identity identity;
    const QCommandLineOption route = CommandLine::routeOption();
    const QCommandLineOption baseline{
        QStringLiteral("baseline"),
        QStringLiteral("A pasta da linha de base (o as-built), ou auto: a de cada traço no "
                       "arquivo de traços; em cada célula, a mudança desde então."),
        QStringLiteral("PASTA")};
    const QCommandLineOption db = CommandLine::archiveOption();
    const QCommandLineOption xlsx{
        QStringLiteral("xlsx"),
        QStringLiteral("Grava também a planilha: a matriz por comprimento "
                       "de onda, as fibras e as verificações."),
        QStringLiteral("PLANILHA.xlsx")};
};

} // namespace

std::unique_ptr<Command> makeCableCommand()
{
    return std::make_unique<CableCommand>();
}
