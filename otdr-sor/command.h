#pragma once

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace Sor {
struct Trace;
}
namespace Route {
struct Route;
}
namespace Report {
struct Options;
}

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

// What several commands share.
namespace CommandLine {
// --db BANCO: the trace archive (SQLite file or PostgreSQL address; the user's own by default).
QCommandLineOption archiveOption();
// The as-built of the fibre, end and band a trace was measured on, from the archive, as a file
// on this machine; none, with why.
std::optional<QString> archivedBaseline(const Sor::Trace &now, const QString &db, QString *why);
// The file is one that can be read; otherwise says why on `err`.
bool readable(const QString &path, QTextStream &err);
// --route ROTA: the cable's route, CSV or KML.
QCommandLineOption routeOption();
// The route read; none with the reason on `err`. What the user should know of how it was read
// (a KML without a line) goes to `err` too.
std::optional<Route::Route> readRoute(const QString &path, QTextStream &err);
// A number as given, with a decimal point or comma; false when it is no number.
bool numberValue(const QString &text, double &value);
// A report, a summary or a plot never replaces a trace: false, with the reason on `err`.
bool outputAllowed(const QString &output, const QStringList &inputs, QTextStream &err);
// --limits FILE and --preset NAME, shared by the commands that judge.
QCommandLineOption limitsOption();
QCommandLineOption presetOption();
// --threshold DB: the extra loss at the longer wavelength that is a bend.
QCommandLineOption bendThresholdOption();
// --tolerance M, --reanalyze and --json of the commands that compare two traces.
QCommandLineOption toleranceOption();
QCommandLineOption eventsFoundOption();
QCommandLineOption comparisonJsonOption();
// The two markers of --pair-by-name A,B (none when it is not given); false, with the reason on
// `err`, unless they are two different non-empty texts.
bool pairMarkers(const QCommandLineParser &parser,
                 const QCommandLineOption &option,
                 QStringList &markers,
                 QTextStream &err);
// --title, --company, --operator, --client and --logo: who writes a report, and for whom.
struct Identity
{
    QCommandLineOption title;
    QCommandLineOption company;
    QCommandLineOption operatorName;
    QCommandLineOption client;
    QCommandLineOption logo;
    Identity();
    // Each of them, optional, for a usage line.
    QList<Command::Choice> choices() const;
    // What was given into a report's options (its title only where one is given); false, with
    // the reason on `err`, when the logo cannot be read.
    bool read(const QCommandLineParser &parser, Report::Options &report, QTextStream &err) const;
};
} // namespace CommandLine
