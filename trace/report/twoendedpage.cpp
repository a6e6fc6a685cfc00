#include "report/pdfpage.h"

#include "sor/sortext.h"

#include <QFileInfo>

#include <algorithm>

// The report's page of a fibre measured from both ends: its two files, its verdict on the
// averaged losses, both traces on A's axis and the events as each end saw them.
namespace Report {

using namespace Pdf;

namespace {

const QVector<double> FibreWidths{0.04, 0.09, 0.13, 0.13, 0.10, 0.09, 0.08, 0.34};

// "Fibra 0001 do cabo CB-1: CENTRAL ↔ POSTE", leaving out what the files do not name.
QString fibreTitle(const Sor::Trace &t)
{
    QString fibre = QStringLiteral("Fibra");
    if (t.general) {
        const Sor::GeneralParameters &g = *t.general;
        const QString id = g.fiberId.trimmed();
        fibre += id.isEmpty() ? QStringLiteral(" sem id") : QLatin1Char(' ') + id;
        if (!g.cableId.trimmed().isEmpty())
            fibre += QStringLiteral(" do cabo %1").arg(g.cableId.trimmed());
        if (!g.locationA.trimmed().isEmpty() && !g.locationB.trimmed().isEmpty())
            fibre += QStringLiteral(": %1 ↔ %2").arg(g.locationA.trimmed(), g.locationB.trimmed());
    }
    return fibre;
}

void verdictLine(Page &page, const Fibre &f)
{
    page.line(QStringLiteral("Veredito da fibra (perdas médias das duas pontas): %1")
                  .arg(Acceptance::verdictWord(f.judgement.verdict)),
              11,
              true,
              verdictColour(f.judgement.verdict));
}

// Its title, with "(continuação)" and its verdict again on the pages after the first.
void fibreHeading(Page &page, const Fibre &f, const Sor::Trace &t, bool continued)
{
    page.line(continued ? QStringLiteral("%1 (continuação)").arg(fibreTitle(t)) : fibreTitle(t),
              13,
              true);
    if (continued && f.problem.isEmpty())
        verdictLine(page, f);
}

// The fibre's verdict, why (as on a trace's page: each value, its limit and where) and its
// figures, each line where it fits.
void verdictLines(Flow &flow, const Fibre &f)
{
    const QColor colour = verdictColour(f.judgement.verdict);
    flow.put([&](Page &p) { verdictLine(p, f); });
    for (const QString &reason : f.judgement.reasons)
        flow.put([&](Page &p) { p.line(reason, BodyPoints, false, colour); });
    const auto value = [](const std::optional<double> &v, const QString &text) {
        return v ? text : QStringLiteral("—");
    };
    const QString figures
        = QStringLiteral("Comprimento: %1   Perda total (média): %2   Deslocamento comum "
                         "removido: %3 m   Tolerância: %4 m")
              .arg(value(f.twoWay.fiberLengthM, Sor::kilometres(f.twoWay.fiberLengthM.value_or(0))),
                   value(f.twoWay.totalLossDb,
                         Sor::decimal(f.twoWay.totalLossDb.value_or(0), 3) + QStringLiteral(" dB")),
                   Sor::decimal(f.twoWay.shiftM, 1),
                   Sor::decimal(f.twoWay.toleranceM, 1));
    flow.put([&](Page &p) { p.line(figures); });
}

void eventRow(Page &page, const Fibre &f, int i, const Options &o)
{
    const Acceptance::TwoWayEvent &e = f.twoWay.events.at(i);
    const Acceptance::JudgedEvent &judged = f.judgement.events.at(i);
    QVector<QColor> colours(FibreWidths.size());
    colours.last() = verdictColour(judged.verdict);
    page.row({QString::number(i + 1),
              Sor::decimal(e.distanceM / 1000, 4),
              Sor::optionalDecimal(e.lossAbDb, 3) + (e.measuredA ? QStringLiteral("*") : QString()),
              Sor::optionalDecimal(e.lossBaDb, 3) + (e.measuredB ? QStringLiteral("*") : QString()),
              Sor::measuredText(e.lossDb, 3),
              Sor::optionalDecimal(e.reflectanceDb, 2),
              e.seenFrom == Acceptance::SeenFrom::Both
                  ? QStringLiteral("ambas")
                  : QStringLiteral("só %1").arg(Acceptance::seenFromText(e.seenFrom)),
              Acceptance::eventVerdictText(judged, o.limits, f.link.wavelengthNm)},
             FibreWidths,
             false,
             colours);
}

// Every event's row; the table goes on, under its heading again, on the pages that follow.
void fibreEvents(Flow &flow, const Fibre &f, const Options &o)
{
    const int rows = int(std::min(f.twoWay.events.size(), f.judgement.events.size()));
    flow.table(
        rows,
        [](Page &p) { p.row(twoEndedColumns(), FibreWidths, true); },
        [&](Page &p, int i) { eventRow(p, f, i, o); });
    const bool measured = std::any_of(f.twoWay.events.cbegin(),
                                      f.twoWay.events.cend(),
                                      [](const auto &e) { return e.measuredA || e.measuredB; });
    if (measured)
        flow.put([](Page &p) { p.line(MeasuredHereNote); });
}

} // namespace

int Pdf::twoEndedPages(const std::function<Page()> &nextPage,
                       const QVector<Entry> &entries,
                       const Fibre &f,
                       const Options &o,
                       const std::optional<LinkMerge::Link> &map)
{
    const Entry &a = entries.at(f.a);
    const Entry &b = entries.at(f.b);
    const Sor::Trace &t = a.trace;
    Flow flow(nextPage, [&](Page &p, bool continued) { fibreHeading(p, f, t, continued); });
    const QString files
        = QStringLiteral("Medida das duas pontas: %1 (de A) e %2 (de B)%3")
              .arg(QFileInfo(a.path).fileName(),
                   QFileInfo(b.path).fileName(),
                   t.wavelengthNm ? QStringLiteral(", ") + Sor::wavelengthText(*t.wavelengthNm)
                                  : QString());
    flow.put([&](Page &p) { p.line(files); });
    if (!f.problem.isEmpty()) {
        flow.put([&](Page &p) {
            p.line(QStringLiteral("Par recusado: %1").arg(f.problem), 10, true, FailColour);
        });
        return flow.pages();
    }
    verdictLines(flow, f);
    // B's trace mirrored onto A's axis, over A's.
    const Sor::Trace mirrored = Acceptance::mirroredTrace(b.trace, f.twoWay);
    const QVector<TracePlot::Series> series{
        {&a.trace, QFileInfo(a.path).fileName(), TracePlot::seriesColour(0)},
        {&mirrored,
         QStringLiteral("%1 (espelhado)").arg(QFileInfo(b.path).fileName()),
         TracePlot::seriesColour(1)}};
    const TracePlot::View view = TracePlot::viewToEnd(series, f.twoWay.fiberLengthM);
    flow.put([&](Page &p) {
        p.y += Row / 2;
        plotUnderMap(p, map, series, view);
    });
    fibreEvents(flow, f, o);
    return flow.pages();
}

} // namespace Report
