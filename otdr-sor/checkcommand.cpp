#include "command.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "verdictlines.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

// otdr-sor check: whether each trace is sound or damaged, and with limits, its verdict.
class CheckCommand : public Command
{
public:
    CheckCommand()
        : Command(QStringLiteral("check"),
                  QStringLiteral("diz se cada traço está íntegro ou danificado"))
    {
    }

    QString describe(QCommandLineParser &parser) const override
    {
        return usage(parser,
                     {{QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), 1, Any}},
                     {{{limits, preset}}});
    }

    std::optional<int> run(const QStringList &files,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const override
    {
        std::optional<Acceptance::Limits> chosen;
        if (!chosenLimits(parser, limits, preset, chosen, err))
            return Usage;
        int status = Sound;
        for (const QString &path : files) {
            if (!CommandLine::readable(path, err)) {
                status = Usage;
                continue;
            }
            // Telling a sound file from a damaged one needs no point converted; a verdict
            // measures on them.
            const Sor::Trace trace
                = Sor::readFile(path, chosen ? Sor::Detail::Full : Sor::Detail::Check);
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
            if (chosen) {
                printVerdict(trace, *chosen, out);
                status = std::max(status, verdictStatus(trace, *chosen));
            }
        }
        return status;
    }

private:
    const QCommandLineOption limits = CommandLine::limitsOption();
    const QCommandLineOption preset = CommandLine::presetOption();
};

} // namespace

std::unique_ptr<Command> makeCheckCommand()
{
    return std::make_unique<CheckCommand>();
}
