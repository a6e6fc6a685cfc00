#include "commandline.h"
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
                     {limits.choice()});
    }

    std::optional<int> run(const QStringList &files,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const override
    {
        std::optional<Acceptance::Limits> chosen;
        if (!limits.read(parser, chosen, err))
            return Usage;
        int status = Sound;
        for (const QString &path : files) {
            // Telling a sound file from a damaged one needs no point converted; a verdict
            // measures on them.
            const std::optional<Sor::Trace> opened
                = CommandLine::openTrace(path,
                                         err,
                                         status,
                                         CommandLine::Need::Bytes,
                                         chosen ? Sor::Detail::Full : Sor::Detail::Check);
            if (!opened)
                continue;
            const Sor::Trace &trace = *opened;
            if (trace.damaged()) {
                out << path << ": " << CommandLine::damage(trace) << "\n";
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
    const CommandLine::LimitsOption limits;
};

} // namespace

std::unique_ptr<Command> makeCheckCommand()
{
    return std::make_unique<CheckCommand>();
}
