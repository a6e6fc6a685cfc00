#include "report/report.h"

#include "sor/savefile.h"
#include "sor/sortext.h"
#include "traceplot/plotpainter.h"

#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>

#include <functional>

namespace Report {

namespace {

constexpr int Resolution = 150; // dots per inch of the page's coordinates
constexpr int Row = 24;         // a table row, in those dots
constexpr double BodyPoints = 8.5;
constexpr int PlotHeight = 540;
// Every page's header (logo, company, title) and footer (date, page number), in dots.
constexpr int HeaderHeight = 72;
constexpr int FooterHeight = 44;
const QColor FailColour(0xc0, 0x00, 0x00);
const QColor PassColour(0x00, 0x70, 0x20);
const QColor AttentionColour(0xa0, 0x60, 0x00);

QColor verdictColour(Acceptance::Verdict v)
{
    return v == Acceptance::Verdict::Fail       ? FailColour
           : v == Acceptance::Verdict::Pass     ? PassColour
           : v == Acceptance::Verdict::NoLimits ? QColor(0x30, 0x30, 0x30)
                                                : QColor(0x60, 0x60, 0x60);
}

// Writes down a page: the painter, the printable area and how far down it is filled.
// The smallest size a cell's text is set in before it is cut.
constexpr double SmallestPoints = 4.5;

struct Page
{
    QPainter &painter;
    QRect area;
    int y = 0;
    double rowPoints = BodyPoints; // a table's body text

