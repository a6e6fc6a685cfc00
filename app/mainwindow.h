#pragma once

#include "otdr/otdraction.h"
#include "platform/serialport.h"

#include <QByteArray>
#include <QMainWindow>
#include <QModelIndex>
#include <QSaveFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <vector>

class CheckedHeader;
class QAction;
class QDialog;
class QMessageBox;
class QProgressBar;
class QTableWidgetItem;
class QThread;
class TableHint;
class Ui_MainWindow;

// The one window of the program: owns the instrument link, the file list and every run.
//
// Where each operation lives:
//   app/mainwindow.cpp        construction, listing set-up, worker thread, destruction
//   link/discovery.cpp        finding, opening and watching for the instrument; a lost link
//   link/dispatcher.cpp       requests, readData, the end of a run, time-outs
//   link/listingtick.cpp      the tick that completes a listing
//   ui/selection.cpp          ticks and select-all
//   ui/status.cpp             the status box, the delete dialog and the waiting hint
//   files/filetable.cpp       the file table and the buttons' state
//   files/savedestination.cpp the save dialogs and the start of a download
//   files/download.cpp        the download batch and the report of damaged files
//   files/delete.cpp          the delete batch
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Rebuilds the file table from the instrument's last listing.
    void fillFileTable();
    // Rows a listing of this many entries shows: the instrument's last entry is its own settings
    // file, and a row whose item number would not fit in 16 bits could never be addressed.
    static int tableRows(int entries);

    // A reply awaited for this long without a byte arriving ends the run ("replyTimer").
    static constexpr int ReplyTimeoutMs = 15000;
    // After an abandoned run the instrument may still be sending; new runs wait for this
    // much silence so that late bytes are never credited to a later request ("drainTimer").
    static constexpr int DrainQuietMs = 2000;
    // How often a window without an instrument looks for one ("watchTimer"). A look reads the
    // system's device list, which costs well under a millisecond.
    static constexpr int WatchIntervalMs = 1000;
    // The table is rebuilt this long after a listing's end marker, from the event loop, and the
    // window then holds still for TickPauseMs.
    static constexpr int ListingTickMs = 500;
    static constexpr int TickPauseMs = 200;
    // For tests and the benchmark, which list the instrument hundreds of times.
    // For the benchmark, which compares the save rate with and without the check of each file.
    void setVerifyDownloads(bool verify) { verifyDownloads = verify; }
    void setListingTiming(int tickMs, int pauseMs)
    {
        listingTickMs = tickMs;
        tickPauseMs = pauseMs;
    }

public slots:
    void processSalvarArquivos();
    void processApagaArquivo();

private slots:
    void on_SalvarArquivo_clicked();
    void on_tableWidget_doubleClicked(QModelIndex index);
    void on_Apagar_clicked();
    void selecionaItem(QTableWidgetItem *);
    void on_lista_arquivo();
    void on_SelecionaTodos_clicked();
    void readData();
    void closeSerialPort();
    void handleError(QSerialPort::SerialPortError error);

private:
    // What the link is doing. Only the run and whether the table matches the instrument are kept
    // by hand; the rest is asked of the port and the timers.
    //
    //   run       how it starts                         how it ends
    //   None      -                                     -
    //   Listing   port opened, F5, end of a delete,     end marker, then the tick: None
    //             quiet line after a time-out           (table current)
    //   Download  a save dialog confirmed               last "FINAL": None
    //   Delete    "Apagar" with rows ticked             last "OK": Listing
    //   any       -                                     time-out, lost link, failed write:
    //                                                   None, and the line must fall quiet
    //
    // A reply is awaited while replyTimer runs; the line is draining while drainTimer runs; the
    // link is up while the port is open; the window looks for the instrument while watchTimer
    // runs. The table matches the instrument from the tick of a listing until the first delete
    // request or an unfinished listing.
    enum class Run { None, Listing, Download, Delete };
    // A listing or a delete cut short by a time-out is followed by one listing of its own.
    enum class Relist { No, WhenQuiet, Sent };

    // link/discovery.cpp
    bool findInstrument(bool warn);
    bool linkUsable() const;
    bool deviceGone() const;
    void loseLink(const QString &reason);
    void lookForInstrument();
    // link/dispatcher.cpp
    void sendRequest(const QByteArray &request);
    void sendListRequest();
    bool sendNextRequest(Run expected, const QByteArray &request);
    void endRun();
    void abandonRun();
    void onReplyTimeout();
    void onLineQuiet();
    void refreshListing();
    // app/mainwindow.cpp
    void setupListingUi();
    void layoutStatusBox();
    void fitSelectAllButton();
    void releaseListingObjects();
    void stopWorkerThread();
    void startWorker(void (MainWindow::*slot)());
    // ui/status.cpp
    void showStatus(const QString &title, const QString &text, int maximum);
    void hideStatus();
    void createDeleteDialog(const QString &text);
    void updateHint();
    // ui/selection.cpp
    QList<int> tickedRows() const;
    // files/filetable.cpp
    void updateActions();
    // files/savedestination.cpp
    bool readyForAction() const;
    bool listingReplaced(int chosenFrom);
    QString proposedSavePath(int row) const;
    void launchDownload();
    // files/download.cpp
    void handleDownloadReply(const QByteArray &reply);
    QString outputFileName(int row);
    bool openOutputFile();
    void failDownload(const QString &text);
    bool saveDownload();
    QString keepDamagedCopy(const QString &target, const QString &reason);
    void reportDamagedFiles();
    // files/delete.cpp
    void handleDeleteReply(const QByteArray &reply);

    QByteArray lastRequest;
    Ui_MainWindow *ui = nullptr;
    OtdrAction otdrAction;
    CheckedHeader *checkedHeader = nullptr;
    QMessageBox *statusBox = nullptr;
    QProgressBar *progressBar = nullptr;
    QDialog *deleteDialog = nullptr;
    bool allSelected = false;
    int progressMax = 0;
    QTimer *pollTimer = nullptr;
    QThread *workerThread = nullptr;
    QString savePath;
    std::vector<int> pendingRows;
    QSerialPort *serialPort = nullptr;
    // Written through a temporary file and committed on "FINAL": a failed or abandoned
    // download never leaves a partial file nor touches an earlier file of that name.
    QSaveFile outputFile;
    int pendingPos = 0;

    Run run = Run::None;
    Relist relist = Relist::No;
    bool tableCurrent = false;
    // Counts the listings asked for: rows chosen under one listing are never sent under another.
    int listingSerial = 0;
    // The instrument's port is listed but would not open (held by another program, or no
    // permission): the watch keeps trying, and the table says why it waits.
    bool portRefused = false;
    // The bytes of the file being downloaded, for its check once saved, and what the checks of
    // the batch found.
    bool verifyDownloads = true;
    QByteArray received;
    QStringList damagedFiles;
    // Names already given to files of the current download batch (lower case).
    QSet<QString> batchNames;
    int listingTickMs = ListingTickMs;
    int tickPauseMs = TickPauseMs;
    QTimer replyTimer;
    QTimer drainTimer;
    QTimer watchTimer;
    QAction *refreshAction = nullptr;
    TableHint *hint = nullptr;
};
