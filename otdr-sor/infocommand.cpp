#include "analysis/eventsource.h"
#include "analyzecommand.h"
#include "commandline.h"
#include "sor/sortext.h"
#include "verdictlines.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

const CommandLine::LimitsOption limits;

// otdr-sor info: the trace's summary and its event table, and with limits, its verdict.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    std::optional<Acceptance::Limits> chosen;
    if (!limits.read(parser, chosen, err))
        return Command::Usage;
    const QString &path = files.first();
    int status = Command::Sound;
    std::optional<Sor::Trace> opened
        = CommandLine::openTrace(path, err, status, CommandLine::Need::Trace);
    if (!opened)
        return status;
    Sor::Trace &t = *opened;
    // A file that stores no events: the analysis' of its points, said so.
    const bool analysed = Analysis::supplyEvents(t).has_value();
    const QVector<Sor::SummaryRow> rows = Sor::summaryRows(t, path, Sor::SummaryStyle::Command);
    for (const Sor::SummaryRow &row : rows)
        out << (row.label + QLatin1Char(':')).leftJustified(22) << row.value << "\n";
    if (t.keyEvents && !t.keyEvents->events.isEmpty()) {
        out << (analysed ? QStringLiteral("\nEventos (da análise dos pontos: o arquivo não "
                                          "traz eventos):\n")
                         : QStringLiteral("\nEventos:\n"));
        printFileEvents(t, out);
        if (t.keyEvents->endToEndLossDb)
            out << "  Perda total: " << Sor::decimal(*t.keyEvents->endToEndLossDb, 3) << " dB\n";
        // A stored 0 is no ORL any link has: not given.
        if (t.keyEvents->opticalReturnLossDb && *t.keyEvents->opticalReturnLossDb > 0)
            out << "  ORL: " << Sor::decimal(*t.keyEvents->opticalReturnLossDb, 2) << " dB\n";
    }
    if (chosen) {
        out << "\n";
        return std::max(CommandLine::traceStatus(t), printVerdict(t, *chosen, out));
    }
    return CommandLine::traceStatus(t);
}

} // namespace

Command::Declaration infoCommand()
{
    return {QStringLiteral("info"),
            QStringLiteral("resumo do traço e tabela de eventos"),
            {CommandLine::traceArgument()},
            {limits.choice()},
            run};
}
