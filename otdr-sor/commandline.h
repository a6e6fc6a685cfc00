#pragma once

#include "command.h"
#include "sor/sorreader.h"

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace Route {
struct Route;
}
namespace Report {
struct Options;
}
namespace Acceptance {
struct Limits;
}

class QCommandLineParser;
class QTextStream;

// What several commands share: how they open a trace and name what is wrong with a file, and the
// options that more than one of them takes.
namespace CommandLine {
// "otdr-sor: PATH: WHY" on `err`: how every command names what is wrong with a file.
void fileProblem(QTextStream &err, const QString &path, const QString &why);
// The file is one that can be read; otherwise says why on `err`, as openTrace() would: for a
// command that checks all its inputs before it starts on any.
bool readable(const QString &path, QTextStream &err);
// The path names something, a folder or a file; otherwise says so on `err`.
bool found(const QString &path, QTextStream &err);
// Among the files listed from `paths` there are traces; otherwise says so on `err`.
bool someTraces(const QStringList &files, const QStringList &paths, QTextStream &err);
// ARQUIVO...: the traces most commands read, one or more; ARQUIVO: the one some read.
Command::Argument tracesArgument();
Command::Argument traceArgument();
// Writes a file by `write` (given where to put why it cannot); false, with "otdr-sor: PATH:
// WHY" on `err`, when it cannot be written.
bool wrote(const QString &path, QTextStream &err, const std::function<bool(QString *why)> &write);
// What a command needs of a file it opens.
enum class Need {
    Bytes,  // a file it can read: the command itself says what the reader made of it
    Trace,  // a trace file, however damaged: its summary is worth showing
    Points, // a trace with points to measure, draw or compare
};
// The trace at `path` as the command needs it, read once. None when it cannot be used: why is
// said on `err`, and `status` raised to the exit status that calls for: Usage for a file that
// cannot be read (none, a folder, no permission), Damaged for one that is no trace, is cut short
// or has no points. A damaged trace with points is opened: the command says what it makes of
// the damage (damage()). `bytes`, when given, receives the file's bytes.
std::optional<Sor::Trace> openTrace(const QString &path,
                                    QTextStream &err,
                                    int &status,
                                    Need need = Need::Points,
                                    Sor::Detail detail = Sor::Detail::Full,
                                    QByteArray *bytes = nullptr);
// "danificado: WHY": how every command names a damaged trace.
QString damage(const Sor::Trace &trace);
// The exit status a trace calls for by itself: Damaged when it is, else Sound.
int traceStatus(const Sor::Trace &trace);

// A number as given, with a decimal point or comma; false when it is no number.
bool numberValue(const QString &text, double &value);
// The number given to `option` (or its default) into `value`, left alone when neither is there.
// False, with "otdr-sor: INVALID: TEXT" on `err`, when it is no number, is negative, or is 0
// where only a positive number will do.
enum class Least { Zero, Positive };
bool numberOption(const QCommandLineParser &parser,
                  const QCommandLineOption &option,
                  Least least,
                  const QString &invalid,
                  std::optional<double> &value,
                  QTextStream &err);
bool numberOption(const QCommandLineParser &parser,
                  const QCommandLineOption &option,
                  Least least,
                  const QString &invalid,
                  double &value,
                  QTextStream &err);

// -o FILE: what a command writes besides its text (a report, an image, a map, a trace); what
// the file is, each command says.
QCommandLineOption outputOption(const QString &help, const QString &valueName);
// --json: the result in JSON on standard output instead of the text.
QCommandLineOption jsonOption(const QString &help = QStringLiteral("O resultado em JSON."));
// --json or --csv: the result on standard output in one of them instead of the text.
struct Formats
{
    QCommandLineOption json;
    QCommandLineOption csv;
    Formats(const QString &jsonHelp, const QString &csvHelp);
    // The two, which exclude each other, for a usage line.
    Command::Choice choice(bool required = false) const { return {{json, csv}, required}; }
    bool both(const QCommandLineParser &parser) const;
    // At most one of them is given; otherwise, false, with why on `err`.
    bool oneAtMost(const QCommandLineParser &parser, QTextStream &err) const;
};
// A report, a summary or a plot never replaces a trace: false, with the reason on `err`.
bool outputAllowed(const QString &output, const QStringList &inputs, QTextStream &err);
// The same for each of these options that is given.
bool outputsAllowed(const QCommandLineParser &parser,
                    const QList<const QCommandLineOption *> &outputs,
                    const QStringList &inputs,
                    QTextStream &err);

// --limits FILE or --preset NAME: the limits a command judges by.
struct LimitsOption
{
    QCommandLineOption file;
    QCommandLineOption name;
    LimitsOption();
    // The two, which exclude each other, for a usage line.
    Command::Choice choice() const { return {{file, name}}; }
    // The limits given; none when neither is. False, with the reason on `err`, when they
    // cannot be used.
    bool read(const QCommandLineParser &parser,
              std::optional<Acceptance::Limits> &limits,
              QTextStream &err) const;
    // The same, with no limits ("sem limites") when none are given.
    bool read(const QCommandLineParser &parser, Acceptance::Limits &limits, QTextStream &err) const;
};

// --route ROTA: the cable's route, CSV or KML.
struct RouteOption
{
    QCommandLineOption option;
    RouteOption();
    // The route read when one is given. False, with the reason on `err`, when it cannot be; what
    // the user should know of how it was read (a KML without a line) goes to `err` too.
    bool read(const QCommandLineParser &parser,
              std::optional<Route::Route> &route,
              QTextStream &err) const;
};

// --threshold DB: the extra loss at the longer wavelength that is a bend.
QCommandLineOption bendThresholdOption();
// Its value into `db`; false, with the reason on `err`, when it is no number of 0 or more.
bool bendThreshold(const QCommandLineParser &parser,
                   const QCommandLineOption &option,
                   double &db,
                   QTextStream &err);

// --db BANCO: the trace archive (SQLite file or PostgreSQL address; the user's own by default).
QCommandLineOption archiveOption();
// The as-built of the fibre, end and band a trace was measured on, from the archive, as a file
// on this machine; none, with why.
std::optional<QString> archivedBaseline(const Sor::Trace &now, const QString &db, QString *why);
// --tolerance M and --reanalyze of the commands that compare two traces.
QCommandLineOption toleranceOption();
QCommandLineOption eventsFoundOption();
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
