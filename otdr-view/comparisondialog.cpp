#include "comparisondialog.h"
#include "dialogbuttons.h"

#include "plotwidget.h"
#include "sor/sortext.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QTableWidgetItem *cell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

ComparisonDialog::ComparisonDialog(Kind kind,
                                   const Sor::Trace &firstTrace,
                                   const QString &firstName,
                                   const Sor::Trace &secondTrace,
                                   const QString &secondName,
                                   QWidget *parent)
    : QDialog(parent)
    , first(firstTrace)
    , second(secondTrace)
{
    setWindowFlags(windowFlags() | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
    setWindowTitle(kind == Kind::Directions ? QStringLiteral("Comparar direções")
                                            : QStringLiteral("Comparar comprimentos de onda"));
    plotWidget = new PlotWidget;
    plotWidget->setObjectName(QStringLiteral("comparisonPlot"));
    events = new QTableWidget;
    events->setObjectName(QStringLiteral("comparisonTable"));
    events->setEditTriggers(QAbstractItemView::NoEditTriggers);
    events->verticalHeader()->hide();
    events->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    events->horizontalHeader()->setStretchLastSection(true);
    summary = new QLabel;
    summary->setObjectName(QStringLiteral("comparisonSummary"));
    summary->setWordWrap(true);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(plotWidget);
    splitter->addWidget(events);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    QDialogButtonBox *buttons = closeRow(this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(splitter);
    layout->addWidget(buttons);
    resize(1000, 800);

    const Acceptance::Measurement a = Acceptance::measurementOf(
        QFileInfo(firstName).fileName(), first, Acceptance::fileLink(first));
    const Acceptance::Measurement b = Acceptance::measurementOf(
        QFileInfo(secondName).fileName(), second, Acceptance::fileLink(second));
    if (kind == Kind::Directions)
        showDirections(a, b);
    else
        showWavelengths(a, b);
}

void ComparisonDialog::showDirections(const Acceptance::Measurement &a,
                                      const Acceptance::Measurement &b)
{
    why = Acceptance::directionsProblem(a, b);
    if (!why.isEmpty())
        return;
    const Acceptance::TwoWay t = Acceptance::averageDirections(a, b);
    second = Acceptance::mirroredTrace(second, t);
    plotWidget->setSeries(
        {{&first, a.name, TracePlot::seriesColour(0)},
         {&second, QStringLiteral("%1 (espelhado)").arg(b.name), TracePlot::seriesColour(1)}});
    summary->setText(
        QStringLiteral("A: %1   B: %2 (espelhado sobre A)\nComprimento: %3   Perda total (média "
                       "das duas pontas): %4\nDeslocamento comum removido: %5 m   Tolerância: "
                       "%6 m")
            .arg(a.name,
                 b.name,
                 t.fiberLengthM ? Sor::kilometres(*t.fiberLengthM) : QStringLiteral("—"),
                 t.totalLossDb ? Sor::decimal(*t.totalLossDb, 3) + QStringLiteral(" dB")
                               : QStringLiteral("—"),
                 Sor::decimal(t.shiftM, 1),
                 Sor::decimal(t.toleranceM, 1)));
    events->setColumnCount(7);
    events->setHorizontalHeaderLabels({QStringLiteral("Nº"),
                                       QStringLiteral("Distância de A (km)"),
                                       QStringLiteral("Perda A→B (dB)"),
                                       QStringLiteral("Perda B→A (dB)"),
                                       QStringLiteral("Média (dB)"),
                                       QStringLiteral("Refletância (dB)"),
                                       QStringLiteral("Visto de")});
    events->setRowCount(t.events.size());
    for (int r = 0; r < t.events.size(); ++r) {
        const Acceptance::TwoWayEvent &e = t.events.at(r);
        events->setItem(r, 0, cell(QString::number(r + 1)));
        events->setItem(r, 1, cell(Sor::decimal(e.distanceM / 1000.0, 4)));
        events->setItem(r, 2, cell(Sor::optionalDecimal(e.lossAbDb)));
        events->setItem(r, 3, cell(Sor::optionalDecimal(e.lossBaDb)));
        events->setItem(r, 4, cell(Sor::measuredText(e.lossDb, 3)));
        events->setItem(r, 5, cell(Sor::optionalDecimal(e.reflectanceDb, 2)));
        events->setItem(r, 6, new QTableWidgetItem(Acceptance::seenFromText(e.seenFrom)));
    }
}

void ComparisonDialog::showWavelengths(const Acceptance::Measurement &s,
                                       const Acceptance::Measurement &l)
{
    why = Acceptance::wavelengthsProblem(s, l);
    if (!why.isEmpty())
        return;
    const Acceptance::Wavelengths w = Acceptance::compareWavelengths(s, l);
    plotWidget->setSeries({{&first, s.name, TracePlot::seriesColour(0)},
                           {&second, l.name, TracePlot::seriesColour(1)}});
    const QString ws = Sor::wavelengthText(s.link.wavelengthNm.value_or(0));
    const QString wl = Sor::wavelengthText(l.link.wavelengthNm.value_or(0));
    summary->setText(QStringLiteral("%1 (%2) contra %3 (%4)\nCurvaturas: %5 (perda %6 dB maior "
                                    "em %4, ou atenuação do trecho maior em %4)")
                         .arg(s.name, ws, l.name, wl)
                         .arg(w.bends())
                         .arg(Sor::decimal(w.thresholdDb, 2)));
    events->setColumnCount(7);
    events->setHorizontalHeaderLabels({QStringLiteral("Nº"),
                                       QStringLiteral("Distância (km)"),
                                       QStringLiteral("Perda (dB)\n%1").arg(ws),
                                       QStringLiteral("Perda (dB)\n%1").arg(wl),
                                       QStringLiteral("Atenuação (dB/km)\n%1").arg(ws),
                                       QStringLiteral("Atenuação (dB/km)\n%1").arg(wl),
                                       QStringLiteral("Curvatura")});
    events->setRowCount(w.events.size());
    for (int r = 0; r < w.events.size(); ++r) {
        const Acceptance::WavelengthEvent &e = w.events.at(r);
        QStringList flags;
        if (e.bend)
            flags << QStringLiteral("SIM");
        if (e.sectionBend)
            flags << QStringLiteral("no trecho");
        events->setItem(r, 0, cell(QString::number(r + 1)));
        events->setItem(r, 1, cell(Sor::decimal(e.distanceM / 1000.0, 4)));
        events->setItem(r, 2, cell(Sor::optionalDecimal(e.lossShortDb)));
        events->setItem(r, 3, cell(Sor::optionalDecimal(e.lossLongDb)));
        events->setItem(r, 4, cell(Sor::optionalDecimal(e.attenuationShortDbKm)));
        events->setItem(r, 5, cell(Sor::optionalDecimal(e.attenuationLongDbKm)));
        events->setItem(r, 6, new QTableWidgetItem(flags.join(QStringLiteral(", "))));
        if (!flags.isEmpty()) {
            for (int c = 0; c < events->columnCount(); ++c)
                events->item(r, c)->setForeground(QColor(0xc0, 0x00, 0x00));
        }
    }
}
