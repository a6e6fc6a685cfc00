#include "twowaycommand.h"

#include "analysis/analysis.h"
#include "commandline.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

namespace {

// A file's events as the comparison takes them; nothing when it has none to give.
std::optional<Acceptance::Measurement>
load(const QString &path, bool reanalyze, int &status, QTextStream &err)
{
    // The analysis needs points; the file's own events need only a trace, however damaged.
    const std::optional<Sor::Trace> opened = CommandLine::openTrace(
        path, err, status, reanalyze ? CommandLine::Need::Points : CommandLine::Need::Bytes);
    if (!opened)
        return std::nullopt;
    const Sor::Trace &trace = *opened;
    const QString name = QFileInfo(path).fileName();
    if (trace.damaged()) {
        CommandLine::fileProblem(err, path, CommandLine::damage(trace));
        status = std::max(status, int(Command::Damaged));
    }
    if (reanalyze) {
        const Analysis::Result found = Analysis::analyze(trace);
        return Acceptance::measurementOf(name, trace, Acceptance::analysedLink(trace, found));
    }
    // A file that stores no events is taken with the analysis' of its points.
    Sor::Trace withEvents = trace;
    const Acceptance::Link link = Acceptance::eventsLink(withEvents);
    return Acceptance::measurementOf(name, withEvents, link);
}

} // namespace

std::optional<Measurements> loadBoth(
    const QStringList &files, bool reanalyze, PairProblem problemOf, int &status, QTextStream &err)
{
    auto a = load(files.at(0), reanalyze, status, err);
    auto b = load(files.at(1), reanalyze, status, err);
    if (!a || !b) {
        status = std::max(status, int(Command::Damaged));
        return std::nullopt;
    }
    const QString problem = problemOf(*a, *b);
    if (!problem.isEmpty()) {
        err << QStringLiteral("otdr-sor: ") << problem << "\n";
        status = Command::Usage;
        return std::nullopt;
    }
    return std::make_pair(std::move(*a), std::move(*b));
}

bool TwoWayChoices::read(const QCommandLineParser &parser,
                         TwoWayOptions &options,
                         QTextStream &err) const
{
    options.json = parser.isSet(json);
    options.reanalyze = parser.isSet(eventsFound);
    return CommandLine::numberOption(parser,
                                     tolerance,
                                     CommandLine::Least::Positive,
                                     QStringLiteral("tolerância inválida"),
                                     options.toleranceM,
                                     err);
}
