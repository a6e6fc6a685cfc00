#include "command.h"
#include "twowaycommand.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

// otdr-sor bidir: the command line of bidirCommand.
class BidirCommand : public Command
{
public:
    BidirCommand()
        : Command(QStringLiteral("bidir"),
                  QStringLiteral("as duas pontas de uma fibra, eventos casados e a média"))
    {
    }

    QString describe(QCommandLineParser &parser) const override
    {
        return usage(parser,
                     {{QStringLiteral("A"), QStringLiteral("O traço medido de A.")},
                      {QStringLiteral("B"), QStringLiteral("O traço medido de B.")}},
                     twoWay.choices() << Choice{{force}});
    }

    std::optional<int> run(const QStringList &files,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const override
    {
        TwoWayOptions options;
        if (!twoWay.read(parser, options, err))
            return Usage;
        options.force = parser.isSet(force);
        return bidirCommand(files.at(0), files.at(1), options, out, err);
    }

private:
    const TwoWayChoices twoWay;
    const QCommandLineOption force{
        QStringLiteral("force"),
        QStringLiteral("Compara assim mesmo dois arquivos que parecem não ser as duas pontas "
                       "de uma fibra (o mesmo arquivo, fibras diferentes, o mesmo local A).")};
};

} // namespace

std::unique_ptr<Command> makeBidirCommand()
{
    return std::make_unique<BidirCommand>();
}
