#include "commandline.h"
#include "linkmap/linkmap.h"
#include "linkmerge/linkmerge.h"
#include "linkmerge/linkoutput.h"
#include "sor/sortext.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

namespace {

// A map wide enough for an A4 page's text at a reader's size.
constexpr int MapWidth = 1400;

const QCommandLineOption sameFibre{
    QStringLiteral("same-fibre"),
    QStringLiteral("Junta os traços mesmo que seus ids digam fibras diferentes.")};
const CommandLine::Formats formats{
    QStringLiteral("O enlace em JSON."),
    QStringLiteral("Uma linha CSV por evento e comprimento de onda.")};
const QCommandLineOption output = CommandLine::outputOption(
    QStringLiteral("Grava o mapa do enlace (.svg ou .png)."), QStringLiteral("MAPA"));
const CommandLine::LimitsOption limits;
const QCommandLineOption threshold = CommandLine::bendThresholdOption();

// The map, when one is asked for, is an SVG or a PNG that replaces no trace.
bool mapAllowed(const QString &mapPath, const QStringList &files, QTextStream &err)
{
    if (mapPath.isEmpty())
        return true;
    const QString suffix = QFileInfo(mapPath).suffix().toLower();
    if (suffix != QLatin1String("svg") && suffix != QLatin1String("png")) {
        err << QStringLiteral("otdr-sor: o mapa é .svg ou .png: ") << mapPath << "\n";
        return false;
    }
    return CommandLine::outputAllowed(mapPath, files, err);
}

// Each file's shot, analysed; what cannot be one is said, and `status` raised.
QVector<LinkMerge::Shot> shotsOf(const QStringList &files, int &status, QTextStream &err)
{
    QVector<LinkMerge::Shot> shots;
    QStringList seen;
    for (const QString &path : files) {
        if (!CommandLine::readable(path, err)) {
            status = Command::Usage;
            continue;
        }
        // One shot given twice would count its events twice over.
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (seen.contains(canonical)) {
            err << "otdr-sor: " << path << QStringLiteral(" foi dado duas vezes\n");
            status = Command::Usage;
            continue;
        }
        seen << canonical;
        const std::optional<Sor::Trace> trace = CommandLine::openTrace(path, err, status);
        if (!trace)
            continue;
        // A damaged trace's points cannot be trusted: it does not enter the link.
        if (trace->damaged()) {
            CommandLine::fileProblem(
                err, path, CommandLine::damage(*trace) + QStringLiteral(" (fica fora do enlace)"));
            status = std::max(status, int(Command::Damaged));
            continue;
        }
        shots.append(
            LinkMerge::shotOf(QFileInfo(path).fileName(), *trace, Analysis::analyze(*trace)));
    }
    return shots;
}

// otdr-sor link: several shots of one fibre made one link, its splitters named, its map drawn.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    Acceptance::Limits judged;
    if (!limits.read(parser, judged, err))
        return Command::Usage;
    if (formats.both(parser)) {
        err << QStringLiteral("otdr-sor: escolha --json ou --csv, não os dois\n");
        return Command::Usage;
    }
    double bendDb = Acceptance::DefaultBendThresholdDb;
    if (!CommandLine::bendThreshold(parser, threshold, bendDb, err)
        || !mapAllowed(parser.value(output), files, err))
        return Command::Usage;
    int status = Command::Sound;
    const QVector<LinkMerge::Shot> shots = shotsOf(files, status, err);
    if (status == Command::Usage)
        return Command::Usage;
    const QString problem = LinkMerge::oneFibreProblem(shots, parser.isSet(sameFibre));
    if (!problem.isEmpty()) {
        // The viewer says the same without the option, which only this command has.
        err << "otdr-sor: " << problem
            << (problem.startsWith(QStringLiteral("são fibras diferentes"))
                    ? " (--same-fibre junta assim mesmo)"
                    : "")
            << "\n";
        return status == Command::Sound ? int(Command::Usage) : status;
    }
    const LinkMerge::Link link
        = LinkMerge::mergeShots(shots, judged, bendDb, parser.isSet(sameFibre));
    if (parser.isSet(formats.json))
        out << QJsonDocument(LinkMerge::toJson(link)).toJson(QJsonDocument::Indented);
    else if (parser.isSet(formats.csv))
        out << LinkMerge::csvLines(link, Sor::CsvStyle::ofUser()).join(QLatin1Char('\n')) << "\n";
    else
        LinkMerge::printLink(link, out);
    const QString mapPath = parser.value(output);
    if (!mapPath.isEmpty() && !CommandLine::wrote(mapPath, err, [&](QString *why) {
            return LinkMap::save(mapPath, LinkMap::mapOf(link), MapWidth, why);
        }))
        return Command::Usage;
    if (link.verdict == Acceptance::Verdict::Fail || link.verdict == Acceptance::Verdict::Unknown)
        status = std::max(status, int(Command::Damaged));
    return status;
}

} // namespace

Command::Declaration linkCommand()
{
    return {QStringLiteral("link"),
            QStringLiteral("vários traços de uma fibra (pulsos, comprimentos de onda) num "
                           "só enlace, com divisores e mapa"),
            {{QStringLiteral("ARQUIVO"),
              QStringLiteral("Traços SOR da mesma fibra, da mesma ponta."),
              1,
              Command::Any}},
            {{{sameFibre}}, formats.choice(), {{output}}, limits.choice(), {{threshold}}},
            run};
}
