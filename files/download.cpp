#include "app/mainwindow.h"

#include "files/downloadcheck.h"
#include "files/safefilename.h"
#include "link/protocol.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>

namespace {
// Damaged files named in the text of the end-of-batch box; the details list them all.
constexpr int DamagedFilesShown = 10;
} // namespace

void MainWindow::processSalvarArquivos()
{
    disconnect(workerThread, &QThread::started, this, &MainWindow::processSalvarArquivos);
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

    if (!saveDownload())
        return;
    ++pendingPos;
    if (pendingPos >= int(pendingRows.size())) {
        endRun();
        fillFileTable();
        reportDamagedFiles();
        return;
    }
    // A batch cut short here has already reported its damaged files, once, as it ended.
    progressBar->setValue(pendingPos);
    if (openOutputFile())
        sendNextRequest(Run::Download, Protocol::downloadRequest(pendingRows.at(pendingPos) + 1));
}

// The file is checked before it takes its name: a damaged file is saved where nothing was,
// but never in place of a file already there, which may be a sound copy of the same trace.
bool MainWindow::saveDownload()
{
    const QString target = outputFile.fileName();
    QString damage;
    if (verifyDownloads) {
        const QList<FileEntry> entries = otdrAction.fileEntries();
        const int row = pendingRows.at(pendingPos);
        damage = downloadDamage(received, row < entries.size() ? entries.at(row).size : 0);
    }
    const QString name = QFileInfo(target).fileName();
    if (!damage.isEmpty() && QFileInfo::exists(target)) {
        outputFile.cancelWriting();
        outputFile.commit(); // after cancelWriting this only removes the temporary file
        const QString copy = keepDamagedCopy(target, damage);
        received.clear();
        return !copy.isEmpty();
    }
    received.clear();
    if (!outputFile.commit()) {
        failDownload(QStringLiteral("Nao foi possivel gravar o arquivo \"%1\":\n%2")
                         .arg(QDir::toNativeSeparators(target), outputFile.errorString()));
        return false;
    }
    if (!damage.isEmpty())
        damagedFiles.append(QStringLiteral("%1: %2").arg(name, damage));
    return true;
}

// Writes the damaged bytes beside the file they must not replace, under a name that says
// so and that nothing else has; returns that name, or an empty string once the batch has
// failed.
QString MainWindow::keepDamagedCopy(const QString &target, const QString &reason)
{
    const QFileInfo info(target);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int attempt = 1;; ++attempt) {
        const QString marker = attempt == 1 ? QStringLiteral(" (danificado)")
                                            : QStringLiteral(" (danificado %1)").arg(attempt);
        QFile copy(info.dir().filePath(info.completeBaseName() + marker + suffix));
        // NewOnly: the copy is never written over anything, even a file made a moment ago.
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (copy.exists())
                continue;
            failDownload(QStringLiteral("Nao foi possivel criar o arquivo \"%1\":\n%2")
                             .arg(QDir::toNativeSeparators(copy.fileName()), copy.errorString()));
            return QString();
        }
        if (copy.write(received) != received.size() || !copy.flush()) {
            const QString error = copy.errorString();
            copy.remove();
            failDownload(QStringLiteral("Nao foi possivel gravar o arquivo \"%1\":\n%2")
                             .arg(QDir::toNativeSeparators(copy.fileName()), error));
            return QString();
        }
        const QString copyName = QFileInfo(copy.fileName()).fileName();
        damagedFiles.append(QStringLiteral("%1: %2 (o arquivo que já existia foi mantido; a "
                                           "cópia danificada foi salva como \"%3\")")
                                .arg(info.fileName(), reason, copyName));
        return copyName;
    }
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
    // A large batch names the first few in the text and every one in the details, so the
    // box never grows taller than the screen.
    QStringList shown = damagedFiles.mid(0, DamagedFilesShown);
    if (damagedFiles.size() > DamagedFilesShown) {
        shown.append(QStringLiteral("… e mais %1 (veja os detalhes).")
                         .arg(damagedFiles.size() - DamagedFilesShown));
    }
    auto *box = new QMessageBox(
        QMessageBox::Warning,
        QStringLiteral("Arquivos danificados"),
        QStringLiteral("Estes arquivos foram salvos, mas chegaram danificados do equipamento:\n\n%1"
                       "\n\nBaixe-os de novo.")
            .arg(shown.join(QLatin1Char('\n'))),
        QMessageBox::Ok,
        this);
    if (damagedFiles.size() > DamagedFilesShown)
        box->setDetailedText(damagedFiles.join(QLatin1Char('\n')));
    box->setAttribute(Qt::WA_DeleteOnClose);
    damagedFiles.clear();
    box->open();
}
