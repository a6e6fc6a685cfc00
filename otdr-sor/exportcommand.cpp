#include "analysis/pointloss.h"
#include "commandline.h"
#include "sor/sorexport.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

// The file's events as stored, but for a marker that stores no loss: its loss measured on the
// points ("how": "measured"), or none where they cannot give it ("how": "not-measured").
QJsonObject withMeasuredMarkers(QJsonObject json, const Sor::Trace &t)
{
    if (!t.keyEvents)
        return json;
    QJsonArray events = json.value(QStringLiteral("events")).toArray();
    for (int i = 0; i < events.size() && i < t.keyEvents->events.size(); ++i) {
        const Sor::Event &e = t.keyEvents->events.at(i);
        if (!e.valuelessMarker())
            continue;
        QJsonObject event = events.at(i).toObject();
        const Analysis::EventLoss loss = Analysis::eventLoss(t, e);
        event[QStringLiteral("loss_db")] = loss.db ? QJsonValue(*loss.db) : QJsonValue();
        event[QStringLiteral("how")]
            = loss.measuredHere ? QStringLiteral("measured") : QStringLiteral("not-measured");
        events[i] = event;
    }
    json[QStringLiteral("events")] = events;
    return json;
}

const CommandLine::Formats formats{QStringLiteral("Exporta em JSON."),
                                   QStringLiteral("Exporta distância e nível por ponto em CSV.")};
const QCommandLineOption points{QStringLiteral("points"),
                                QStringLiteral("Inclui os pontos do traço no JSON.")};

// otdr-sor export: the trace as JSON (with its points if asked) or its points as CSV.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    if (!formats.oneAtMost(parser, err))
        return Command::Usage;
    // The JSON says what is wrong with any file; the CSV is of points.
    const bool json = parser.isSet(formats.json);
    int status = Command::Sound;
    const std::optional<Sor::Trace> opened = CommandLine::openTrace(
        files.first(), err, status, json ? CommandLine::Need::Bytes : CommandLine::Need::Points);
    if (!opened)
        return status;
    const Sor::Trace &t = *opened;
    if (json) {
        out << QJsonDocument(withMeasuredMarkers(Sor::toJson(t, parser.isSet(points)), t))
                   .toJson(QJsonDocument::Indented);
    } else {
        QBuffer csvText;
        csvText.open(QIODevice::WriteOnly);
        Sor::writeCsv(t, csvText, Sor::CsvStyle::ofUser());
        out << QString::fromLatin1(csvText.data());
    }
    return CommandLine::traceStatus(t);
}

} // namespace

Command::Declaration exportCommand()
{
    return {QStringLiteral("export"),
            QStringLiteral("o traço em JSON (--points inclui os pontos) ou CSV"),
            {CommandLine::traceArgument()},
            {formats.choice(true), {{points}}},
            run};
}
