#include "command.h"
#include "twowaycommand.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

const TwoWayChoices twoWay;
const QCommandLineOption force{
    QStringLiteral("force"),
    QStringLiteral("Compara assim mesmo dois arquivos que parecem não ser as duas pontas "
                   "de uma fibra (o mesmo arquivo, fibras diferentes, o mesmo local A).")};

// otdr-sor bidir: the command line of bidirFiles.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    TwoWayOptions options;
    if (!twoWay.read(parser, options, err))
        return Command::Usage;
    options.force = parser.isSet(force);
    return bidirFiles(files.at(0), files.at(1), options, out, err);
}

} // namespace

Command::Declaration bidirCommand()
{
    return {QStringLiteral("bidir"),
            QStringLiteral("as duas pontas de uma fibra, eventos casados e a média"),
            {{QStringLiteral("A"), QStringLiteral("O traço medido de A.")},
             {QStringLiteral("B"), QStringLiteral("O traço medido de B.")}},
            twoWay.choices() << Command::Choice{{force}},
            run};
}
