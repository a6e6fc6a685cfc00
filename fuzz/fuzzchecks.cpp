#include "fuzzchecks.h"

#include "analysis/analysis.h"
#include "files/safefilename.h"
#include "otdr/otdraction.h"
#include "route/routeoutput.h"
#include "sor/soredit.h"
#include "sor/sorexport.h"
#include "sor/sorreader.h"

#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what, const QByteArray &input)
{
    if (condition)
        return;
    std::fprintf(stderr, "invariant broken: %s; input %s\n", what, input.toHex().constData());
    std::abort();
}

} // namespace

namespace FuzzChecks {

void listRecord(const QByteArray &reply)
{
    OtdrAction action;
    const bool more = action.parseListReply(reply);
    const QList<FileEntry> entries = action.fileEntries();
    require(entries.size() <= 1, "at most one entry per record", reply);
    if (!more) {
        require(entries.isEmpty(), "the end marker adds no entry", reply);
        require(reply.size() >= 2 + 13 && reply.mid(2, 13) == OtdrAction::EndMarker,
                "only the end marker ends a listing",
                reply);
        return;
    }
    if (entries.isEmpty())
        return;
    const FileEntry &entry = entries.first();
    require(!entry.name.isEmpty(), "no empty name", reply);
    require(entry.name != QLatin1String(OtdrAction::EndMarker), "marker is no entry", reply);
    require(entry.size >= 0 && entry.size <= 0xFFFF, "size fits 16 bits", reply);
    require(entry.size == quint8(reply.at(0)) + 256 * quint8(reply.at(1)), "little-endian", reply);
    require(!entry.name.contains(QChar(0)), "name ends at the first zero byte", reply);
}

void safeFileName(const QByteArray &bytes)
{
    static const QRegularExpression device(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9]) *$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString base = QStringLiteral("/srv/traces");
    QSet<QString> taken;
    QSet<QString> given;
    // The same input twice, and as UTF-8 and as Latin-1, gives a small batch.
    const QStringList names{
        QString::fromUtf8(bytes), QString::fromUtf8(bytes), QString::fromLatin1(bytes)};
    for (const QString &name : names) {
        const QString safe = safeFileName(name);
        require(!safe.isEmpty(), "never empty", bytes);
        require(safe != QLatin1String(".") && safe != QLatin1String(".."), "not . or ..", bytes);
        for (const QChar c : safe) {
            require(c.unicode() >= 0x20 && c.unicode() != 0x7F, "no control character", bytes);
            require(!QStringLiteral("/\\<>:\"|?*").contains(c), "no reserved character", bytes);
        }
        require(!safe.endsWith(QLatin1Char('.')) && !safe.endsWith(QLatin1Char(' ')),
                "no trailing dot or space",
                bytes);
        require(!device.match(safe.section(QLatin1Char('.'), 0, 0)).hasMatch(),
                "not a device name",
                bytes);
        require(safe.toUtf8().size() <= 255, "fits a file system's name", bytes);
        const QString joined = QDir::cleanPath(base + QLatin1Char('/') + safe);
        require(QFileInfo(joined).absolutePath() == base, "inside the directory", bytes);

        const QString unique = uniqueFileName(safe, taken);
        require(!given.contains(unique.toLower()), "distinct within a batch", bytes);
        given.insert(unique.toLower());
    }
}

void sorTrace(const QByteArray &bytes)
{
    const Sor::Trace trace = Sor::read(bytes);
    require(trace.distanceM.size() == trace.levelDb.size(), "a distance per level", bytes);
    require(trace.version == 1 || trace.version == 2 || !trace.errors.isEmpty(),
            "a file of no version is an error",
            bytes);
    for (double d : trace.distanceM)
        require(std::isfinite(d), "finite distances", bytes);
    if (trace.offsets) {
        const Sor::Offsets &o = *trace.offsets;
        require(std::isfinite(o.spanStartM), "a finite span start", bytes);
        // Moved only by the span's start, and only when the file's events allow it.
        if (!trace.distanceM.empty())
            require(std::abs(trace.distanceM.front() + (o.applied ? o.spanStartM : 0)) < 1e-6,
                    "the first point at the span's start",
                    bytes);
    }
    if (trace.keyEvents) {
        for (const Sor::Event &e : trace.keyEvents->events)
            require(std::isfinite(e.distanceM), "finite event distances", bytes);
    }
    require(Sor::toJson(trace).value(QStringLiteral("points")).toInt() == trace.points(),
            "the export counts the points",
            bytes);
    // The analysis of whatever was read: events in order, between the span's start and the last
    // point (within the pulse's length and two samples, what the trace resolves), with finite
    // values; the end, if any, past the start.
    const Analysis::Result found = Analysis::analyze(trace);
    const double first = trace.distanceM.empty() ? 0 : trace.distanceM.front();
    const double start = trace.offsets && trace.offsets->applied ? std::max(first, 0.0) : first;
    const double length = trace.distanceM.empty() ? 0 : trace.distanceM.back();
    const double slack = trace.fixed && !trace.fixed->pulseWidthsNs.isEmpty()
                             ? Sor::pulseLengthM(trace.fixed->pulseWidthsNs.first(),
                                                 trace.groupIndex.value_or(Sor::DefaultGroupIndex))
                                   + 2 * trace.spacingM.value_or(0)
                             : 0;
    double last = first - 1;
    if (found.fiberEndM)
        require(*found.fiberEndM > start && *found.fiberEndM <= length + slack + 1e-6,
                "the end inside the span",
                bytes);
    for (const Analysis::Event &e : found.events) {
        require(std::isfinite(e.distanceM) && e.distanceM >= start - slack - 1e-6
                    && e.distanceM <= length + slack + 1e-6,
                "events inside the span",
                bytes);
        require(e.distanceM >= last, "events in order", bytes);
        require(std::isfinite(e.lossDb), "finite losses", bytes);
        last = e.distanceM;
    }
    // Written back: unchanged, the same bytes, for any file the reader accepts; edited, the new
    // value reads back and the measurement keeps its bytes.
    const Sor::Rewritten same = Sor::rewrite(bytes, {});
    require(same.ok() == !trace.damaged(), "a sound file is written back", bytes);
    if (same.ok())
        require(same.bytes == bytes, "unchanged, the same bytes", bytes);
    Sor::Edits edits;
    edits.cableId = QStringLiteral("CABO-7");
    const Sor::Rewritten edited = Sor::rewrite(bytes, edits, true);
    if (edited.ok() && edited.changed) {
        const Sor::Trace back = Sor::read(edited.bytes);
        require(back.general && back.general->cableId == QStringLiteral("CABO-7"),
                "the edit reads back",
                bytes);
        require(back.levelDb.size() == trace.levelDb.size(), "the points stay", bytes);
    }
}

