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
    if (parser.isSet(help)) {
        out << (command ? commandHelp(parser, usage) : usageText());
        return Command::Sound;
    }
    if (!command) {
        err << (name.isEmpty() ? usageText()
                               : QStringLiteral("otdr-sor: comando desconhecido: %1\n\n%2")
                                     .arg(name, usageText()));
        return Command::Usage;
    }
    if (!parsed) {
        err << "otdr-sor: " << parser.errorText() << "\n";
        return Command::Usage;
    }
    const QStringList given = parser.positionalArguments().mid(1);
    const std::optional<int> status
        = command->fits(given, parser) ? command->run(given, parser, out, err) : std::nullopt;
    if (status)
        return *status;
    err << QStringLiteral("Uso: %1\n\notdr-sor %2 --help mostra as opções do comando.\n")
               .arg(usage.section(QLatin1Char('\n'), 0, 0), command->name());
    return Command::Usage;
}
