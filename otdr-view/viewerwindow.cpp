#include "viewerwindow.h"

#include "analysis/pointloss.h"
#include "linkmapwidget.h"
#include "plotwidget.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "traceplot/markers.h"
#include "version/version.h"

#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <iterator>

namespace {
const QString EmptyHint = QStringLiteral(
    "Abra um ou mais traços (.sor) em Arquivo > Abrir… (Ctrl+O), ou arraste-os para esta janela.");
} // namespace

ViewerWindow::ViewerWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("otdr-view"));
    setAcceptDrops(true);
    // Most of the screen, up to a size where the plot is comfortable.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    resize(qMin(1500, screen.width() * 9 / 10), qMin(950, screen.height() * 9 / 10));

    plotWidget = new PlotWidget;
    plotWidget->setObjectName(QStringLiteral("plot"));
    plotWidget->setEmptyHint(EmptyHint);
    connect(plotWidget, &PlotWidget::markersChanged, this, &ViewerWindow::updateReadout);

    auto *bottom = new QSplitter(Qt::Horizontal);
    bottom->addWidget(buildTraceList());
    bottom->addWidget(buildTabs());
    bottom->addWidget(buildReadout());
    bottom->setStretchFactor(0, 0);
    bottom->setStretchFactor(1, 1);
    bottom->setStretchFactor(2, 0);
    bottom->setSizes({210, 940, 270});
    // The link's map above the plot it points into.
    linkMap = new LinkMapWidget;
    connect(linkMap, &LinkMapWidget::eventClicked, this, &ViewerWindow::linkEventChosen);
    auto *top = new QWidget;
    auto *topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    topLayout->addWidget(linkMap);
    topLayout->addWidget(plotWidget, 1);
    linkMap->setMap(std::nullopt);
    auto *main = new QSplitter(Qt::Vertical);
    main->addWidget(top);
    main->addWidget(bottom);
    // The plot and the link's map above it take most of the height; the tables below scroll.
    main->setStretchFactor(0, 3);
    main->setStretchFactor(1, 1);
    // The tables scroll: they need not keep the height their rows would like.
    bottom->setMinimumHeight(160);
    main->setSizes({height() * 2 / 3, height() / 3});
    setCentralWidget(main);
    buildMenus();
    savedLabel = new QLabel;
    savedLabel->setObjectName(QStringLiteral("saved"));
    openFolder = new QPushButton(QStringLiteral("Abrir pasta"));
    openFolder->setObjectName(QStringLiteral("openFolder"));
    connect(openFolder, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(savedFolder));
    });
    statusBar()->addWidget(savedLabel, 1);
    statusBar()->addPermanentWidget(openFolder);
    savedLabel->hide();
    openFolder->hide();
    showSelected();
}

QWidget *ViewerWindow::buildTraceList()
{
    traceList = new QListWidget;
    traceList->setObjectName(QStringLiteral("traces"));
    // A long name keeps its start and its end ("ELMMIL…_1550.sor"); the whole on hover.
    traceList->setTextElideMode(Qt::ElideMiddle);
    traceList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(traceList, &QListWidget::currentRowChanged, this, &ViewerWindow::showSelected);
    auto *remove = new QPushButton(QStringLiteral("Remover traço"));
    remove->setObjectName(QStringLiteral("remove"));
    connect(remove, &QPushButton::clicked, this, [this] { removeTrace(selected()); });
    auto *listBox = new QWidget;
    auto *listLayout = new QVBoxLayout(listBox);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(new QLabel(QStringLiteral("Traços")));
    listLayout->addWidget(traceList);
    listLayout->addWidget(remove);
    return listBox;
}

