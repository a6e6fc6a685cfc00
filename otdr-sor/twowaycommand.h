#pragma once

#include "acceptance/twoway.h"
#include "commandline.h"

#include <QString>

class QCommandLineParser;
class QTextStream;

struct TwoWayOptions
{
    bool json = false;
    bool reanalyze = false; // the analysis' events, not the files'
    double toleranceM = 0;  // 0: the default
    double thresholdDb = Acceptance::DefaultBendThresholdDb;
    bool force = false; // pair two files whose labels say they are no pair
};

// otdr-sor bidir: the two directions of one fibre matched and averaged, as a table or JSON.
int bidirFiles(const QString &fileA,
               const QString &fileB,
               const TwoWayOptions &options,
               QTextStream &out,
               QTextStream &err);
// otdr-sor bends: one fibre at a shorter and a longer wavelength, bends flagged.
int bendsFiles(const QString &shorter,
               const QString &longer,
               const TwoWayOptions &options,
               QTextStream &out,
               QTextStream &err);

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
