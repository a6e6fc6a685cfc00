#include "commandline.h"
#include "sor/sortext.h"
#include "verdictlines.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

const CommandLine::LimitsOption limits;

// otdr-sor check: whether each trace is sound or damaged, and with limits, its verdict.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    std::optional<Acceptance::Limits> chosen;
    if (!limits.read(parser, chosen, err))
        return Command::Usage;
    int status = Command::Sound;
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
            status = std::max(status, int(Command::Damaged));
        } else if (!trace.warnings.isEmpty()) {
            out << path << QStringLiteral(": íntegro, com avisos: ")
                << trace.warnings.join(QStringLiteral("; ")) << " ("
                << Sor::checksumText(trace.checksum) << ")\n";
        } else {
            out << path << QStringLiteral(": íntegro (") << Sor::checksumText(trace.checksum)
                << ")\n";
        }
        if (chosen) {
            status = std::max(status, printVerdict(trace, *chosen, out));
        }
    }
    return status;
}

} // namespace

Command::Declaration checkCommand()
{
    return {QStringLiteral("check"),
            QStringLiteral("diz se cada traço está íntegro ou danificado"),
            {CommandLine::tracesArgument()},
            {limits.choice()},
            run};
}
