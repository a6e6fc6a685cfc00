#include "sortool.h"

#include "command.h"
#include "version/version.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <algorithm>

namespace {

// The list of commands, as the registry has them.
QString usageText()
{
    QString text = QStringLiteral("Uso: otdr-sor COMANDO [opções] ARQUIVO...\n\nComandos:\n");
    QStringList called;
    // The descriptions in one column; a longer call has its own line above its description.
    constexpr int Widest = 40;
    int width = 0;
    for (const Command &command : commands()) {
        called << QStringLiteral("  %1 %2").arg(command.name(), command.synopsis());
        if (called.last().size() <= Widest)
            width = std::max(width, int(called.last().size()));
    }
    for (size_t i = 0; i < commands().size(); ++i) {
        const QString &call = called.at(int(i));
        text += (call.size() <= width ? call.leftJustified(width)
                                      : call + QLatin1Char('\n') + QString(width, QLatin1Char(' ')))
                + QStringLiteral("  ") + commands().at(i).description() + QLatin1Char('\n');
    }
    return text
           + QStringLiteral("\notdr-sor COMANDO --help mostra as opções de cada comando; "
                            "otdr-sor --version, a versão.\n");
}

// The help of one command: its usage line, then the parser's lists of options and arguments.
QString commandHelp(const QCommandLineParser &parser, const QString &usage)
{
    QString text = parser.helpText();
    text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
    return QStringLiteral("Uso: %1\n").arg(usage) + text;
}

// What is wrong with the options, said as the user typed them, where the parser refused them: it
// names an unknown option without its dashes, and in its own words. The arguments are walked as
// the parser walks them (a value-taking option takes the next argument, whatever it is; "-abc"
// is -a -b -c; "--" ends the options).
QString optionProblem(const QStringList &arguments, const QList<QCommandLineOption> &options)
{
    const auto option = [&options](const QString &name) -> const QCommandLineOption * {
        for (const QCommandLineOption &o : options) {
            if (o.names().contains(name))
                return &o;
        }
        return nullptr;
    };
    // As typed, without a value given after "=" (unless that leaves only dashes).
    const auto unknown = [](const QString &argument) {
        const QString typed = argument.section(QLatin1Char('='), 0, 0);
        return QStringLiteral("opção desconhecida: %1")
            .arg(typed.count(QLatin1Char('-')) == typed.size() ? argument : typed);
    };
    const auto missing = [](const QString &typed) {
        return QStringLiteral("a opção %1 precisa de um valor").arg(typed);
    };
    const auto unexpected = [](const QString &typed) {
        return QStringLiteral("a opção %1 não leva valor").arg(typed);
    };
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            break;
        if (argument.startsWith(QLatin1String("--"))) {
            const QString typed = argument.section(QLatin1Char('='), 0, 0);
            const QCommandLineOption *o = option(typed.mid(2));
            const bool assigned = argument.contains(QLatin1Char('='));
            if (!o)
                return unknown(argument);
            if (!o->valueName().isEmpty() && !assigned && ++i == arguments.size())
                return missing(typed);
            if (o->valueName().isEmpty() && assigned)
                return unexpected(typed);
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            for (int pos = 1; pos < argument.size(); ++pos) {
                const QString letter = QStringLiteral("-") + argument.at(pos);
                const QCommandLineOption *o = option(argument.mid(pos, 1));
                if (!o)
                    return unknown(argument);
                const bool last = pos + 1 == argument.size();
                if (!o->valueName().isEmpty()) {
                    if (last && ++i == arguments.size())
                        return missing(letter);
                    break;
                }
                if (!last && argument.at(pos + 1) == QLatin1Char('='))
                    return unexpected(letter);
            }
        }
    }
    return QString();
}

} // namespace

bool sorToolDraws(const QStringList &arguments)
{
    const Command *command = findCommand(arguments.value(1));
    if (!command)
        return false;
    QCommandLineParser parser;
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    command->describe(parser);
    return parser.parse(arguments) && command->draws(parser);
}

int runSorTool(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Mostra esta ajuda.")};
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Verifica, descreve, exporta e desenha traços "
                                                    "OTDR no formato SOR."));
    // The program's version, alone: no command's help needs to list it.
    if (arguments.size() == 2 && arguments.at(1) == QLatin1String("--version")) {
        out << Version::programLine(QStringLiteral("otdr-sor")) << "\n";
        return Command::Sound;
    }
    parser.addOption(help);
    parser.parse(arguments);
    const QString name = parser.positionalArguments().value(0);
    const Command *command = findCommand(name);
    const QString usage = command ? command->describe(parser) : QString();
    const bool parsed = parser.parse(arguments);
    // Options no command takes are named before the list of commands; an option wrongly given
    // is said even beside --help (which the parser then counts as given).
    const QString problem
        = parsed
              ? QString()
              : optionProblem(arguments,
                              QList<QCommandLineOption>{help}
                                  + (command ? command->options() : QList<QCommandLineOption>()));
    if (parsed && parser.isSet(help)) {
        out << (command ? commandHelp(parser, usage) : usageText());
        return Command::Sound;
    }
    if (!command) {
        err << (!name.isEmpty() ? QStringLiteral("otdr-sor: comando desconhecido: %1\n\n").arg(name)
                : !problem.isEmpty() ? QStringLiteral("otdr-sor: %1\n\n").arg(problem)
                                     : QString())
            << usageText();
        return Command::Usage;
    }
    if (!parsed)
        err << "otdr-sor: " << (problem.isEmpty() ? parser.errorText() : problem) << "\n\n";
    const QStringList given = parser.positionalArguments().mid(1);
    const QString misfit = parsed ? command->misfit(given, parser) : QString();
    const std::optional<int> status
        = parsed && misfit.isEmpty() ? command->run(given, parser, out, err) : std::nullopt;
    if (status)
        return *status;
    if (!misfit.isEmpty())
        err << "otdr-sor: " << misfit << "\n\n";
    err << QStringLiteral("Uso: %1\n\notdr-sor %2 --help mostra as opções do comando.\n")
               .arg(usage.section(QLatin1Char('\n'), 0, 0), command->name());
    return Command::Usage;
}
