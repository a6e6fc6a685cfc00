#include "command.h"

#include <QCommandLineParser>

#include <algorithm>

// Each command's own file declares it.
Command::Declaration checkCommand(), infoCommand(), exportCommand(), plotCommand(),
    analyzeCommand(), reportCommand(), bidirCommand(), bendsCommand(), editCommand(),
    cableCommand(), locateCommand(), compareCommand(), linkCommand();
#ifdef OTDR_HAVE_ARCHIVE
Command::Declaration archiveCommand();
#endif

Command::Command(Declaration declaration)
    : declared(std::move(declaration))
{
}

namespace {

QString written(const QCommandLineOption &option, bool withValue)
{
    const QString name = option.names().first();
    QString text = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    if (withValue && !option.valueName().isEmpty())
        text += QLatin1Char(' ') + option.valueName();
    return text;
}

QString written(const Command::Argument &argument)
{
    if (!argument.syntax.isEmpty())
        return argument.syntax;
    const QString many = argument.most == 1 ? argument.name : argument.name + QStringLiteral("...");
    return argument.least == 0 ? QStringLiteral("[%1]").arg(many) : many;
}

} // namespace

QList<Command::Choice> Command::eachAlone(const QList<QCommandLineOption> &options)
{
    QList<Choice> choices;
    for (const QCommandLineOption &option : options)
        choices.append({{option}});
    return choices;
}

QString Command::synopsis() const
{
    QStringList parts;
    for (const Argument &argument : declared.arguments)
        parts << written(argument);
    // A required option with its value; several to choose from by their names alone.
    for (const Choice &choice : declared.choices) {
        if (!choice.required)
            continue;
        QStringList names;
        for (const QCommandLineOption &option : choice.options)
            names << written(option, choice.options.size() == 1);
        parts << (names.size() == 1
                      ? names.first()
                      : QStringLiteral("(%1)").arg(names.join(QStringLiteral(" | "))));
    }
    return parts.join(QLatin1Char(' '));
}

QString Command::misfit(const QStringList &arguments, const QCommandLineParser &parser) const
{
    int least = 0;
    int most = 0;
    for (const Argument &argument : declared.arguments) {
        least += argument.least;
        if (arguments.size() < least)
            return QStringLiteral("falta o argumento %1").arg(argument.name);
        most = most == Any || argument.most == Any ? Any : most + argument.most;
    }
    if (most != Any && arguments.size() > most) {
        const QStringList extra = arguments.mid(most);
        return (extra.size() == 1 ? QStringLiteral("argumento a mais: %1")
                                  : QStringLiteral("argumentos a mais: %1"))
            .arg(extra.join(QStringLiteral(", ")));
    }
    for (const Choice &choice : declared.choices) {
        if (!choice.required || choice.runExplains
            || std::any_of(choice.options.cbegin(),
                           choice.options.cend(),
                           [&parser](const QCommandLineOption &o) { return parser.isSet(o); }))
            continue;
        QStringList names;
        for (const QCommandLineOption &option : choice.options)
            names << written(option, false);
        if (names.size() == 1)
            return QStringLiteral("falta a opção %1").arg(names.first());
        const QString last = names.takeLast();
        return QStringLiteral("escolha uma das opções: %1 ou %2")
            .arg(names.join(QStringLiteral(", ")), last);
    }
    return QString();
}

QString Command::describe(QCommandLineParser &parser) const
{
    QStringList parts{QStringLiteral("otdr-sor"), declared.name};
    for (const Argument &argument : declared.arguments) {
        parser.addPositionalArgument(argument.name, argument.help, written(argument));
        parts << written(argument);
    }
    for (const Choice &choice : declared.choices) {
        QStringList names;
        for (const QCommandLineOption &option : choice.options) {
            parser.addOption(option);
            names << written(option, true);
        }
        const QString joined = names.join(QStringLiteral(" | "));
        parts << (!choice.required            ? QStringLiteral("[%1]")
                  : choice.options.size() > 1 ? QStringLiteral("(%1)")
                                              : QStringLiteral("%1"))
                     .arg(joined);
    }
    const QString usage = parts.join(QLatin1Char(' '));
    return declared.note.isEmpty() ? usage : usage + QStringLiteral("\n\n") + declared.note;
}

QList<QCommandLineOption> Command::options() const
{
    QList<QCommandLineOption> all;
    for (const Choice &choice : declared.choices)
        all += choice.options;
    return all;
}

bool Command::draws(const QCommandLineParser &parser) const
{
    const QStringList given = parser.optionNames();
    return declared.output == Output::Drawn
           && (given.contains(QStringLiteral("o")) || given.contains(QStringLiteral("output")));
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> all{checkCommand(),
                                          infoCommand(),
                                          exportCommand(),
                                          plotCommand(),
                                          analyzeCommand(),
                                          reportCommand(),
                                          bidirCommand(),
                                          bendsCommand(),
                                          editCommand(),
                                          cableCommand(),
                                          locateCommand(),
                                          compareCommand(),
                                          linkCommand(),
#ifdef OTDR_HAVE_ARCHIVE
                                          archiveCommand()
#endif
    };
    return all;
}

const Command *findCommand(const QString &name)
{
    const auto found = std::find_if(commands().cbegin(),
                                    commands().cend(),
                                    [&name](const Command &c) { return c.name() == name; });
    return found == commands().cend() ? nullptr : &*found;
}
