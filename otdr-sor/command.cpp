#include "command.h"

#include <QCommandLineParser>

#include <algorithm>

Command::Command(QString name, QString description)
    : commandName(std::move(name))
    , commandDescription(std::move(description))
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

QString Command::synopsis() const
{
    if (declaredArguments.isEmpty() && requiredChoices.isEmpty()) {
        QCommandLineParser scratch;
        describe(scratch);
    }
    QStringList parts;
    for (const Argument &argument : declaredArguments)
        parts << written(argument);
    // A required option with its value; several to choose from by their names alone.
    for (const Choice &choice : requiredChoices) {
        QStringList names;
        for (const QCommandLineOption &option : choice.options)
            names << written(option, choice.options.size() == 1);
        parts << (names.size() == 1
                      ? names.first()
                      : QStringLiteral("(%1)").arg(names.join(QStringLiteral(" | "))));
    }
    return parts.join(QLatin1Char(' '));
}

bool Command::fits(const QStringList &arguments, const QCommandLineParser &parser) const
{
    int least = 0;
    int most = 0;
    for (const Argument &argument : declaredArguments) {
        least += argument.least;
        most = most == Any || argument.most == Any ? Any : most + argument.most;
    }
    if (arguments.size() < least || (most != Any && arguments.size() > most))
        return false;
    for (const Choice &choice : requiredChoices) {
        if (!choice.runExplains
            && std::none_of(choice.options.cbegin(),
                            choice.options.cend(),
                            [&parser](const QCommandLineOption &o) { return parser.isSet(o); }))
            return false;
    }
    return true;
}

Command::~Command() = default;

QString Command::usage(QCommandLineParser &parser,
                       const QList<Argument> &arguments,
                       const QList<Choice> &choices) const
{
    declaredArguments = arguments;
    requiredChoices.clear();
    QStringList parts{QStringLiteral("otdr-sor"), commandName};
    for (const Argument &argument : arguments) {
        parser.addPositionalArgument(argument.name, argument.help, written(argument));
        parts << written(argument);
    }
    for (const Choice &choice : choices) {
        QStringList names;
        for (const QCommandLineOption &option : choice.options) {
            parser.addOption(option);
            names << written(option, true);
        }
        if (choice.required)
            requiredChoices << choice;
        const QString joined = names.join(QStringLiteral(" | "));
        parts << (!choice.required            ? QStringLiteral("[%1]")
                  : choice.options.size() > 1 ? QStringLiteral("(%1)")
                                              : QStringLiteral("%1"))
                     .arg(joined);
    }
    return parts.join(QLatin1Char(' '));
}

bool Command::draws(const QCommandLineParser &parser) const
{
    const QStringList given = parser.optionNames();
    return given.contains(QStringLiteral("o")) || given.contains(QStringLiteral("output"));
}

const std::vector<std::unique_ptr<Command>> &commands()
{
    static const std::vector<std::unique_ptr<Command>> all = [] {
        std::vector<std::unique_ptr<Command>> list;
        list.push_back(makeCheckCommand());
        list.push_back(makeInfoCommand());
        list.push_back(makeExportCommand());
        list.push_back(makePlotCommand());
        list.push_back(makeAnalyzeCommand());
        list.push_back(makeReportCommand());
        list.push_back(makeBidirCommand());
        list.push_back(makeBendsCommand());
        list.push_back(makeEditCommand());
        list.push_back(makeCableCommand());
        list.push_back(makeLocateCommand());
        list.push_back(makeCompareCommand());
        list.push_back(makeLinkCommand());
#ifdef OTDR_HAVE_ARCHIVE
        list.push_back(makeArchiveCommand());
#endif
        return list;
    }();
    return all;
}

const Command *findCommand(const QString &name)
{
    for (const auto &command : commands()) {
        if (command->name() == name)
            return command.get();
    }
    return nullptr;
}
