#include "commandline.h"
#include "twowaycommand.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

const QCommandLineOption threshold = CommandLine::bendThresholdOption();
const TwoWayChoices twoWay;

// otdr-sor bends: the command line of bendsFiles.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    TwoWayOptions options;
    if (!twoWay.read(parser, options, err)
        || !CommandLine::bendThreshold(parser, threshold, options.thresholdDb, err))
        return Command::Usage;
    return bendsFiles(files.at(0), files.at(1), options, out, err);
}

} // namespace

Command::Declaration bendsCommand()
{
    return {QStringLiteral("bends"),
            QStringLiteral("dois comprimentos de onda de uma fibra: curvaturas"),
            {{QStringLiteral("CURTO"), QStringLiteral("O traço no comprimento de onda menor.")},
             {QStringLiteral("LONGO"), QStringLiteral("O traço no comprimento de onda maior.")}},
            QList<Command::Choice>{{{threshold}}} + twoWay.choices(),
            run};
}