namespace {

void checkRoute(const Route::Read &read, const QString &path, const QByteArray &bytes)
{
    require(read.route.has_value() == read.error.isEmpty(), "a route or a reason", bytes);
    if (!read.route) {
        require(read.error.startsWith(path), "the reason names the file", bytes);
        return;
    }
    const Route::Route &route = *read.route;
    require(!route.points.isEmpty(), "a route has points", bytes);
    require(!route.readAs.isEmpty(), "how it was read is said", bytes);
    double last = -1;
    for (const Route::Point &p : route.points) {
        require(std::isfinite(p.routeM) && p.routeM >= 0 && p.routeM >= last,
                "points in order at finite distances",
                bytes);
        require(std::isfinite(p.slackM) && p.slackM >= 0, "a loop of finite length", bytes);
        require(
            !p.lat || (std::abs(*p.lat) <= 90 && std::abs(*p.lon) <= 180), "on the globe", bytes);
        last = p.routeM;
    }
    for (const Route::Vertex &v : route.line)
        require(std::isfinite(v.routeM) && std::abs(v.lat) <= 90 && std::abs(v.lon) <= 180,
                "the line on the globe",
                bytes);
    const Route::Route back = route.reversed();
    require(back.points.size() == route.points.size(), "reversed, the same points", bytes);
    // Reversed, it runs from its last point back to its first.
    const double span = route.lengthM() - route.points.first().routeM;
    require(std::abs(back.lengthM() - span) < 1e-6 * (1 + route.lengthM()),
            "reversed, the same span",
            bytes);
    // Events at its closures and between them, placed.
    QVector<double> events;
    for (const Route::Point &p : route.points)
        events << route.cableAt(p.routeM) + 3;
    const Route::Calibration c = Route::calibrate(route, events, {}, 20);
    require(std::isfinite(c.model.efl) && std::isfinite(c.model.offsetM),
            "a finite calibration",
            bytes);
    QVector<Route::Position> positions;
    for (double at : {-100.0, 0.0, route.lengthM() / 2, route.lengthM(), route.lengthM() + 100}) {
        const Route::Position p = Route::place(route, c, at, QStringLiteral("x"), 1, 50);
        require(std::isfinite(p.routeM) && std::isfinite(p.uncertaintyM) && p.uncertaintyM > 0,
                "a place with its uncertainty",
                bytes);
        require(!p.place || (std::abs(p.place->lat) <= 90 && std::abs(p.place->lon) <= 180),
                "placed on the globe",
                bytes);
        require(!Route::whereText(p).isEmpty() || (!p.after && !p.before), "said in words", bytes);
        positions << p;
    }
    QXmlStreamReader xml(Route::kml(route, positions));
    while (!xml.atEnd())
        xml.readNext();
    require(!xml.hasError(), "the KML written is XML", bytes);
    QJsonParseError error;
    QJsonDocument::fromJson(Route::geoJson(route, positions), &error);
    require(error.error == QJsonParseError::NoError, "the GeoJSON written is JSON", bytes);
}

} // namespace

void route(const QByteArray &bytes)
{
    checkRoute(
        Route::readCsv(bytes, QStringLiteral("rota.csv")), QStringLiteral("rota.csv"), bytes);
    checkRoute(
        Route::readKml(bytes, QStringLiteral("rota.kml")), QStringLiteral("rota.kml"), bytes);
}

} // namespace FuzzChecks
