#include "viewerwindow.h"

#include "plotwidget.h"
#include "sor/sorexport.h"
#include "sor/sorreader.h"
#include "traceplot/markers.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The size of an exported image.
const QSize ImageSize(1600, 900);
// Markers start at these shares of the first trace's length.
constexpr double MarkerAStart = 0.1;
constexpr double MarkerBStart = 0.6;

QString decimal(double value, int decimals)
{
    if (std::isnan(value))
        return QStringLiteral("sem dados");
    return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

// To a tenth of a metre.
QString distanceText(double metres)
{
    return decimal(metres / 1000.0, 4) + QStringLiteral(" km");
}

QString eventType(const Sor::Event &e)
{
    if (e.code.size() > 1 && e.code.at(1) == QLatin1Char('E'))
        return QStringLiteral("fim da fibra");
    const QChar type = e.code.isEmpty() ? QChar() : e.code.at(0);
    if (type == QLatin1Char('0'))
        return QStringLiteral("não reflexivo");
    if (type == QLatin1Char('1'))
        return QStringLiteral("reflexivo");
    if (type == QLatin1Char('2'))
        return QStringLiteral("saturado");
    return e.code;
}

QString checksumText(const Sor::Trace &t)
{
    if (t.damaged()) {
        QStringList reasons = t.errors;
        if (t.checksum.state == Sor::ChecksumState::Mismatch)
            reasons << QStringLiteral("a soma de verificação não confere");
        return QStringLiteral("<b style='color:#c00000'>DANIFICADO</b>: %1")
            .arg(reasons.join(QStringLiteral("; ")).toHtmlEscaped());
    }
    switch (t.checksum.state) {
    case Sor::ChecksumState::Valid:
        return QStringLiteral("válida (%1)").arg(Sor::methodName(t.checksum.method));
    case Sor::ChecksumState::NotProvided:
        return QStringLiteral("não fornecida");
    case Sor::ChecksumState::CannotVerify:
        return QStringLiteral("não verificável (método do fabricante desconhecido)");
    case Sor::ChecksumState::Mismatch:
        break;
    }
    return QString();
}

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
    connect(plotWidget, &PlotWidget::markersChanged, this, &ViewerWindow::updateReadout);

    traceList = new QListWidget;
    traceList->setObjectName(QStringLiteral("traces"));
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

    eventTable = new QTableWidget(0, 6);
    eventTable->setObjectName(QStringLiteral("events"));
    eventTable->setHorizontalHeaderLabels({QStringLiteral("Nº"),
                                           QStringLiteral("Distância (m)"),
                                           QStringLiteral("Tipo"),
                                           QStringLiteral("Perda (dB)"),
                                           QStringLiteral("Refl. (dB)"),
                                           QStringLiteral("Aten. (dB/km)")});
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
    auto *tabs = new QTabWidget;
    tabs->addTab(eventTable, QStringLiteral("Eventos"));
    tabs->addTab(information, QStringLiteral("Informações"));

    readout = new QLabel;
    readout->setObjectName(QStringLiteral("readout"));
    readout->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout->setMargin(6);

    auto *bottom = new QSplitter(Qt::Horizontal);
    bottom->addWidget(listBox);
    bottom->addWidget(tabs);
    bottom->addWidget(readout);
    bottom->setStretchFactor(0, 0);
    bottom->setStretchFactor(1, 1);
    bottom->setStretchFactor(2, 0);
    bottom->setSizes({150, 1000, 270});
    auto *main = new QSplitter(Qt::Vertical);
    main->addWidget(plotWidget);
    main->addWidget(bottom);
    main->setStretchFactor(0, 3);
    main->setStretchFactor(1, 2);
    setCentralWidget(main);
    buildMenus();
    showSelected();
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    QAction *open = file->addAction(QStringLiteral("&Abrir…"), this, &ViewerWindow::chooseFiles);
    open->setShortcut(QKeySequence::Open);
    file->addAction(QStringLiteral("Exportar &imagem (PNG)…"), this, &ViewerWindow::chooseImage);
    file->addAction(QStringLiteral("Exportar &CSV…"), this, &ViewerWindow::chooseCsv);
    QAction *remove = file->addAction(
        QStringLiteral("&Remover traço"), this, [this] { removeTrace(selected()); });
    remove->setShortcut(QKeySequence::Delete);
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("&Sair"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    QMenu *view = menuBar()->addMenu(QStringLiteral("&Exibir"));
    QAction *all
        = view->addAction(QStringLiteral("&Traço inteiro"), plotWidget, &PlotWidget::showAll);
    all->setShortcut(Qt::Key_Home);
}

int ViewerWindow::openFiles(const QStringList &paths)
{
    QStringList failures;
    int opened = 0;
    for (const QString &path : paths) {
        auto document = std::make_unique<Document>();
        document->path = path;
        const QFileInfo info(path);
        if (info.isDir()) {
            failures << QStringLiteral("%1: é uma pasta").arg(info.fileName());
            continue;
        }
        document->trace = Sor::readFile(path);
        if (document->trace.points() == 0) {
            const QString reason = !document->trace.errors.isEmpty()
                                       ? document->trace.errors.first()
                                       : QStringLiteral("o arquivo não traz pontos de traço");
            failures << QStringLiteral("%1: %2").arg(info.fileName(), reason);
            continue;
        }
        documents.push_back(std::move(document));
        ++opened;
    }
    if (opened > 0) {
        const bool first = plotWidget->markers().a == std::nullopt;
        refresh();
        select(traceCount() - 1);
        if (first) {
            const Sor::Trace &t = documents.front()->trace;
            plotWidget->setMarker(0, TracePlot::snap(t, t.distanceM.back() * MarkerAStart));
            plotWidget->setMarker(1, TracePlot::snap(t, t.distanceM.back() * MarkerBStart));
        }
    }
    if (!failures.isEmpty()) {
        QMessageBox::warning(
            this,
            QStringLiteral("Arquivo não aberto"),
            QStringLiteral("Não foi possível abrir:\n\n%1").arg(failures.join(QLatin1Char('\n'))));
    }
    return opened;
}

void ViewerWindow::removeTrace(int index)
{
    if (index < 0 || index >= traceCount())
        return;
    const int keep = selected();
    // The plot lets go of the trace before it is freed.
    std::unique_ptr<Document> gone = std::move(documents[size_t(index)]);
    documents.erase(documents.begin() + index);
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
    QVector<TracePlot::Series> all;
    for (size_t i = 0; i < documents.size(); ++i) {
        all.append({&documents[i]->trace,
                    QFileInfo(documents[i]->path).fileName(),
                    TracePlot::seriesColour(int(i))});
    }
    return all;
}

void ViewerWindow::refresh()
{
    const QVector<TracePlot::Series> all = series();
    plotWidget->setSeries(all);
    QSignalBlocker quiet(traceList);
    traceList->clear();
    for (const TracePlot::Series &s : all) {
        auto *item = new QListWidgetItem(s.label);
        item->setToolTip(TracePlot::legendText(s));
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
    QSignalBlocker quiet(eventTable);
    eventTable->setRowCount(0);
    if (index < 0 || index >= traceCount()) {
        information->setText(QStringLiteral("Abra um ou mais traços (.sor) pelo menu Arquivo, "
                                            "ou arraste-os para esta janela."));
        updateReadout();
        return;
    }
    const Document &d = *documents[size_t(index)];
    const Sor::Trace &t = d.trace;
    QString rows;
    auto row = [&rows](const QString &label, const QString &value) {
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(label, value);
    };
    row(QStringLiteral("Arquivo"), QFileInfo(d.path).fileName().toHtmlEscaped());
    if (t.supplier) {
        row(QStringLiteral("Fabricante"), t.supplier->supplier.toHtmlEscaped());
        row(QStringLiteral("Modelo"), t.supplier->mainframe.toHtmlEscaped());
        row(QStringLiteral("Número de série"), t.supplier->mainframeSerial.toHtmlEscaped());
    }
    if (t.wavelengthNm)
        row(QStringLiteral("Comprimento de onda"), QStringLiteral("%1 nm").arg(*t.wavelengthNm));
    if (t.fixed) {
        QStringList pulses;
        for (int ns : t.fixed->pulseWidthsNs)
            pulses << QStringLiteral("%1 ns").arg(ns);
        row(QStringLiteral("Pulso"), pulses.join(QStringLiteral(", ")));
        row(QStringLiteral("Médias"), QString::number(t.fixed->averages));
    }
    if (t.rangeM)
        row(QStringLiteral("Alcance"), distanceText(*t.rangeM));
    if (t.spacingM)
        row(QStringLiteral("Resolução"), decimal(*t.spacingM, 3) + QStringLiteral(" m"));
    if (t.date)
        row(QStringLiteral("Data"), t.date->toString(QStringLiteral("dd/MM/yyyy HH:mm 'UTC'")));
    if (t.general) {
        row(QStringLiteral("Fibra"), t.general->fiberId.toHtmlEscaped());
        row(QStringLiteral("Cabo"), t.general->cableId.toHtmlEscaped());
    }
    row(QStringLiteral("Soma de verificação"), checksumText(t));
    for (const QString &w : t.warnings)
        row(QStringLiteral("Aviso"), w.toHtmlEscaped());
    information->setText(QStringLiteral("<table cellspacing='3'>%1</table>").arg(rows));

    if (t.keyEvents) {
        const QVector<Sor::Event> &events = t.keyEvents->events;
        eventTable->setRowCount(events.size());
        for (int r = 0; r < events.size(); ++r) {
            const Sor::Event &e = events.at(r);
            const QStringList cells{QString::number(e.number),
                                    decimal(e.distanceM, 1),
                                    eventType(e),
                                    decimal(e.lossDb, 3),
                                    e.reflectanceDb != 0 ? decimal(e.reflectanceDb, 2) : QString(),
                                    decimal(e.attenuationDbPerKm, 3)};
            for (int c = 0; c < cells.size(); ++c) {
                auto *item = new QTableWidgetItem(cells.at(c));
                if (c != 2)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                eventTable->setItem(r, c, item);
            }
        }
    }
    updateReadout();
}

void ViewerWindow::eventChosen(int row)
{
    const int index = selected();
    if (index < 0 || row < 0 || !documents[size_t(index)]->trace.keyEvents)
        return;
    const Sor::Trace &t = documents[size_t(index)]->trace;
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
    const TracePlot::Readout r = TracePlot::readout(documents[size_t(index)]->trace, *m.a, *m.b);
    QString text = QStringLiteral("<b>Marcadores</b> no traço selecionado<table cellspacing='3'>");
    auto row = [&text](const QString &label, const QString &value) {
        text += QStringLiteral("<tr><td>%1</td><td align='right'>%2</td></tr>").arg(label, value);
    };
    row(QStringLiteral("A"),
        distanceText(r.aM) + QStringLiteral(" · ") + decimal(r.aDb, 3) + QStringLiteral(" dB"));
    row(QStringLiteral("B"),
        distanceText(r.bM) + QStringLiteral(" · ") + decimal(r.bDb, 3) + QStringLiteral(" dB"));
    row(QStringLiteral("B − A"), distanceText(r.distanceM));
    row(QStringLiteral("Δ nível"), decimal(r.deltaDb, 3) + QStringLiteral(" dB"));
    row(QStringLiteral("Perda/km"), decimal(r.dbPerKm, 3) + QStringLiteral(" dB/km"));
    // The least-squares line between the markers (LSA).
    row(QStringLiteral("Perda LSA"),
        r.lsaLossDb ? decimal(*r.lsaLossDb, 3) + QStringLiteral(" dB") : QStringLiteral("—"));
    row(QStringLiteral("Atenuação LSA"),
        r.lsaDbPerKm ? decimal(*r.lsaDbPerKm, 3) + QStringLiteral(" dB/km") : QStringLiteral("—"));
    readout->setText(text + QStringLiteral("</table>"));
}

bool ViewerWindow::exportImage(const QString &path, QString *error) const
{
    return TracePlot::save(
        path, series(), ImageSize, error, &plotWidget->view(), plotWidget->markers());
}

bool ViewerWindow::exportCsv(const QString &path, QString *error) const
{
    const int index = selected();
    if (index < 0 || index >= traceCount())
        return false;
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && Sor::writeCsv(documents[size_t(index)]->trace, file)
        && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

void ViewerWindow::chooseFiles()
{
    const QStringList paths = QFileDialog::getOpenFileNames(
        this,
        QStringLiteral("Abrir traços"),
        QString(),
        QStringLiteral("Traços OTDR (*.sor);;Todos os arquivos (*)"));
    if (!paths.isEmpty())
        openFiles(paths);
}

void ViewerWindow::chooseImage()
{
    if (traceCount() == 0)
        return;
    QString path = QFileDialog::getSaveFileName(this,
                                                QStringLiteral("Exportar imagem"),
                                                QStringLiteral("tracos.png"),
                                                QStringLiteral("Imagem PNG (*.png)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    QString error;
    if (!exportImage(path, &error))
        QMessageBox::warning(
            this,
            QStringLiteral("Exportar imagem"),
            QStringLiteral("Não foi possível gravar \"%1\":\n%2").arg(path, error));
}

void ViewerWindow::chooseCsv()
{
    const int index = selected();
    if (index < 0)
        return;
    const QString proposed
        = QFileInfo(documents[size_t(index)]->path).completeBaseName() + QStringLiteral(".csv");
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Exportar CSV"), proposed, QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportCsv(path, &error))
        QMessageBox::warning(
            this,
            QStringLiteral("Exportar CSV"),
            QStringLiteral("Não foi possível gravar \"%1\":\n%2").arg(path, error));
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
        openFiles(paths);
    }
}
