#include "commandline.h"
#include "twowaycommand.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

// otdr-sor bends: the command line of bendsCommand.
class BendsCommand : public Command
{
public:
    BendsCommand()
        : Command(QStringLiteral("bends"),
                  QStringLiteral("dois comprimentos de onda de uma fibra: curvaturas"))
    {
    }

    QString describe(QCommandLineParser &parser) const override
    {
        return usage(
            parser,
            {{QStringLiteral("CURTO"), QStringLiteral("O traço no comprimento de onda menor.")},
             {QStringLiteral("LONGO"), QStringLiteral("O traço no comprimento de onda maior.")}},
            QList<Choice>{{{threshold}}} + twoWay.choices());
    }

    std::optional<int> run(const QStringList &files,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const override
    {
        TwoWayOptions options;
        if (!twoWay.read(parser, options, err)
            || !CommandLine::bendThreshold(parser, threshold, options.thresholdDb, err))
            return Usage;
        return bendsCommand(files.at(0), files.at(1), options, out, err);
    }

private:
    const QCommandLineOption threshold = CommandLine::bendThresholdOption();
    const TwoWayChoices twoWay;
};

} // namespace

std::unique_ptr<Command> makeBendsCommand()
{
    return std::make_unique<BendsCommand>();
}
