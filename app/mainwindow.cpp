#include "app/mainwindow.h"

#include "forms/ui_mainwindow.h"
#include "version/version.h"
#include "widgets/checkedheader.h"
#include "widgets/tablehint.h"

#include <QAction>
#include <QGridLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QProgressBar>
#include <QTableWidget>
#include <QThread>

namespace {
// Start-up looks for the instrument this many times, warning after each miss.
constexpr int StartupSearches = 3;
// The status box's text and bar share this grid column, clear of the icon's columns.
constexpr int StatusColumn = 8;
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , otdrAction(nullptr)
{
    ui->setupUi(this);
    fitSelectAllButton();
    serialPort = new QSerialPort();
    connect(serialPort, &QSerialPort::errorOccurred, this, &MainWindow::handleError);
    connect(serialPort, &QSerialPort::readyRead, this, &MainWindow::readData);

    // Children by name, so that they can be found; as members they go before the window does.
    for (QTimer *timer : {&replyTimer, &drainTimer, &watchTimer})
        timer->setParent(this);
    replyTimer.setObjectName(QStringLiteral("replyTimer"));
    replyTimer.setSingleShot(true);
    replyTimer.setInterval(ReplyTimeoutMs);
    connect(&replyTimer, &QTimer::timeout, this, &MainWindow::onReplyTimeout);
    drainTimer.setObjectName(QStringLiteral("drainTimer"));
    drainTimer.setSingleShot(true);
    drainTimer.setInterval(DrainQuietMs);
    connect(&drainTimer, &QTimer::timeout, this, &MainWindow::onLineQuiet);
    watchTimer.setObjectName(QStringLiteral("watchTimer"));
    watchTimer.setInterval(WatchIntervalMs);
    connect(&watchTimer, &QTimer::timeout, this, &MainWindow::lookForInstrument);

    refreshAction = new QAction(QStringLiteral("Atualizar lista"), this);
    refreshAction->setObjectName(QStringLiteral("refreshAction"));
    refreshAction->setShortcut(QKeySequence::Refresh);
    refreshAction->setShortcutContext(Qt::WindowShortcut);
    connect(refreshAction, &QAction::triggered, this, &MainWindow::refreshListing);
    addAction(refreshAction);
    ui->tableWidget->addAction(refreshAction);
    // The form has no menu of its own: the release is told from the table's menu.
    auto *separator = new QAction(this);
    separator->setSeparator(true);
    ui->tableWidget->addAction(separator);
    auto *about = new QAction(QStringLiteral("Sobre o otdr…"), this);
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(
            this,
            QStringLiteral("Sobre o otdr"),
            Version::about(
                QStringLiteral("otdr"),
                QStringLiteral("Lista, baixa e apaga os traços do OTDR pelo cabo USB.")));
    });
    ui->tableWidget->addAction(about);
    ui->tableWidget->setContextMenuPolicy(Qt::ActionsContextMenu);

    hint = new TableHint(ui->tableWidget->viewport());
    hint->setObjectName(QStringLiteral("hint"));

    bool found = false;
    for (int attempt = 0; attempt < StartupSearches && !found; ++attempt)
        found = findInstrument(true);
    if (!serialPort->isOpen())
        watchTimer.start();
    createDeleteDialog(QStringLiteral("Apagando arquivo, por favor aguarde."));
    updateActions();
}

MainWindow::~MainWindow()
{
    closeSerialPort();
    delete serialPort;
    serialPort = nullptr;
    delete ui;
    ui = nullptr;
    // The header belongs to the table it was installed in, which still uses it while the
    // window's children are torn down; the table deletes it.
    checkedHeader = nullptr;
    // A thread object must not be destroyed while its thread runs.
    stopWorkerThread();
}

void MainWindow::setupListingUi()
{
    releaseListingObjects();

    checkedHeader = new CheckedHeader(Qt::Horizontal, ui->tableWidget);
    statusBox
        = new QMessageBox(QMessageBox::Warning, QString(), QString(), QMessageBox::NoButton, this);
    progressBar = new QProgressBar(statusBox);
    workerThread = new QThread(this);
    pollTimer = new QTimer(this);
    // The new header starts with the columns as they are until the table is rebuilt.
    QHeaderView *oldHeader = ui->tableWidget->horizontalHeader();
    checkedHeader->setMinimumSectionSize(oldHeader->minimumSectionSize());
    QList<int> widths;
    for (int section = 0; section < oldHeader->count(); ++section)
        widths.append(oldHeader->sectionSize(section));
    ui->tableWidget->setHorizontalHeader(checkedHeader);
    for (int section = 0; section < widths.size(); ++section)
        checkedHeader->resizeSection(section, widths.at(section));
    // A widget that changes parent is hidden; without this the table loses its header row.
    checkedHeader->show();
    // The columns are sized to the fixed window; a sideways scroll bar would only hide rows.
    ui->tableWidget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(ui->tableWidget,
            &QTableWidget::itemClicked,
            this,
            &MainWindow::selecionaItem,
            Qt::UniqueConnection);
    connect(pollTimer, &QTimer::timeout, this, &MainWindow::on_lista_arquivo);
    layoutStatusBox();
    pollTimer->start(listingTickMs);
}

// Text centred above the progress bar, and no button row.
void MainWindow::layoutStatusBox()
{
    if (auto *grid = qobject_cast<QGridLayout *>(statusBox->layout())) {
        if (QLayoutItem *buttons = grid->itemAtPosition(grid->rowCount() - 1, 0)) {
            if (buttons->widget())
                buttons->widget()->hide();
        }
        if (QLayoutItem *textItem = grid->itemAtPosition(0, 2)) {
            if (QWidget *label = textItem->widget()) {
                grid->removeWidget(label);
                grid->addWidget(label, 0, StatusColumn, Qt::AlignCenter);
            }
        }
        grid->addWidget(progressBar, 1, StatusColumn, Qt::AlignCenter);
    }
    progressBar->setMinimumWidth(width() / 2);
    statusBox->setStandardButtons(QMessageBox::NoButton);
}

// The objects of an earlier listing are released as soon as a new listing replaces them.
void MainWindow::releaseListingObjects()
{
    stopWorkerThread();
    delete workerThread;
    workerThread = nullptr;
    if (pollTimer) {
        pollTimer->stop();
        pollTimer->deleteLater();
        pollTimer = nullptr;
    }
    if (statusBox) {
        statusBox->hide();
        statusBox->deleteLater(); // takes its progress bar with it
        statusBox = nullptr;
        progressBar = nullptr;
    }
}

void MainWindow::stopWorkerThread()
{
    if (workerThread && workerThread->isRunning()) {
        workerThread->quit();
        workerThread->wait();
    }
}

// The worker thread only delivers its started() back to this window as a queued call.
void MainWindow::startWorker(void (MainWindow::*slot)())
{
    if (!workerThread)
        return;
    // A thread that was told to quit may not have finished yet; start() would then do nothing.
    stopWorkerThread();
    connect(workerThread, &QThread::started, this, slot);
    workerThread->start(QThread::InheritPriority);
}
