#pragma once

#include "otdr/otdraction.h"

#include <QByteArray>
#include <QMainWindow>
#include <QModelIndex>
#include <QSaveFile>
#include <QSerialPort>
#include <QSet>
#include <QString>
#include <QTimer>

#include <vector>

class CheckedHeader;
class QDialog;
class QMessageBox;
class QProgressBar;
class QTableWidgetItem;
class QThread;
class Ui_MainWindow;

// The one window of the program: owns the instrument link, the file list and every run.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Rebuilds the file table from the instrument's last listing.
    void fillFileTable();

    // A reply awaited for this long without a byte arriving ends the run.
    static constexpr int ReplyTimeoutMs = 15000;
    // After an abandoned run the instrument may still be sending; new runs wait for this
    // much silence so that late bytes are never credited to a later request.
    static constexpr int DrainQuietMs = 2000;

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
    // What the link is doing; only Run::None lets the user start a download or a delete.
    enum class Run { None, Listing, Download, Delete };

    // link/discovery.cpp
    bool connectInstrument();
    bool linkUsable() const;
    bool deviceGone() const;
    void loseLink();
    // link/dispatcher.cpp
    void sendRequest(const QByteArray &request);
    void sendListRequest();
    void abandonRun();
    void onReplyTimeout();
    // app/mainwindow.cpp
    void setupListingUi();
    void fitSelectAllButton();
    void releaseListingObjects();
    void stopWorkerThread();
    bool startWorker(const char *slot);
    // ui/status.cpp
    void showStatus(const QString &title, const QString &text, int maximum);
    void hideStatus();
    void createDeleteDialog(const QString &text);
    // ui/selection.cpp
    QList<int> tickedRows() const;
    // files/filetable.cpp
    void updateActions();
    // files/savedestination.cpp
    bool readyForAction() const;
    QString proposedSavePath(int row) const;
    void launchDownload();
    // files/download.cpp
    void handleDownloadReply(const QByteArray &reply);
    QString outputFileName(int row);
    bool openOutputFile();
    void failDownload(const QString &text);
    void finishDownload();
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
    bool replyExpected = false;
    bool draining = false;
    bool linkLost = false;
    // The table matches the instrument's numbering: false until a listing completes, and
    // from the first delete request until the listing that follows it completes.
    bool tableCurrent = false;
    bool itemClickConnected = false;
    // Names already given to files of the current download batch (lower case).
    QSet<QString> batchNames;
    QTimer replyTimer;
    QTimer drainTimer;
};
