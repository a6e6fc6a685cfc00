#include "app/mainwindow.h"

#include "files/downloadcheck.h"
#include "files/safefilename.h"
#include "link/protocol.h"

#include <QDir>
#include <QFileInfo>
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
        if (verifyDownloads)
            received += reply;
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
    // The file stays where it was saved, damaged or not; it is checked while the instrument
    // sends the next one, and the user hears of any damage at the end of the batch.
    QByteArray bytes;
    bytes.swap(received);
    const QList<FileEntry> entries = otdrAction.fileEntries();
    const int row = pendingRows.at(pendingPos);
    const int listed = row < entries.size() ? entries.at(row).size : 0;
    ++pendingPos;
    if (pendingPos >= int(pendingRows.size())) {
        checkDownload(saved, bytes, listed);
        endRun();
        fillFileTable();
        reportDamagedFiles();
        return;
    }

    progressBar->setValue(pendingPos);
    const bool goesOn
        = openOutputFile()
          && sendNextRequest(Run::Download,
                             Protocol::downloadRequest(pendingRows.at(pendingPos) + 1));
    checkDownload(saved, bytes, listed);
    if (!goesOn)
        reportDamagedFiles();
}

void MainWindow::checkDownload(const QString &saved, const QByteArray &bytes, int listedSize)
{
    if (!verifyDownloads)
        return;
    const QString damage = downloadDamage(bytes, listedSize);
    if (!damage.isEmpty())
        damagedFiles.append(QStringLiteral("%1: %2").arg(QFileInfo(saved).fileName(), damage));
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
    received.clear();
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

// One box for the whole batch, opened without a nested event loop: the window stays usable
// behind it.
void MainWindow::reportDamagedFiles()
{
    if (damagedFiles.isEmpty())
        return;
    auto *box = new QMessageBox(
        QMessageBox::Warning,
        QStringLiteral("Arquivos danificados"),
        QStringLiteral("Estes arquivos foram salvos, mas chegaram danificados do equipamento:\n\n%1"
                       "\n\nBaixe-os de novo.")
            .arg(damagedFiles.join(QLatin1Char('\n'))),
        QMessageBox::Ok,
        this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    damagedFiles.clear();
    box->open();
}
