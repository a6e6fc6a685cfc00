#include "app/mainwindow.h"

#include "files/safefilename.h"
#include "forms/ui_mainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QTableWidget>

bool MainWindow::readyForAction() const
{
    return run == Run::None && !drainTimer.isActive() && tableCurrent && linkUsable()
           && workerThread;
}

// The name comes from the instrument: the proposal never leaves the home directory.
QString MainWindow::proposedSavePath(int row) const
{
    const QTableWidgetItem *nameCell = ui->tableWidget->item(row, 1);
    return QDir::homePath() + QLatin1Char('/')
           + safeFileName(nameCell ? nameCell->text() : QString());
}

void MainWindow::on_SalvarArquivo_clicked()
{
    if (!readyForAction())
        return;
    const QList<int> rows = tickedRows();
    pendingRows.assign(rows.cbegin(), rows.cend());
    if (pendingRows.empty())
        return;

    if (pendingRows.size() == 1) {
        savePath = proposedSavePath(pendingRows.front());
        savePath = QFileDialog::getSaveFileName(
            this, tr("Salva Documento"), savePath, tr("Documento (*.sor)"));
    } else {
        savePath = QFileDialog::getExistingDirectory(this,
                                                     tr("Salva os Documentos"),
                                                     QDir::homePath(),
                                                     QFileDialog::ShowDirsOnly
                                                         | QFileDialog::DontResolveSymlinks);
    }
    // The link may have gone while the dialog was open.
    if (savePath.isEmpty() || !readyForAction()) {
        pendingRows.clear();
        return;
    }
    launchDownload();
}

void MainWindow::on_tableWidget_doubleClicked(QModelIndex index)
{
    const int row = index.row();
    if (row < 0 || !readyForAction())
        return;
    pendingRows.assign(1, row);
    savePath = proposedSavePath(row);
    const QString chosen = QFileDialog::getSaveFileName(
        this, tr("Salva Documento"), savePath, tr("Documento (*.sor)"));
    if (chosen.isEmpty() || !readyForAction()) {
        pendingRows.clear();
        return;
    }
    savePath = chosen;
    launchDownload();
}

void MainWindow::launchDownload()
{
    run = Run::Download;
    batchNames.clear();
    damagedFiles.clear();
    showStatus(QStringLiteral("Baixando os arquivos"),
               QStringLiteral("Aguarde um instante, baixando os arquivos!"),
               int(pendingRows.size()));
    updateActions();
    startWorker(SLOT(processSalvarArquivos()));
}
