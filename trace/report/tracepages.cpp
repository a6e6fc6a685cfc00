#include "report/tracepages.h"

#include "route/tracelocate.h"

#include "sor/sortext.h"
#include "traceplot/plotpainter.h"

#include <QFileInfo>
#include <QPainter>

#include <algorithm>

// A trace's pages in the report: its verdict and why, its identification, its plot and its
// events, carried on to the pages that follow where they do not fit.
namespace Report {

using namespace Pdf;

namespace {

const QVector<double> EventWidths{0.04, 0.09, 0.13, 0.09, 0.09, 0.18, 0.19, 0.19};

void identification(Page &page, const Entry &e)
{
    const Sor::Trace &t = e.trace;
    const auto text
        = [](bool present, const QString &value) { return present ? value : QString(); };
    const bool g = t.general.has_value();
    const bool s = t.supplier.has_value();
    const QList<QPair<QString, QString>> rows{
        {QStringLiteral("Cabo"), text(g, g ? t.general->cableId : QString())},
        {QStringLiteral("Fibra"), text(g, g ? t.general->fiberId : QString())},
        {QStringLiteral("Local A"), text(g, g ? t.general->locationA : QString())},
        {QStringLiteral("Local B"), text(g, g ? t.general->locationB : QString())},
        {QStringLiteral("Fabricante"), text(s, s ? t.supplier->supplier : QString())},
        {QStringLiteral("Modelo"), text(s, s ? t.supplier->mainframe : QString())},
        {QStringLiteral("Número de série"), text(s, s ? t.supplier->mainframeSerial : QString())},
        {QStringLiteral("Data"),
         t.date ? t.date->toString(QStringLiteral("dd/MM/yyyy HH:mm 'UTC'")) : QString()},
        {QStringLiteral("Comprimento de onda"),
         t.wavelengthNm ? Sor::wavelengthText(*t.wavelengthNm) : QString()},
        {QStringLiteral("Pulso"), Sor::pulseText(t)},
        {QStringLiteral("Alcance"), t.rangeM ? Sor::kilometres(*t.rangeM) : QString()},
        {QStringLiteral("Índice de grupo"),
         t.groupIndex ? Sor::decimal(*t.groupIndex, 5) : QString()},
        {QStringLiteral("Soma de verificação"),
         t.damaged() ? Sor::damagedWord() : Sor::checksumPlain(t.checksum)},
        // The link as it was judged: the file's figures, or the analysis' with --reanalyze.
        {QStringLiteral("Comprimento da fibra"),
         e.link.lengthM ? Sor::kilometres(*e.link.lengthM) : QStringLiteral("não medido")},
        {QStringLiteral("Perda total"),
         e.link.totalLossDb ? Sor::decimal(*e.link.totalLossDb, 3) + QStringLiteral(" dB")
                            : QStringLiteral("não medida")},
        {QStringLiteral("ORL"),
         e.link.orlDb ? Sor::decimal(*e.link.orlDb, 2) + QStringLiteral(" dB")
                      : QStringLiteral("não medido")}};
    const int half = (rows.size() + 1) / 2;
    for (int r = 0; r < half; ++r) {
        QStringList cells{rows.at(r).first, rows.at(r).second};
        if (r + half < rows.size())
            cells << rows.at(r + half).first << rows.at(r + half).second;
        page.row(cells, {0.17, 0.31, 0.21, 0.31});
    }
}

// A section's attenuation, "não medido" where none was, marked where the section is too short
// to judge it.
QString attenuationCell(const Acceptance::JudgedEvent &e)
{
    if (e.marker)
        return QString();
    const QString value = Sor::measuredText(e.attenuationDbKm, 3);
    return e.shortSection() ? value + QStringLiteral(" (trecho curto)") : value;
}

void eventsHeading(Page &page)
{
    page.row({QStringLiteral("Nº"),
              QStringLiteral("Dist. (km)"),
              QStringLiteral("Tipo"),
              QStringLiteral("Perda (dB)"),
              QStringLiteral("Refl. (dB)"),
              QStringLiteral("Aten. (dB/km)"),
              QStringLiteral("Margem"),
              QStringLiteral("Veredito")},
             EventWidths,
             true);
}

// Its name, with "(continuação)" on the pages after the first, and its verdict.
void traceHeading(Page &page, const Entry &e, bool continued)
{
    const Acceptance::Verdict v = e.judgement.verdict;
    const QString name = QFileInfo(e.path).fileName();
    page.line(continued ? QStringLiteral("%1 (continuação)").arg(name) : name, 13, true);
    page.line(QStringLiteral("Veredito do traço: %1").arg(Acceptance::verdictWord(v)),
              11,
              true,
              verdictColour(v));
}

void eventRow(Page &page, const Entry &e, const Acceptance::JudgedEvent &ev, const Options &o)
{
    const QString kind = Sor::eventKindText(ev.end          ? Sor::EventKind::End
                                            : ev.reflective ? Sor::EventKind::Reflective
                                                            : Sor::EventKind::NonReflective);
    // The word only: the reasons above the table say the value, the limit and where.
    const QString verdict = ev.end && !ev.pastEnd ? QString()
                            : ev.pastEnd
                                ? Acceptance::eventVerdictText(ev, o.limits, e.link.wavelengthNm)
                                : Acceptance::verdictWord(ev.verdict);
    QVector<QColor> colours(EventWidths.size());
    colours.last() = verdictColour(ev.verdict);
    colours[colours.size() - 2] = ev.attention() ? AttentionColour : QColor();
    page.row({QString::number(ev.number),
              Sor::decimal(ev.distanceM / 1000, 4),
              kind,
              ev.end ? QString()
                     : Sor::measuredText(ev.lossDb, 3)
                           + (ev.lossDb && ev.lossMeasuredHere ? QStringLiteral("*") : QString()),
              (ev.reflective || ev.end) ? Sor::measuredText(ev.reflectanceDb, 2) : QString(),
              attenuationCell(ev),
              ev.marginText.isEmpty() || ev.verdict != Acceptance::Verdict::Pass
                  ? QString()
                  : ev.marginText + (ev.attention() ? QStringLiteral(" ATENÇÃO") : QString()),
              verdict},
             EventWidths,
             false,
             colours);
}

// Every event's row; the table goes on, under its heading again, on the pages that follow.
void events(Flow &flow, const Entry &e, const Options &o)
{
    const QVector<Acceptance::JudgedEvent> &all = e.judgement.events;
    flow.table(
        int(all.size()), eventsHeading, [&](Page &p, int i) { eventRow(p, e, all.at(i), o); });
    if (std::any_of(all.cbegin(), all.cend(), [](const Acceptance::JudgedEvent &ev) {
            return ev.lossDb && ev.lossMeasuredHere;
        }))
        flow.put([](Page &p) { p.line(MeasuredHereNote); });
}

// Where the fibre's end and each failing event lie in the street, as the route and the trace's
// own closures place them.
void routeLines(Page &page, const Entry &e, const Route::Route &route)
{
    const Route::Located l
        = Route::locateTrace(QFileInfo(e.path).fileName(), e.trace, route, {}, {});
    QStringList failing;
    for (const Acceptance::JudgedEvent &ev : e.judgement.events) {
        if (ev.verdict == Acceptance::Verdict::Fail && !ev.end)
            failing << QStringLiteral("evento %1").arg(ev.number);
    }
    QStringList said;
    for (const Route::Position &p : l.positions) {
        if (p.end || failing.contains(p.label))
            said << QStringLiteral("%1: %2 (± %3 m%4)")
                        .arg(p.label,
                             Route::whereText(p),
                             Sor::decimal(p.uncertaintyM, 0),
                             p.place ? QStringLiteral("; %1, %2")
                                           .arg(QString::number(p.place->lat, 'f', 6),
                                                QString::number(p.place->lon, 'f', 6))
                                     : QString());
    }
    if (said.isEmpty())
        return;
    page.line(QStringLiteral("Na rota (%1): %2")
                  .arg(QFileInfo(route.path).fileName(), said.join(QStringLiteral("; "))),
              BodyPoints);
    for (const QString &warning : l.calibration.warnings)
        page.line(QStringLiteral("Rota: %1").arg(warning), ReadablePoints + 1);
}

} // namespace

// A trace's pages: its verdict and why, its identification, its plot and its events; how many
// pages they took.
int tracePages(const std::function<Page()> &nextPage,
               const Entry &e,
               const Options &o,
               const std::optional<LinkMerge::Link> &map)
{
    Flow flow(nextPage, [&e](Page &p, bool continued) { traceHeading(p, e, continued); });
    const Acceptance::Judgement &j = e.judgement;
    const auto line = [&flow](const QString &text, double points, bool bold, const QColor &colour) {
        flow.put([&](Page &p) { p.line(text, points, bold, colour); });
    };
    // Why it fails or cannot be judged: each value, its limit and where.
    for (const QString &reason : j.reasons)
        line(reason, BodyPoints, false, verdictColour(j.verdict));
    // A pass that came within a tenth of a limit is one to watch.
    if (j.verdict == Acceptance::Verdict::Pass && !j.attention.isEmpty()) {
        line(QStringLiteral("ATENÇÃO, perto do limite: %1")
                 .arg(j.attention.join(QStringLiteral("; "))),
             BodyPoints,
             false,
             AttentionColour);
    }
    if (!e.readable) {
        line(QStringLiteral("Este arquivo não pôde ser lido: %1").arg(e.problem),
             10,
             true,
             FailColour);
        return flow.pages();
    }
    if (e.trace.damaged()) {
        line(QStringLiteral("Traço %1: %2").arg(Sor::damagedWord(), e.problem),
             BodyPoints,
             true,
             FailColour);
    }
    if (o.route)
        flow.put([&](Page &p) { routeLines(p, e, *o.route); });
    flow.put([&](Page &p) {
        p.y += Row / 2;
        identification(p, e);
        p.y += Row / 2;
    });
    const TracePlot::Series series{
        &e.trace, QFileInfo(e.path).fileName(), TracePlot::seriesColour(0)};
    flow.put([&](Page &p) {
        plotUnderMap(p, map, {series}, TracePlot::viewToEnd({series}, e.link.lengthM));
    });
    events(flow, e, o);
    return flow.pages();
}

} // namespace Report
