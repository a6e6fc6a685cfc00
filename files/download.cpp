#include "app/mainwindow.h"

#include "files/safefilename.h"
#include "link/protocol.h"

#include <QDir>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>

void MainWindow::processSalvarArquivos()
{
    disconnect(workerThread, SIGNAL(started()), this, SLOT(processSalvarArquivos()));
    workerThread->quit();
    if (run != Run::Download || pendingRows.empty())
        return;

    pendingPos = 0;
    progressBar->setValue(0);
    if (openOutputFile())
        sendNextRequest(Run::Download, Protocol::downloadRequest(pendingRows.front() + 1));
}

void MainWindow::handleDownloadReply(const QByteArray &reply)
{
    if (!Protocol::isDownloadEnd(reply)) {
        if (outputFile.write(reply) != reply.size()) {
            failDownload(QStringLiteral("Nao foi possivel gravar o arquivo \"%1\":\n%2")
                             .arg(QDir::toNativeSeparators(outputFile.fileName()),
                                  outputFile.errorString()));
        }
        return;
    }

    const QString saved = outputFile.fileName();
    if (!outputFile.commit()) {
        failDownload(QStringLiteral("Nao foi possivel gravar o arquivo \"%1\":\n%2")
                         .arg(QDir::toNativeSeparators(saved), outputFile.errorString()));
        return;
    }
    ++pendingPos;
    if (pendingPos >= int(pendingRows.size())) {
        endRun();
        fillFileTable();
        return;
    }

    progressBar->setValue(pendingPos);
    if (openOutputFile())
        sendNextRequest(Run::Download, Protocol::downloadRequest(pendingRows.at(pendingPos) + 1));
}

// One file goes exactly where the save dialog said; several go into the chosen directory
// under the instrument's names, made safe and distinct within the batch.
QString MainWindow::outputFileName(int row)
{
    if (pendingRows.size() == 1)
        return savePath;
    const QList<FileEntry> entries = otdrAction.fileEntries();
    const QString name = row >= 0 && row < entries.size() ? entries.at(row).name : QString();
    return savePath + QLatin1Char('/') + uniqueFileName(safeFileName(name), batchNames);
}

bool MainWindow::openOutputFile()
{
    const QString fileName = outputFileName(pendingRows.at(pendingPos));
    outputFile.setFileName(fileName);
    if (outputFile.open(QIODevice::WriteOnly))
        return true;
    failDownload(QStringLiteral("Nao foi possivel criar o arquivo \"%1\":\n%2")
                     .arg(QDir::toNativeSeparators(fileName), outputFile.errorString()));
    return false;
}

// The run ends before the box is shown, so the box's own event loop finds nothing to do.
void MainWindow::failDownload(const QString &text)
{
    abandonRun();
    QMessageBox::critical(this, QStringLiteral("Erro ao salvar"), text);
}