    void font(double points, bool bold = false)
    {
        QFont f = painter.font();
        f.setPointSizeF(points);
        f.setBold(bold);
        // No ligatures: a reader searching for "reflexivo" must find it.
        f.setStyleStrategy(QFont::PreferNoShaping);
        painter.setFont(f);
    }
    void line(const QString &text,
              double points = BodyPoints,
              bool bold = false,
              const QColor &colour = Qt::black)
    {
        font(points, bold);
        painter.setPen(colour);
        // Long lines wrap at words.
        const QRect bounds = painter.fontMetrics().boundingRect(
            QRect(area.left(), area.top() + y, area.width(), area.height()),
            Qt::TextWordWrap,
            text);
        const int height = bounds.height() + 4;
        painter.drawText(QRect(area.left(), area.top() + y, area.width(), height),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                         text);
        y += height;
    }
    // One table row; widths are shares of the area's width; a cell may have its own colour.
    void row(const QStringList &cells,
             const QVector<double> &widths,
             bool bold = false,
             const QVector<QColor> &colours = {})
    {
        // A header row is bold, in a smaller size that keeps it as narrow as its column.
        font(bold ? rowPoints - 1.5 : rowPoints, bold);
        double x = area.left();
        for (int c = 0; c < cells.size() && c < widths.size(); ++c) {
            const double w = widths.at(c) * area.width();
            painter.setPen(c < colours.size() && colours.at(c).isValid() ? colours.at(c)
                                                                         : Qt::black);
            const QRectF cell(x + 2, area.top() + y, w - 4, Row);
            // A text wider than its column is set smaller, down to a size still read on paper,
            // rather than cut: a file name or an id must be whole.
            const QFont kept = painter.font();
            const double wide = painter.fontMetrics().horizontalAdvance(cells.at(c));
            if (wide > w - 4) {
                QFont smaller = kept;
                smaller.setPointSizeF(
                    std::max(SmallestPoints, kept.pointSizeF() * (w - 4) / wide * 0.98));
                painter.setFont(smaller);
            }
            painter.drawText(
                cell,
                Qt::AlignLeft | Qt::AlignVCenter,
                painter.fontMetrics().elidedText(cells.at(c), Qt::ElideRight, int(w - 4)));
            painter.setFont(kept);
            x += w;
        }
        painter.setPen(QColor(0xd0, 0xd0, 0xd0));
        painter.drawLine(area.left(), area.top() + y + Row, area.right(), area.top() + y + Row);
        y += Row;
    }
};

const QVector<double> SummaryWidths{0.18, 0.08, 0.07, 0.06, 0.07, 0.06, 0.10, 0.10, 0.14, 0.14};
constexpr double SummaryPoints = 7.5; // ten columns across a portrait page
const QVector<double> FibreWidths{0.04, 0.10, 0.10, 0.10, 0.10, 0.09, 0.09, 0.38};
const QVector<double> EventWidths{0.04, 0.09, 0.13, 0.09, 0.09, 0.18, 0.14, 0.24};

void limitsLines(Page &page, const Options &o)
{
    page.line(QStringLiteral("Limites: %1")
                  .arg(o.limits.name.isEmpty() ? QStringLiteral("—") : o.limits.name),
              BodyPoints,
              true);
    QStringList said;
    for (const Acceptance::LimitRow &row : Acceptance::limitRows(o.limits)) {
        said << (row.wavelengthNm ? QStringLiteral("%1 %2 em %3 nm")
                                        .arg(row.label, row.value)
                                        .arg(*row.wavelengthNm)
                                  : row.label + QLatin1Char(' ') + row.value);
    }
    page.line(said.isEmpty() ? QStringLiteral("nenhum limite verificado")
                             : said.join(QStringLiteral("; ")));
}

void countsLine(Page &page,
                const QString &what,
                const QVector<Acceptance::Verdict> &verdicts,
                int attention = 0)
{
    int counts[4] = {0, 0, 0, 0};
    for (const Acceptance::Verdict v : verdicts)
        ++counts[int(v)];
    QString line = QStringLiteral("%1 %2: %3 APROVADO, %4 REPROVADO, %5 INDETERMINADO")
                       .arg(verdicts.size())
                       .arg(what)
                       .arg(counts[0])
                       .arg(counts[1])
                       .arg(counts[2]);
    if (counts[int(Acceptance::Verdict::NoLimits)] > 0)
        line += QStringLiteral(", %1 SEM LIMITES").arg(counts[int(Acceptance::Verdict::NoLimits)]);
    if (attention > 0)
        line += QStringLiteral(" (%1 APROVADO com ATENÇÃO)").arg(attention);
    page.line(line, 10, true);
}

void summaryPage(Page &page,
                 const QVector<Entry> &entries,
                 const QVector<Fibre> &fibres,
                 int from,
                 int count,
                 const Options &o)
{
    if (from == 0) {
        page.line(o.title, 16, true);
        page.line(QStringLiteral("Empresa: %1").arg(o.company));
        page.line(QStringLiteral("Operador: %1").arg(o.operatorName));
        page.line(
            QStringLiteral("Data: %1").arg(o.date.toString(QStringLiteral("dd/MM/yyyy HH:mm"))));
        page.line(o.reanalyze ? QStringLiteral("Eventos: reanalisados por este programa")
                              : QStringLiteral("Eventos: os de cada arquivo"));
        limitsLines(page, o);
        QVector<Acceptance::Verdict> verdicts;
        int watched = 0;
        for (const Entry &e : entries) {
            verdicts << finalVerdict(e);
            watched
                += finalVerdict(e) == Acceptance::Verdict::Pass && !e.judgement.attention.isEmpty()
                       ? 1
                       : 0;
        }
        countsLine(page, QStringLiteral("traços"), verdicts, watched);
        if (!fibres.isEmpty()) {
            verdicts.clear();
            for (const Fibre &f : fibres)
                verdicts << f.judgement.verdict;
            countsLine(
                page, QStringLiteral("fibras medidas das duas pontas (perdas médias)"), verdicts);
        }
        int bent = 0;
        for (const Entry &e : entries)
            bent += e.bendsM.isEmpty() ? 0 : 1;
        if (bent > 0)
            page.line(QStringLiteral("Curvaturas: %1 traços mostram perda maior no comprimento de "
                                     "onda longo (coluna Curvatura)")
                          .arg(bent),
                      BodyPoints,
                      true,
                      FailColour);
        page.y += Row / 2;
    }
    page.rowPoints = SummaryPoints;
    if (from > 0 && from >= entries.size())
        return; // a page for the closing lines alone
    page.row(summaryHeader(), SummaryWidths, true);
    for (int i = from; i < std::min(int(entries.size()), from + count); ++i) {
        const Entry &e = entries.at(i);
        QVector<QColor> colours(SummaryWidths.size());
        colours.last() = verdictColour(finalVerdict(e));
        colours[colours.size() - 2]
            = verdictColour(e.fibreVerdict.value_or(Acceptance::Verdict::Unknown));
        colours[colours.size() - 3] = FailColour;
        page.row(summaryRow(e), SummaryWidths, false, colours);
    }
}

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

void events(Page &page, const Entry &e, const Options &o)
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
    const int room = (page.area.height() - page.y - 3 * Row) / Row;
    const QVector<Acceptance::JudgedEvent> &all = e.judgement.events;
    for (int i = 0; i < all.size() && i < room; ++i) {
        const Acceptance::JudgedEvent &ev = all.at(i);
        const QString kind = Sor::eventKindText(ev.end          ? Sor::EventKind::End
                                                : ev.reflective ? Sor::EventKind::Reflective
                                                                : Sor::EventKind::NonReflective);
        // The word only: the reasons above the table say the value, the limit and where.
        const QString verdict
            = ev.end && !ev.pastEnd ? QString()
              : ev.pastEnd ? Acceptance::eventVerdictText(ev, o.limits, e.link.wavelengthNm)
                           : Acceptance::verdictWord(ev.verdict);
        QVector<QColor> colours(EventWidths.size());
        colours.last() = verdictColour(ev.verdict);
        colours[colours.size() - 2] = ev.attention() ? AttentionColour : QColor();
        page.row({QString::number(ev.number),
                  Sor::decimal(ev.distanceM / 1000, 4),
                  kind,
                  ev.end ? QString() : Sor::measuredHereText(ev.lossDb, ev.lossMeasuredHere, 3),
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
    if (all.size() > room)
        page.line(QStringLiteral("… e mais %1 eventos, que não cabem nesta página.")
                      .arg(all.size() - room));
}

void tracePage(Page &page, const Entry &e, const Options &o)
{
    const Acceptance::Judgement &j = e.judgement;
    page.line(QFileInfo(e.path).fileName(), 13, true);
    page.line(QStringLiteral("Veredito do traço: %1").arg(Acceptance::verdictWord(j.verdict)),
              11,
              true,
              verdictColour(j.verdict));
    // Why it fails or cannot be judged: each value, its limit and where.
    for (const QString &reason : j.reasons)
        page.line(reason, BodyPoints, false, verdictColour(j.verdict));
    // A pass that came within a tenth of a limit is one to watch.
    if (j.verdict == Acceptance::Verdict::Pass && !j.attention.isEmpty()) {
        page.line(QStringLiteral("ATENÇÃO, perto do limite: %1")
                      .arg(j.attention.join(QStringLiteral("; "))),
                  BodyPoints,
                  false,
                  AttentionColour);
    }
    if (!e.readable) {
        page.line(QStringLiteral("Este arquivo não pôde ser lido: %1").arg(e.problem),
                  10,
                  true,
                  FailColour);
        return;
    }
    if (e.trace.damaged()) {
        page.line(QStringLiteral("Traço %1: %2").arg(Sor::damagedWord(), e.problem),
                  BodyPoints,
                  true,
                  FailColour);
    }
    page.y += Row / 2;
    identification(page, e);
    page.y += Row / 2;
    const QRect plot(page.area.left(), page.area.top() + page.y, page.area.width(), PlotHeight);
    const TracePlot::Series series{
        &e.trace, QFileInfo(e.path).fileName(), TracePlot::seriesColour(0)};
    const TracePlot::View view = TracePlot::fullView({series});
    page.font(BodyPoints);
    TracePlot::paint(page.painter, plot, {series}, view);
    page.y += PlotHeight + Row / 2;
    events(page, e, o);
}

void fibreEvents(Page &page, const Fibre &f, const Options &o)
{
    page.row({QStringLiteral("Nº"),
              QStringLiteral("km de A"),
              QStringLiteral("A→B (dB)"),
              QStringLiteral("B→A (dB)"),
              QStringLiteral("Média (dB)"),
              QStringLiteral("Refl. (dB)"),
              QStringLiteral("Visto de"),
              QStringLiteral("Veredito")},
             FibreWidths,
             true);
    const int room = (page.area.height() - page.y - 3 * Row) / Row;
    for (int i = 0; i < f.twoWay.events.size() && i < room; ++i) {
        const Acceptance::TwoWayEvent &e = f.twoWay.events.at(i);
        const Acceptance::JudgedEvent &judged = f.judgement.events.at(i);
        QVector<QColor> colours(FibreWidths.size());
        colours.last() = verdictColour(judged.verdict);
        page.row({QString::number(i + 1),
                  Sor::decimal(e.distanceM / 1000, 4),
                  Sor::optionalDecimal(e.lossAbDb, 3)
                      + (e.measuredA ? QStringLiteral(" (medido aqui)") : QString()),
                  Sor::optionalDecimal(e.lossBaDb, 3)
                      + (e.measuredB ? QStringLiteral(" (medido aqui)") : QString()),
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
    if (f.twoWay.events.size() > room)
        page.line(QStringLiteral("… e mais %1 eventos, que não cabem nesta página.")
                      .arg(f.twoWay.events.size() - room));
}

void fibrePage(Page &page, const QVector<Entry> &entries, const Fibre &f, const Options &o)
{
    const Entry &a = entries.at(f.a);
    const Entry &b = entries.at(f.b);
    const Sor::Trace &t = a.trace;
    const QString fibre = t.general ? QStringLiteral("%1 / %2: %3 ↔ %4")
                                          .arg(t.general->cableId,
                                               t.general->fiberId,
                                               t.general->locationA,
                                               t.general->locationB)
                                    : QString();
    page.line(QStringLiteral("Fibra %1").arg(fibre), 13, true);
    page.line(QStringLiteral("Medida das duas pontas: %1 (de A) e %2 (de B)%3")
                  .arg(QFileInfo(a.path).fileName(),
                       QFileInfo(b.path).fileName(),
                       t.wavelengthNm ? QStringLiteral(", ") + Sor::wavelengthText(*t.wavelengthNm)
                                      : QString()));
    if (!f.problem.isEmpty()) {
        page.line(QStringLiteral("Par recusado: %1").arg(f.problem), 10, true, FailColour);
        return;
    }
    page.line(QStringLiteral("Veredito da fibra (perdas médias das duas pontas): %1")
                  .arg(Acceptance::verdictWord(f.judgement.verdict)),
              11,
              true,
              verdictColour(f.judgement.verdict));
    // Why, as on a trace's page: each value, its limit and where.
    for (const QString &reason : f.judgement.reasons)
        page.line(reason, BodyPoints, false, verdictColour(f.judgement.verdict));
    const auto value = [](const std::optional<double> &v, const QString &text) {
        return v ? text : QStringLiteral("—");
    };
    page.line(
        QStringLiteral("Comprimento: %1   Perda total (média): %2   Deslocamento comum "
                       "removido: %3 m   Tolerância: %4 m")
            .arg(value(f.twoWay.fiberLengthM, Sor::kilometres(f.twoWay.fiberLengthM.value_or(0))),
                 value(f.twoWay.totalLossDb,
                       Sor::decimal(f.twoWay.totalLossDb.value_or(0), 3) + QStringLiteral(" dB")),
                 Sor::decimal(f.twoWay.shiftM, 1),
                 Sor::decimal(f.twoWay.toleranceM, 1)));
    page.y += Row / 2;
    // B's trace mirrored onto A's axis, over A's.
    const Sor::Trace mirrored = Acceptance::mirroredTrace(b.trace, f.twoWay);
    const QVector<TracePlot::Series> series{
        {&a.trace, QFileInfo(a.path).fileName(), TracePlot::seriesColour(0)},
        {&mirrored,
         QStringLiteral("%1 (espelhado)").arg(QFileInfo(b.path).fileName()),
         TracePlot::seriesColour(1)}};
    const QRect plot(page.area.left(), page.area.top() + page.y, page.area.width(), PlotHeight);
    const TracePlot::View view = TracePlot::fullView(series);
    page.font(BodyPoints);
    TracePlot::paint(page.painter, plot, series, view);
    page.y += PlotHeight + Row / 2;
    fibreEvents(page, f, o);
}

// The words and colours the report uses, then where the technician and the client sign.
void closingLines(Page &page, const Options &o)
{
    page.y += Row / 2;
    page.line(QStringLiteral("Legenda"), BodyPoints + 1, true);
    const struct
    {
        QString word;
        QColor colour;
        QString meaning;
    } words[]
        = {{Acceptance::verdictWord(Acceptance::Verdict::Pass),
            PassColour,
            QStringLiteral("todos os valores medidos dentro dos limites")},
           {QStringLiteral("ATENÇÃO"),
            AttentionColour,
            QStringLiteral("aprovado, mas algum valor a menos de 10 % do seu limite")},
           {Acceptance::verdictWord(Acceptance::Verdict::Fail),
            FailColour,
            QStringLiteral("algum valor fora do seu limite")},
           {Acceptance::verdictWord(Acceptance::Verdict::Unknown),
            verdictColour(Acceptance::Verdict::Unknown),
            QStringLiteral("um valor que o limite pede não foi medido, ou o arquivo não pôde ser "
                           "lido")},
           {Acceptance::verdictWord(Acceptance::Verdict::NoLimits),
            verdictColour(Acceptance::Verdict::NoLimits),
            QStringLiteral("nenhum limite foi verificado")}};
    page.rowPoints = BodyPoints;
    for (const auto &w : words)
        page.row({w.word, w.meaning}, {0.2, 0.8}, false, {w.colour, QColor()});
    page.row({QStringLiteral("(valor)"),
              QStringLiteral("achado: o evento está no arquivo e a perda é a que ele traz")},
             {0.2, 0.8});
    page.row({QStringLiteral("(medido aqui)"),
              QStringLiteral("medido: o arquivo não traz o evento; a perda foi medida nos pontos "
                             "do traço, na posição vista da outra ponta")},
             {0.2, 0.8});
    page.row({QStringLiteral("(vazio) / não medido"),
              QStringLiteral("ausente: nem o arquivo nem os pontos do traço dão o valor")},
             {0.2, 0.8});
    page.y += Row * 2;
    page.font(BodyPoints);
    page.painter.setPen(Qt::black);
    const int half = page.area.width() / 2;
    const int lineY = page.area.top() + page.y;
    const QString who[]
        = {o.operatorName.isEmpty() ? QStringLiteral("Técnico responsável")
                                    : QStringLiteral("Técnico responsável: %1").arg(o.operatorName),
           QStringLiteral("Cliente")};
    for (int i = 0; i < 2; ++i) {
        const int left = page.area.left() + i * half + 20;
        page.painter.drawLine(left, lineY, left + half - 80, lineY);
        page.painter.drawText(
            QRect(left, lineY + 4, half - 80, Row), Qt::AlignLeft | Qt::AlignTop, who[i]);
        page.painter.drawText(QRect(left, lineY + 4 + Row, half - 80, Row),
                              Qt::AlignLeft | Qt::AlignTop,
                              QStringLiteral("Data: ____/____/________"));
    }
    page.y += 3 * Row;
}

// The header and footer of page `number` of `total`, around the area the page's content gets.
void pageFrame(QPainter &painter, const QRect &whole, const Options &o, int number, int total)
{
    painter.save();
    QFont f = painter.font();
    f.setStyleStrategy(QFont::PreferNoShaping);
    f.setPointSizeF(BodyPoints);
    painter.setFont(f);
    painter.setPen(Qt::black);
    int left = whole.left();
    if (!o.logo.isNull()) {
        const QImage logo = o.logo.scaled(QSize(HeaderHeight * 3, HeaderHeight - 12),
                                          Qt::KeepAspectRatio,
                                          Qt::SmoothTransformation);
        painter.drawImage(QPoint(left, whole.top()), logo);
        left += logo.width() + 16;
    }
    const QRect text(left, whole.top(), whole.right() - left, HeaderHeight - 12);
    f.setBold(true);
    painter.setFont(f);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, o.company);
    f.setBold(false);
    painter.setFont(f);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom, o.title);
    painter.setPen(QColor(0x90, 0x90, 0x90));
    painter.drawLine(whole.left(),
                     whole.top() + HeaderHeight - 6,
                     whole.right(),
                     whole.top() + HeaderHeight - 6);
    const int footer = whole.bottom() - FooterHeight + 10;
    painter.drawLine(whole.left(), footer, whole.right(), footer);
    painter.setPen(Qt::black);
    const QRect foot(whole.left(), footer + 4, whole.width(), FooterHeight - 14);
    painter.drawText(foot,
                     Qt::AlignLeft | Qt::AlignVCenter,
                     o.date.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    painter.drawText(foot,
                     Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("página %1 de %2").arg(number).arg(total));
    painter.restore();
}

// A PDF of `total` A4 pages, each with the report's header and footer; `draw` fills them,
// asking for each new page. The writer and its painter finish before the file is committed.
bool writeDocument(const QString &path,
                   const Options &options,
                   int total,
                   const std::function<void(const std::function<Page()> &)> &draw,
                   QString *error)
{
    return Sor::saveFile(
        path,
        [&](QIODevice &file) {
            QPdfWriter pdf(&file);
            pdf.setPageSize(QPageSize(QPageSize::A4));
            pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
            pdf.setResolution(Resolution);
            pdf.setTitle(options.title);
            pdf.setCreator(QStringLiteral("otdr-sor"));
            QPainter painter(&pdf);
            const QRect whole(QPoint(0, 0), pdf.pageLayout().paintRectPixels(Resolution).size());
            const QRect area = whole.adjusted(0, HeaderHeight, 0, -FooterHeight);
            int number = 0;
            draw([&] {
                if (number > 0)
                    pdf.newPage();
                pageFrame(painter, whole, options, ++number, total);
                return Page{painter, area};
            });
            return true;
        },
        error);
}

} // namespace

bool writePdf(const QVector<Entry> &entries,
              const QVector<Fibre> &fibres,
              const Options &options,
              const QString &path,
              QString *error)
{
    const int summary = summaryPages(entries.size());
    return writeDocument(
        path,
        options,
        pageCount(entries.size(), fibres.size()),
        [&](const std::function<Page()> &nextPage) {
            int from = 0;
            for (int p = 0; p < summary; ++p) {
                Page page = nextPage();
                const int count = p == 0 ? summaryRowsOnFirstPage() : summaryRowsPerPage();
                summaryPage(page, entries, fibres, from, count, options);
                from += count;
                if (p == summary - 1)
                    closingLines(page, options);
            }
            for (const Fibre &f : fibres) {
                Page page = nextPage();
                fibrePage(page, entries, f, options);
            }
            for (const Entry &e : entries) {
                Page page = nextPage();
                tracePage(page, e, options);
            }
        },
        error);
}

} // namespace Report

namespace Report {

namespace {

constexpr int CableRowsPerPage = 50;
constexpr int CableClosuresPerPage = 14;

// A block of the matrix: some fibres by some closures, at one band.
struct MatrixBlock
{
    int bandNm = 0;
    int firstFibre = 0;
    int firstClosure = 0;
    int closures = 0;
};

QVector<MatrixBlock> matrixBlocks(const Cable::Job &job)
{
    QVector<MatrixBlock> blocks;
    // The closures spread evenly over the pages a band's columns need.
    const int n = int(job.closures.size());
    const int pages = std::max(1, (n + CableClosuresPerPage - 1) / CableClosuresPerPage);
    const int perPage = std::max(1, (n + pages - 1) / pages);
    for (int band : job.bands) {
        for (int f = 0; f < std::max(1, int(job.fibres.size())); f += CableRowsPerPage) {
            for (int c = 0; c < std::max(1, n); c += perPage)
                blocks.append({band, f, c, std::min(perPage, n - c)});
        }
    }
    return blocks;
}

void matrixPage(Page &page, const Cable::Job &job, const MatrixBlock &b)
{
    page.line(QStringLiteral("Matriz de emendas em %1 nm: perda média das duas pontas (dB), "
                             "emendas numeradas a partir da ponta A com a distância em km")
                  .arg(b.bandNm),
              12,
              true);
    page.line(QStringLiteral("* medida nos pontos do traço (o arquivo não traz o evento); "
                             "ausente: nem o arquivo nem os pontos dão o valor"));
    page.y += Row / 2;
    const int closures = b.closures;
    QVector<double> widths{0.12};
    QStringList header{QStringLiteral("Fibra")};
    for (int c = 0; c < closures; ++c) {
        const Cable::Closure &closure = job.closures.at(b.firstClosure + c);
        widths << 0.88 / std::max(1, closures);
        header << QStringLiteral("%1: %2")
                      .arg(closure.number)
                      .arg(Sor::decimal(closure.distanceM / 1000, 2));
    }
    page.rowPoints = SummaryPoints;
    page.row(header, widths, true);
    const int last = std::min(int(job.fibres.size()), b.firstFibre + CableRowsPerPage);
    for (int f = b.firstFibre; f < last; ++f) {
        const QString &fiber = job.fibres.at(f).fiber;
        QStringList cells{fiber};
        QVector<QColor> colours{QColor()};
        for (int c = 0; c < closures; ++c) {
            const int number = job.closures.at(b.firstClosure + c).number;
            QString text = QStringLiteral("—");
            QColor colour;
            for (const Cable::Cell &cell : job.matrix) {
                if (cell.fiber != fiber || cell.bandNm != b.bandNm || cell.closure != number)
                    continue;
                const bool measured
                    = cell.howAb == Cable::How::Measured || cell.howBa == Cable::How::Measured;
                text = cell.lossDb ? Sor::decimal(*cell.lossDb, 3)
                                         + (measured ? QStringLiteral("*") : QString())
                                   : QStringLiteral("ausente");
                colour = cell.verdict == Acceptance::Verdict::NoLimits
                             ? QColor()
                             : verdictColour(cell.verdict);
            }
            cells << text;
            colours << colour;
        }
        page.row(cells, widths, false, colours);
    }
}

void cableSummaryPage(Page &page, const Cable::Job &job, int from)
{
    page.line(QStringLiteral("Fibras"), 12, true);
    page.y += Row / 2;
    const QVector<double> widths{0.12, 0.12, 0.12, 0.10, 0.08, 0.14, 0.32};
    page.rowPoints = SummaryPoints;
    page.row({QStringLiteral("Fibra"),
              QStringLiteral("Compr. (km)"),
              QStringLiteral("Perda (dB)"),
              QStringLiteral("ORL (dB)"),
              QStringLiteral("Curv."),
              QStringLiteral("Veredito"),
              QStringLiteral("Arquivos")},
             widths,
             true);
    for (int i = from; i < std::min(int(job.fibres.size()), from + CableRowsPerPage); ++i) {
        const Cable::Fibre &f = job.fibres.at(i);
        QVector<QColor> colours(widths.size());
        colours[5] = verdictColour(f.verdict);
        page.row({f.fiber,
                  f.lengthM ? Sor::decimal(*f.lengthM / 1000, 3) : QStringLiteral("não medido"),
                  Sor::measuredText(f.totalLossDb, 3),
                  Sor::measuredText(f.orlDb, 2),
                  QString::number(f.bends),
                  Acceptance::verdictWord(f.verdict),
                  f.files.join(QStringLiteral(", "))},
                 widths,
                 false,
                 colours);
    }
}

// The fibres with both ends at the first band, each as the report's two-ended page draws it.
QVector<QPair<QString, QString>> twoEndedFiles(const Cable::Job &job)
{
    QVector<QPair<QString, QString>> pairs;
    const int band = job.bands.value(0);
    for (const Cable::Fibre &fibre : job.fibres) {
        QString a;
        QString b;
        for (const Cable::File &f : job.files) {
            if (f.problem.isEmpty() && f.fiber == fibre.fiber && f.bandNm == band)
                (f.end == QLatin1Char('A') ? a : b) = f.path;
        }
        if (!a.isEmpty() && !b.isEmpty())
            pairs.append({a, b});
    }
    return pairs;
}

} // namespace

bool writeCablePdf(const Cable::Job &job,
                   const Options &options,
                   const QString &path,
                   QString *error)
{
    const QVector<MatrixBlock> blocks = matrixBlocks(job);
    const int summaryPages
        = std::max(1, int((job.fibres.size() + CableRowsPerPage - 1) / CableRowsPerPage));
    const QStringList checks = Cable::checkLines(job);
    const int checkPages
        = std::max(1, int((checks.size() + CableRowsPerPage - 1) / CableRowsPerPage));
    const QVector<QPair<QString, QString>> pairs = twoEndedFiles(job);
    const int total = int(blocks.size()) + summaryPages + checkPages + int(pairs.size());
    return writeDocument(
        path,
        options,
        total,
        [&](const std::function<Page()> &nextPage) {
            for (const MatrixBlock &b : blocks) {
                Page page = nextPage();
                matrixPage(page, job, b);
            }
            for (int p = 0; p < summaryPages; ++p) {
                Page page = nextPage();
                cableSummaryPage(page, job, p * CableRowsPerPage);
            }
            for (int p = 0; p < checkPages; ++p) {
                Page page = nextPage();
                page.line(QStringLiteral("Verificações antes da entrega"), 12, true);
                page.y += Row / 2;
                page.rowPoints = SummaryPoints;
                for (int i = p * CableRowsPerPage;
                     i < std::min(int(checks.size()), (p + 1) * CableRowsPerPage);
                     ++i)
                    page.row({checks.at(i)}, {1.0});
            }
            // Each fibre's page: its two files read again, judged and averaged, then let go.
            for (const auto &pair : pairs) {
                Page page = nextPage();
                QVector<Entry> entries = judgeFiles({pair.first, pair.second}, options);
                const QVector<Fibre> fibres = pairFibres(entries, options);
                if (fibres.isEmpty()) {
                    page.line(QStringLiteral("%1 e %2: não foram reconhecidos como as duas "
                                             "pontas de uma fibra")
                                  .arg(QFileInfo(pair.first).fileName(),
                                       QFileInfo(pair.second).fileName()));
                    continue;
                }
                fibrePage(page, entries, fibres.first(), options);
            }
        },
        error);
}

} // namespace Report
