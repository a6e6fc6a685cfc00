#pragma once

#include "acceptance/twoway.h"

#include <QString>

class QCommandLineOption;
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
int bidirCommand(const QString &fileA,
                 const QString &fileB,
                 const TwoWayOptions &options,
                 QTextStream &out,
                 QTextStream &err);
// otdr-sor bends: one fibre at a shorter and a longer wavelength, bends flagged.
int bendsCommand(const QString &shorter,
                 const QString &longer,
                 const TwoWayOptions &options,
                 QTextStream &out,
                 QTextStream &err);

// --json, --tolerance and --reanalyze as both commands take them; false, with the reason on
// `err`, for a tolerance that is no positive number.
bool twoWayOptions(const QCommandLineParser &parser,
                   const QCommandLineOption &json,
                   const QCommandLineOption &tolerance,
                   const QCommandLineOption &eventsFound,
                   TwoWayOptions &options,
                   QTextStream &err);
