#include "report/pdfpage.h"
#include "report/tracepages.h"
#include "route/tracelocate.h"

#include "sor/savefile.h"
#include "sor/sortext.h"
#include "traceplot/plotpainter.h"

#include <QFileInfo>

#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

#include <functional>

namespace Report {

using namespace Pdf;

namespace {

const QVector<double> SummaryWidths{0.20, 0.07, 0.10, 0.06, 0.07, 0.06, 0.10, 0.08, 0.12, 0.14};

// How many traces and fibres passed, and how many traces show bends.
void countLines(Page &page, const QVector<Entry> &entries, const QVector<Fibre> &fibres)
{
    QVector<Acceptance::Verdict> verdicts;
    int watched = 0;
    for (const Entry &e : entries) {
        verdicts << finalVerdict(e);
        watched += finalVerdict(e) == Acceptance::Verdict::Pass && !e.judgement.attention.isEmpty()
                       ? 1
                       : 0;
    }
    countsLine(page,
               verdicts.size() == 1 ? QStringLiteral("traço") : QStringLiteral("traços"),
               verdicts,
               watched);
    // A pair refused as no one fibre's two ends is no fibre measured: it is counted apart.
    verdicts.clear();
    int refused = 0;
    for (const Fibre &f : fibres) {
        if (f.problem.isEmpty())
            verdicts << f.judgement.verdict;
        else
            ++refused;
    }
    if (!verdicts.isEmpty())
        countsLine(page,
                   verdicts.size() == 1
                       ? QStringLiteral("fibra medida das duas pontas (perdas médias)")
                       : QStringLiteral("fibras medidas das duas pontas (perdas médias)"),
                   verdicts);
    if (refused > 0)
        page.line(refused == 1 ? QStringLiteral("1 par recusado: não são as duas pontas de uma "
                                                "fibra (ver a página do par)")
                               : QStringLiteral("%1 pares recusados: não são as duas pontas de "
                                                "uma fibra (ver a página de cada par)")
                                     .arg(refused),
                  BodyPoints,
                  true,
                  AttentionColour);
    int bent = 0;
    for (const Entry &e : entries)
        bent += e.bendsM.isEmpty() ? 0 : 1;
    if (bent > 0)
        page.line((bent == 1 ? QStringLiteral("Curvaturas: 1 traço mostra perda maior no "
                                              "comprimento de onda longo (coluna Curvatura)")
                             : QStringLiteral("Curvaturas: %1 traços mostram perda maior no "
                                              "comprimento de onda longo (coluna Curvatura)")
                                   .arg(bent)),
                  BodyPoints,
                  true,
                  FailColour);
}

// The first page's heading: the title, who made the report, for whom, when, by which limits,
// and how many passed.
void summaryHeading(Page &page,
                    const QVector<Entry> &entries,
                    const QVector<Fibre> &fibres,
                    const Options &o)
{
    page.line(o.title, 16, true);
    page.line(QStringLiteral("Empresa: %1").arg(o.company));
    page.line(QStringLiteral("Operador: %1").arg(o.operatorName));
    if (!o.client.isEmpty())
        page.line(QStringLiteral("Cliente: %1").arg(o.client));
    page.line(QStringLiteral("Data: %1").arg(o.date.toString(QStringLiteral("dd/MM/yyyy HH:mm"))));
    page.line(o.reanalyze ? QStringLiteral("Eventos: reanalisados por este programa")
                          : QStringLiteral("Eventos: os de cada arquivo"));
    limitsLines(page, o.limits);
    countLines(page, entries, fibres);
    page.y += Row / 2;
}

void summaryPage(Page &page,
                 const QVector<Entry> &entries,
                 const QVector<Fibre> &fibres,
                 int from,
                 int count,
                 const Options &o)
{
    if (from == 0)
        summaryHeading(page, entries, fibres, o);
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
    page.cutTexts();
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
    page.row({QStringLiteral("* medido aqui"),
              QStringLiteral("medido: o arquivo não traz o evento; a perda foi medida nos pontos "
                             "do traço, na posição vista da outra ponta")},
             {0.2, 0.8});
    page.row({QStringLiteral("(vazio) / não medido"),
              QStringLiteral("ausente: nem o arquivo nem os pontos do traço dão o valor")},
             {0.2, 0.8});
    signatureLines(page, o);
}

} // namespace

bool writePdf(const QVector<Entry> &entries,
              const QVector<Fibre> &fibres,
              const Options &options,
              const QString &path,
              QString *error)
{
    const int summary = summaryPages(entries.size());
    const QVector<std::optional<LinkMerge::Link>> maps = linksOf(entries, options.limits);
    // Each trace's pages laid out first, dry, for the pages' count in every footer.
    const auto count = [&](const Page &probe) {
        int total = pageCount(entries.size(), fibres.size());
        for (const Fibre &f : fibres)
            total += twoEndedPages([&probe] { return probe; }, entries, f, options, maps.value(f.a))
                     - 1;
        for (int i = 0; i < entries.size(); ++i)
            total += tracePages([&probe] { return probe; }, entries.at(i), options, maps.at(i)) - 1;
        return total;
    };
    return writeDocument(
        path,
        options,
        count,
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
            for (const Fibre &f : fibres)
                twoEndedPages(nextPage, entries, f, options, maps.value(f.a));
            for (int i = 0; i < entries.size(); ++i)
                tracePages(nextPage, entries.at(i), options, maps.at(i));
        },
        error);
}

} // namespace Report
