#pragma once

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

class QCommandLineParser;
class QTextStream;

// One verb of otdr-sor, as its file declares it: its name, its line in the list of commands,
// its arguments, its options and its run. The list of commands, each command's help and usage
// line, the count of its arguments, the dispatcher and the message for a name that is no
// command are all read from that declaration. A command's options are constants of its own
// file, which its run reads.
class Command
{
public:
    enum Status { Sound = 0, Damaged = 1, Usage = 2 };

    // A positional argument: its name in the help, what it is, how many of it the command takes.
    static constexpr int Any = -1;
    struct Argument
    {
        Argument(QString name, QString help, int least = 1, int most = 1, QString syntax = {})
            : name(std::move(name))
            , help(std::move(help))
            , least(least)
            , most(most)
            , syntax(std::move(syntax))
        {
        }
        QString name;
        QString help;
        int least;      // at least this many
        int most;       // at most this many, or Any
        QString syntax; // as the usage line writes it, where not NAME, NAME... or [NAME]
    };

    // Options written together in a usage line: one alone is optional ("[--json]"), several
    // exclude each other ("[--limits ARQUIVO | --preset NOME]"); a required group is written in
    // parentheses.
    struct Choice
    {
        QList<QCommandLineOption> options;
        bool required = false;
        bool runExplains = false; // the run says better than the usage line what is missing
    };
    // Each of these options, optional.
    static QList<Choice> eachAlone(const QList<QCommandLineOption> &options);

    // Runs with the arguments after the command's name; none when they make no call of it
    // (the dispatcher then prints the usage line).
    using Run = std::optional<int> (*)(const QStringList &arguments,
                                       const QCommandLineParser &parser,
                                       QTextStream &out,
                                       QTextStream &err);
    // What -o names: something drawn (a plot, a PDF), whose text needs fonts, which only a GUI
    // application gives; or a file written as it is (a trace).
    enum class Output { Drawn, Written };

    struct Declaration
    {
        QString name;
        QString description; // its line in the list of commands
        QList<Argument> arguments;
        QList<Choice> choices;
        Run run;
        QString note = {}; // a paragraph of the help after the usage line
        Output output = Output::Drawn;
    };

    Command(Declaration declaration);

    const QString &name() const { return declared.name; }
    const QString &description() const { return declared.description; }
    // What follows the name in the list of commands: its arguments and required options
    // ("ARQUIVO... -o PDF", "A B").
    QString synopsis() const;
    // Adds the command's options and arguments to the parser; returns its usage line (and the
    // note of its help, after an empty line).
    QString describe(QCommandLineParser &parser) const;
    // Every option it takes, as describe() gives them to the parser.
    QList<QCommandLineOption> options() const;
    // Why the arguments after the name and the options make no call of the command as
    // declared (too few or too many arguments, no option of a required choice); empty when
    // they do.
    QString misfit(const QStringList &arguments, const QCommandLineParser &parser) const;
    std::optional<int> run(const QStringList &arguments,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const
    {
        return declared.run(arguments, parser, out, err);
    }
    // Whether a run with these options draws: whenever an output is named with -o, unless what
    // it names is written as it is.
    bool draws(const QCommandLineParser &parser) const;

private:
    Declaration declared;
};

// Every command, in the order the list shows them.
const std::vector<Command> &commands();
const Command *findCommand(const QString &name);
