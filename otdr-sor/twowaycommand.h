#pragma once

#include "acceptance/twoway.h"
#include "commandline.h"

#include <QString>

#include <optional>
#include <utility>

class QCommandLineParser;
class QTextStream;

// What bidir and bends share: how the two traces of one fibre are compared, and each file's
// events as the comparison takes them.
struct TwoWayOptions
{
    bool json = false;
    bool reanalyze = false; // the analysis' events, not the files'
    double toleranceM = 0;  // 0: the default
};

// --json, --tolerance and --reanalyze as both commands take them.
struct TwoWayChoices
{
    QCommandLineOption json = CommandLine::jsonOption();
    QCommandLineOption tolerance = CommandLine::toleranceOption();
    QCommandLineOption eventsFound = CommandLine::eventsFoundOption();
    // Each of them, optional, for a usage line.
    QList<Command::Choice> choices() const
    {
        return Command::eachAlone({json, tolerance, eventsFound});
    }
    // What was given into `options`; false, with the reason on `err`, for a tolerance that is no
    // positive number.
    bool read(const QCommandLineParser &parser, TwoWayOptions &options, QTextStream &err) const;
};

// The two files' events, each file's problem said; none when either has none to give (`status`
// raised to Damaged), or when `problemOf` finds them no pair the command compares (the problem
// on `err`, `status` Usage).
using Measurements = std::pair<Acceptance::Measurement, Acceptance::Measurement>;
using PairProblem = QString (*)(const Acceptance::Measurement &, const Acceptance::Measurement &);
std::optional<Measurements> loadBoth(
    const QStringList &files, bool reanalyze, PairProblem problemOf, int &status, QTextStream &err);
