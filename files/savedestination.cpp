#include "app/mainwindow.h"

#include "files/safefilename.h"
#include "forms/ui_mainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTableWidget>

bool MainWindow::readyForAction() const
{
    return run == Run::None && !drainTimer.isActive() && tableCurrent && linkUsable()
           && workerThread;
}

// Row numbers are item numbers of the listing they were chosen from. When another listing
// began meanwhile (a re-plugged cable, F5, a re-list after a time-out), they may name other
// files now: nothing is sent, and the user chooses again from the table as it is.
bool MainWindow::listingReplaced(int chosenFrom)
{
    if (chosenFrom == listingSerial)
        return false;
    pendingRows.clear();
    QMessageBox::warning(this,
                         QStringLiteral("Lista de arquivos atualizada"),
                         QStringLiteral("A lista de arquivos do equipamento mudou enquanto a "
                                        "janela estava aberta. Nada foi baixado.\n"
                                        "Escolha os arquivos de novo."));
    return true;
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
    const int chosenFrom = listingSerial;

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
    if (savePath.isEmpty() || listingReplaced(chosenFrom)) {
        pendingRows.clear();
        return;
    }
    // The link may have gone while the dialog was open.
    if (!readyForAction()) {
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
    const int chosenFrom = listingSerial;
    const QString chosen = QFileDialog::getSaveFileName(
        this, tr("Salva Documento"), savePath, tr("Documento (*.sor)"));
    if (chosen.isEmpty() || listingReplaced(chosenFrom) || !readyForAction()) {
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
    startWorker(&MainWindow::processSalvarArquivos);
}
