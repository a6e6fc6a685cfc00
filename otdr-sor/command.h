#pragma once

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QCommandLineParser;
class QTextStream;

// One verb of otdr-sor: its name, its line in the list of commands, its options and arguments,
// and its run. The list of commands, each command's help, the dispatcher and the message for a
// name that is no command all read the registry below.
class Command
{
public:
    enum Status { Sound = 0, Damaged = 1, Usage = 2 };

    Command(QString name, QString description);
    virtual ~Command();

    const QString &name() const { return commandName; }
    // What follows the name in the list of commands, from what describe() declares: its
    // arguments and required options ("ARQUIVO... -o PDF", "A B").
    QString synopsis() const;
    const QString &description() const { return commandDescription; }

    // Adds the command's options and arguments to the parser; returns its usage line.
    virtual QString describe(QCommandLineParser &parser) const = 0;

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
    // The usage line made from what the command declares: "otdr-sor NAME ARGUMENTS" and each
    // choice; the arguments and options added to the parser.
    QString usage(QCommandLineParser &parser,
                  const QList<Argument> &arguments,
                  const QList<Choice> &choices) const;
    // Whether the arguments after the name and the options make a call of the command as
    // describe() declared it: as many arguments as it takes, an option of each required choice.
    bool fits(const QStringList &arguments, const QCommandLineParser &parser) const;
    // Runs with the arguments after the command's name; none when they make no call of it
    // (the dispatcher then prints the usage line).
    virtual std::optional<int> run(const QStringList &arguments,
                                   const QCommandLineParser &parser,
                                   QTextStream &out,
                                   QTextStream &err) const = 0;
    // Whether a run with these options draws (a plot, a PDF): its text needs fonts, which only
    // a GUI application gives. By default, whenever an output is named with -o: a command
    // that writes a picture or a document never runs without them.
    virtual bool draws(const QCommandLineParser &parser) const;

private:
    QString commandName;
    QString commandDescription;
    // What the last describe() declared.
    mutable QList<Argument> declaredArguments;
    mutable QList<Choice> requiredChoices;
};

// Every command, in the order the list shows them.
const std::vector<std::unique_ptr<Command>> &commands();
const Command *findCommand(const QString &name);

// Each command's own file makes it.
std::unique_ptr<Command> makeCheckCommand();
std::unique_ptr<Command> makeInfoCommand();
std::unique_ptr<Command> makeExportCommand();
std::unique_ptr<Command> makePlotCommand();
std::unique_ptr<Command> makeAnalyzeCommand();
std::unique_ptr<Command> makeReportCommand();
std::unique_ptr<Command> makeBidirCommand();
std::unique_ptr<Command> makeBendsCommand();
std::unique_ptr<Command> makeEditCommand();
std::unique_ptr<Command> makeCableCommand();
std::unique_ptr<Command> makeLocateCommand();
std::unique_ptr<Command> makeCompareCommand();
std::unique_ptr<Command> makeLinkCommand();
#ifdef OTDR_HAVE_ARCHIVE
std::unique_ptr<Command> makeArchiveCommand();
#endif
