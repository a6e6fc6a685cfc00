#include "command.h"
#include "linkmap/linkmap.h"
#include "linkmerge/linkmerge.h"
#include "linkmerge/linkoutput.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "verdictlines.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

namespace {

// A map wide enough for an A4 page's text at a reader's size.
constexpr int MapWidth = 1400;

// otdr-sor link: several shots of one fibre made one link, its splitters named, its map drawn.
class LinkCommand : public Command
{
public:
    LinkCommand()
        : Command(QStringLiteral("link"),
                  QStringLiteral("vários traços de uma fibra (pulsos, comprimentos de onda) num "
                                 "só enlace, com divisores e mapa"))
    {
    }

    QString describe(QCommandLineParser &parser) const override
    {
        return usage(parser,
                     {{QStringLiteral("ARQUIVO"),
                       QStringLiteral("Traços SOR da mesma fibra, da mesma ponta."),
                       1,
                       Any}},
                     {{{sameFibre}}, {{json, csv}}, {{output}}, {{limits, preset}}, {{threshold}}});
    }

    std::optional<int> run(const QStringList &files,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const override
    {
        std::optional<Acceptance::Limits> chosen;
        if (!chosenLimits(parser, limits, preset, chosen, err))
            return Usage;
        if (parser.isSet(json) && parser.isSet(csv)) {
            err << QStringLiteral("otdr-sor: escolha --json ou --csv, não os dois\n");
            return Usage;
        }
        double bendDb = Acceptance::DefaultBendThresholdDb;
        if (parser.isSet(threshold)
            && (!CommandLine::numberValue(parser.value(threshold), bendDb) || bendDb < 0)) {
            err << QStringLiteral("otdr-sor: limiar inválido: ") << parser.value(threshold) << "\n";
            return Usage;
        }
        const QString mapPath = parser.value(output);
        if (!mapPath.isEmpty()) {
            const QString suffix = QFileInfo(mapPath).suffix().toLower();
            if (suffix != QLatin1String("svg") && suffix != QLatin1String("png")) {
                err << QStringLiteral("otdr-sor: o mapa é .svg ou .png: ") << mapPath << "\n";
                return Usage;
            }
            if (!CommandLine::outputAllowed(mapPath, files, err))
                return Usage;
        }
        int status = Sound;
        QVector<LinkMerge::Shot> shots;
        QStringList seen;
        for (const QString &path : files) {
            if (!CommandLine::readable(path, err)) {
                status = Usage;
                continue;
            }
            // One shot given twice would count its events twice over.
            const QString canonical = QFileInfo(path).canonicalFilePath();
            if (seen.contains(canonical)) {
                err << "otdr-sor: " << path << QStringLiteral(" foi dado duas vezes\n");
                status = Usage;
                continue;
            }
            seen << canonical;
            const Sor::Opened opened = Sor::openTrace(path);
            if (!opened.usable()) {
                err << "otdr-sor: " << path << ": " << opened.problem << "\n";
                status = std::max(status, int(Damaged));
                continue;
            }
            // A damaged trace's points cannot be trusted: it does not enter the link.
            if (opened.trace.damaged()) {
                err << "otdr-sor: " << path << ": " << Sor::damagedWord() << ": "
                    << Sor::damageText(opened.trace, Sor::DamageWording::Command)
                    << QStringLiteral(" (fica fora do enlace)\n");
                status = std::max(status, int(Damaged));
                continue;
            }
            shots.append(LinkMerge::shotOf(
                QFileInfo(path).fileName(), opened.trace, Analysis::analyze(opened.trace)));
        }
        if (status == Usage)
            return Usage;
        const QString problem = LinkMerge::oneFibreProblem(shots, parser.isSet(sameFibre));
        if (!problem.isEmpty()) {
            err << "otdr-sor: " << problem << "\n";
            return status == Sound ? int(Usage) : status;
        }
        const Acceptance::Limits judged
            = chosen ? *chosen : *Acceptance::preset(QStringLiteral("sem limites"));
        const LinkMerge::Link link = LinkMerge::mergeShots(shots, judged, bendDb);
        if (parser.isSet(json))
            out << QJsonDocument(LinkMerge::toJson(link)).toJson(QJsonDocument::Indented);
        else if (parser.isSet(csv))
            out << LinkMerge::csvLines(link, Sor::CsvStyle::ofUser()).join(QLatin1Char('\n'))
                << "\n";
        else
            LinkMerge::printLink(link, out);
        if (!mapPath.isEmpty()) {
            QString why;
            if (!LinkMap::save(mapPath, LinkMap::mapOf(link), MapWidth, &why)) {
                err << "otdr-sor: " << mapPath << ": " << why << "\n";
                return Usage;
            }
        }
        if (link.verdict == Acceptance::Verdict::Fail
            || link.verdict == Acceptance::Verdict::Unknown)
            status = std::max(status, int(Damaged));
        return status;
    }

private:
    const QCommandLineOption sameFibre{
        QStringLiteral("same-fibre"),
        QStringLiteral("Junta os traços mesmo que seus ids digam fibras diferentes.")};
    const QCommandLineOption json{QStringLiteral("json"), QStringLiteral("O enlace em JSON.")};
    const QCommandLineOption csv{QStringLiteral("csv"),
                                 QStringLiteral("Uma linha CSV por evento e comprimento de onda.")};
    const QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Grava o mapa do enlace (.svg ou .png)."),
                                    QStringLiteral("MAPA")};
    const QCommandLineOption limits = CommandLine::limitsOption();
    const QCommandLineOption preset = CommandLine::presetOption();
    const QCommandLineOption threshold = CommandLine::bendThresholdOption();
};

} // namespace

std::unique_ptr<Command> makeLinkCommand()
{
    return std::make_unique<LinkCommand>();
}