// The selected trace's events and its information, one tab each.
QWidget *ViewerWindow::buildTabs()
{
    eventTable = new QTableWidget(0, 7);
    eventTable->setObjectName(QStringLiteral("events"));
    eventTable->setHorizontalHeaderLabels({QStringLiteral("Nº"),
                                           QStringLiteral("Distância (m)"),
                                           QStringLiteral("Tipo"),
                                           QStringLiteral("Perda (dB)"),
                                           QStringLiteral("Refl. (dB)"),
                                           QStringLiteral("Aten. (dB/km)"),
                                           QStringLiteral("Veredito")});
    eventTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    eventTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    eventTable->setSelectionMode(QAbstractItemView::SingleSelection);
    eventTable->verticalHeader()->hide();
    eventTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(
        eventTable, &QTableWidget::currentCellChanged, this, [this](int row) { eventChosen(row); });

    information = new QLabel;
    information->setObjectName(QStringLiteral("information"));
    information->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    information->setTextInteractionFlags(Qt::TextSelectableByMouse);
    information->setMargin(6);
    tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->addTab(eventTable, QStringLiteral("Eventos"));
    tabs->addTab(information, QStringLiteral("Informações"));
    return tabs;
}

QWidget *ViewerWindow::buildReadout()
{
    readout = new QLabel;
    readout->setObjectName(QStringLiteral("readout"));
    readout->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout->setMargin(6);
    readout->setWordWrap(true);
    kmlButton = new QPushButton(QStringLiteral("Exportar KML…"));
    kmlButton->setObjectName(QStringLiteral("exportKml"));
    kmlButton->hide(); // with a route
    connect(kmlButton, &QPushButton::clicked, this, &ViewerWindow::chooseKml);
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(readout, 1);
    layout->addWidget(kmlButton, 0, Qt::AlignLeft);
    return box;
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    QAction *open = file->addAction(QStringLiteral("&Abrir…"), this, &ViewerWindow::chooseFiles);
    open->setShortcut(QKeySequence::Open);
    file->addAction(
        QStringLiteral("Abrir &projeto de cabo…"), this, &ViewerWindow::chooseCableProject);
#ifdef OTDR_HAVE_ARCHIVE
    file->addAction(QStringLiteral("Arquivo de traç&os…"), this, [this] { showArchive(); });
#endif
    file->addAction(QStringLiteral("Exportar &imagem (PNG)…"), this, &ViewerWindow::chooseImage);
    file->addAction(QStringLiteral("Exportar &CSV…"), this, &ViewerWindow::chooseCsv);
    file->addAction(
        QStringLiteral("&Editar identificação…"), this, &ViewerWindow::chooseIdentification);
    QAction *remove = file->addAction(
        QStringLiteral("&Remover traço"), this, [this] { removeTrace(selected()); });
    // Delete closes a trace only from the list of traces, where the user chose one.
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    traceList->addAction(remove);
    recentMenu = file->addMenu(QStringLiteral("Arquivos recen&tes"));
    recentMenu->setObjectName(QStringLiteral("recent"));
    connect(recentMenu, &QMenu::aboutToShow, this, &ViewerWindow::fillRecentMenu);
    fillRecentMenu();
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("&Sair"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    QMenu *analysis = menuBar()->addMenu(QStringLiteral("Aná&lise"));
    analysis->addAction(QStringLiteral("&Reanalisar…"), this, &ViewerWindow::chooseThresholds);
    analysis->addAction(QStringLiteral("&Limites…"), this, &ViewerWindow::chooseLimits);
    analysis->addAction(QStringLiteral("Comparar &direções…"), this, [this] {
        chooseComparison(ComparisonDialog::Kind::Directions);
    });
    analysis->addAction(QStringLiteral("Comparar &comprimentos de onda…"), this, [this] {
        chooseComparison(ComparisonDialog::Kind::Wavelengths);
    });
    analysis->addAction(
        QStringLiteral("Exportar relatório &PDF…"), this, &ViewerWindow::chooseReport);
    analysis->addAction(QStringLiteral("Locali&zar na rota…"), this, &ViewerWindow::chooseRoute);
    analysis->addAction(
        QStringLiteral("Comparar com linha de &base…"), this, &ViewerWindow::chooseBaseline);
    fileEventsAction = analysis->addAction(
        QStringLiteral("&Eventos do arquivo"), this, &ViewerWindow::showFileEvents);
    fileEventsAction->setObjectName(QStringLiteral("fileEvents"));
    QMenu *view = menuBar()->addMenu(QStringLiteral("&Exibir"));
    QAction *all
        = view->addAction(QStringLiteral("&Traço inteiro"), plotWidget, &PlotWidget::showAll);
    all->setShortcut(Qt::Key_Home);
    // What the analysis told the chosen trace is made of: launch, fibre, tail, ghosts, floor.
    QAction *sections = view->addAction(QStringLiteral("T&rechos da análise"));
    sections->setObjectName(QStringLiteral("sections"));
    sections->setCheckable(true);
    connect(sections, &QAction::toggled, this, [this](bool shown) {
        sectionsShown = shown;
        plotWidget->setSections(shown ? set.sectionBands(selected())
                                      : QVector<TracePlot::SectionBand>());
    });
    QMenu *help = menuBar()->addMenu(QStringLiteral("Aj&uda"));
    help->addAction(QStringLiteral("&Atalhos…"), this, &ViewerWindow::showShortcuts);
    QAction *about = help->addAction(QStringLiteral("&Sobre o otdr-view…"), this, [this] {
        QMessageBox::about(
            this,
            QStringLiteral("Sobre o otdr-view"),
            Version::about(QStringLiteral("otdr-view"),
                           QStringLiteral("Mostra traços OTDR (.sor) sobrepostos.")));
    });
    about->setObjectName(QStringLiteral("aboutAction"));
}

// The keys and the mouse on the plot, in one table.
void ViewerWindow::showShortcuts()
{
    static const char *const rows[][2]
        = {{"+  /  −", "aproxima / afasta em torno do marcador A"},
           {"← →", "move o marcador ativo um ponto"},
           {"Shift + ← →", "move o marcador ativo uma divisão"},
           {"Tab", "troca o marcador ativo (A / B)"},
           {"Home", "mostra o traço inteiro"},
           {"Delete", "remove o traço escolhido na lista de traços"},
           {"Ctrl+O", "abre traços"},
           {"Roda do mouse", "aproxima / afasta a distância (Ctrl: o nível)"},
           {"Botão direito, arrastar", "aproxima a área desenhada"},
           {"Arrastar", "desloca o gráfico; sobre um marcador, move o marcador"},
           {"Duplo clique", "mostra o traço inteiro"}};
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Atalhos"));
    auto *table = new QTableWidget(int(std::size(rows)), 2);
    table->setObjectName(QStringLiteral("shortcuts"));
    table->setHorizontalHeaderLabels({QStringLiteral("Tecla"), QStringLiteral("Ação")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    for (int r = 0; r < int(std::size(rows)); ++r) {
        table->setItem(r, 0, new QTableWidgetItem(QString::fromUtf8(rows[r][0])));
        table->setItem(r, 1, new QTableWidgetItem(QString::fromUtf8(rows[r][1])));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("Fechar"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(table);
    layout->addWidget(buttons);
    dialog.resize(560, 420);
    dialog.exec();
}

void ViewerWindow::removeTrace(int index)
{
    if (!set.contains(index))
        return;
    const int keep = selected();
    // The plot lets go of the trace before it is freed.
    plotWidget->setSeries({});
    remember(set.close(index));
    refresh();
    select(qMin(keep, traceCount() - 1));
}

int ViewerWindow::selected() const
{
    return traceList->currentRow();
}

void ViewerWindow::select(int index)
{
    traceList->setCurrentRow(index);
    showSelected();
}

QVector<TracePlot::Series> ViewerWindow::series() const
{
    return set.series(selected());
}

void ViewerWindow::refresh()
{
    const QVector<TracePlot::Series> all = series();
    plotWidget->setSeries(all);
    updateLinkMap();
    QSignalBlocker quiet(traceList);
    traceList->clear();
    for (const TracePlot::Series &s : all) {
        // A damaged trace says so in words, not only in its colour.
        auto *item = new QListWidgetItem(
            s.trace->damaged() ? QStringLiteral("%1 (%2)").arg(s.label, Sor::damagedWord())
                               : s.label);
        item->setToolTip(s.label + QLatin1Char('\n') + TracePlot::legendText(s));
        QPixmap swatch(14, 14);
        swatch.fill(s.colour);
        item->setIcon(QIcon(swatch));
        if (s.trace->damaged())
            item->setForeground(QColor(0xc0, 0, 0));
        traceList->addItem(item);
    }
}

void ViewerWindow::showSelected()
{
    const int index = selected();
    plotWidget->setSelected(index);
    plotWidget->setSections(sectionsShown ? set.sectionBands(index)
                                          : QVector<TracePlot::SectionBand>());
    plotWidget->setSeries(series()); // the selected trace in front
    if (index < 0 || index >= traceCount()) {
        information->setText(EmptyHint);
        fillEventTable(nullptr);
    } else {
        const TraceSet::Open &t = set.at(index);
        showInformation(t.trace, QFileInfo(t.path).fileName(), set.linkFigures(index));
        fillEventTable(&t.drawn());
    }
    const bool analysed = set.contains(index) && set.at(index).analysed;
    tabs->setTabText(0, analysed ? QStringLiteral("Eventos (análise)") : QStringLiteral("Eventos"));
    fileEventsAction->setEnabled(analysed);
    updateReadout();
}

void ViewerWindow::showInformation(const Sor::Trace &trace,
                                   const QString &fileName,
                                   const TraceSet::LinkFigures &figures)
{
    QString rows;
    // The link first, as the events shown give it, and its verdict by the limits chosen.
    const Acceptance::Link &link = figures.link;
    const QString verdict = Acceptance::verdictWord(figures.verdict);
    const QList<QPair<QString, QString>> linkRows{
        {QStringLiteral("Comprimento da fibra"),
         link.lengthM ? Sor::kilometres(*link.lengthM) : QStringLiteral("não medido")},
        {QStringLiteral("Perda total"),
         link.totalLossDb ? Sor::decimal(*link.totalLossDb, 3) + QStringLiteral(" dB")
                          : QStringLiteral("não medida")},
        {QStringLiteral("ORL"),
         link.orlDb ? Sor::decimal(*link.orlDb, 2) + QStringLiteral(" dB")
                    : QStringLiteral("não medido")}};
    for (const auto &row : linkRows)
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                    .arg(row.first, row.second.toHtmlEscaped());
    const QString colour = figures.verdict == Acceptance::Verdict::Fail ? QStringLiteral("#c00000")
                           : figures.verdict == Acceptance::Verdict::Pass
                               ? QStringLiteral("#007020")
                               : QStringLiteral("#404040");
    QString why;
    for (const QString &reason : figures.reasons)
        why += QStringLiteral("<br>") + reason.toHtmlEscaped();
    rows += QStringLiteral("<tr><td><b>Veredito</b></td><td><b style='color:%1'>%2</b>%3</td></tr>")
                .arg(colour, verdict, why);
    rows += QStringLiteral("<tr><td colspan='2'><hr></td></tr>");
    const QVector<Sor::SummaryRow> summary
        = Sor::summaryRows(trace, fileName, Sor::SummaryStyle::Panel);
    for (const Sor::SummaryRow &row : summary) {
        QString value = row.value.toHtmlEscaped();
        if (row.damaged) {
            value = QStringLiteral("<b style='color:#c00000'>%1</b>: %2")
                        .arg(Sor::damagedWord().toUpper(), value);
        }
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(row.label, value);
    }
    information->setText(QStringLiteral("<table cellspacing='3'>%1</table>").arg(rows));
}

void ViewerWindow::fillEventTable(const Sor::Trace *trace)
{
    QSignalBlocker quiet(eventTable);
    eventTable->setRowCount(0);
    if (!trace || !trace->keyEvents)
        return;
    const QVector<Sor::Event> &events = trace->keyEvents->events;
    eventTable->setRowCount(events.size());
    const QStringList verdicts = set.eventVerdicts(selected());
    for (int r = 0; r < events.size(); ++r) {
        const Sor::Event &e = events.at(r);
        // A reflectance of 0 is what many files store for "none".
        const bool reflectance = e.reflectanceDb.value_or(0) != 0;
        const Analysis::EventLoss loss = Analysis::eventLoss(*trace, e);
        const QStringList cells{QString::number(e.number),
                                Sor::decimal(e.distanceM, 1),
                                Sor::eventType(e),
                                Sor::measuredHereText(loss.db, loss.measuredHere, 3),
                                reflectance ? Sor::reflectanceText(e, 2) : QString(),
                                Sor::decimal(e.attenuationDbPerKm, 3),
                                verdicts.value(r)};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            if (c != 2 && c != 6)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            eventTable->setItem(r, c, item);
        }
        // A failure is red, and says so in words too.
        if (verdicts.value(r).startsWith(Acceptance::verdictWord(Acceptance::Verdict::Fail)))
            eventTable->item(r, 6)->setForeground(QColor(0xc0, 0, 0));
    }
}

void ViewerWindow::eventChosen(int row)
{
    const int index = selected();
    if (!set.contains(index) || row < 0 || !set.at(index).drawn().keyEvents)
        return;
    const Sor::Trace &t = set.at(index).drawn();
    if (row < t.keyEvents->events.size())
        plotWidget->setMarker(0, t.keyEvents->events.at(row).distanceM);
}

void ViewerWindow::updateReadout()
{
    const int index = selected();
    const TracePlot::Markers &m = plotWidget->markers();
    if (index < 0 || index >= traceCount() || !m.a || !m.b) {
        readout->setText(QStringLiteral("<b>Marcadores</b><br>Arraste A e B sobre o gráfico."));
        return;
    }
    const TracePlot::Readout r = TracePlot::readout(set.at(index).drawn(), *m.a, *m.b);
    QString text = QStringLiteral("<b>Marcadores</b> no traço selecionado<table cellspacing='3'>");
    auto row = [&text](const QString &label, const QString &value) {
        text += QStringLiteral("<tr><td>%1</td><td align='right'>%2</td></tr>").arg(label, value);
    };
    using Sor::kilometres;
    // A value not measured (a marker off the trace, a point without data) is no number.
    const auto value = [](double v, int decimals, const QString &unit) {
        return std::isfinite(v) ? Sor::decimal(v, decimals) + unit : QStringLiteral("—");
    };
    const auto level = [&](bool on, double db) {
        return on ? value(db, 3, QStringLiteral(" dB")) : QStringLiteral("fora do traço");
    };
    row(QStringLiteral("A"), kilometres(r.aM) + QStringLiteral(" · ") + level(r.aOnTrace, r.aDb));
    row(QStringLiteral("B"), kilometres(r.bM) + QStringLiteral(" · ") + level(r.bOnTrace, r.bDb));
    row(QStringLiteral("B − A"), kilometres(r.distanceM));
    row(QStringLiteral("Δ nível"), value(r.deltaDb, 3, QStringLiteral(" dB")));
    row(QStringLiteral("Perda/km"), value(r.dbPerKm, 3, QStringLiteral(" dB/km")));
    // The least-squares line between the markers (LSA).
    row(QStringLiteral("Perda LSA"),
        r.lsaLossDb ? value(*r.lsaLossDb, 3, QStringLiteral(" dB")) : QStringLiteral("—"));
    row(QStringLiteral("Atenuação LSA"),
        r.lsaDbPerKm ? value(*r.lsaDbPerKm, 3, QStringLiteral(" dB/km")) : QStringLiteral("—"));
    text += routeRows(index, r.aM);
    readout->setText(text + QStringLiteral("</table>"));
}
