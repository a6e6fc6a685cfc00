#include "app/mainwindow.h"

#include "forms/ui_mainwindow.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

void MainWindow::fillFileTable()
{
    const QList<FileEntry> entries = otdrAction.fileEntries();
    const int count = entries.size();
    QTableWidget *table = ui->tableWidget;

    // The header would otherwise hold every section to its style's minimum, wider than 30.
    QHeaderView *header = table->horizontalHeader();
    header->setMinimumSectionSize(qMin(header->minimumSectionSize(), 30));
    table->setColumnWidth(0, 30);
    table->setColumnWidth(1, count <= 10 ? 310 : 286);
    if (table->rowCount() >= 1) {
        table->clear();
        table->setHorizontalHeaderItem(0, new QTableWidgetItem(tr("%1").arg(QString())));
        table->setHorizontalHeaderItem(1,
                                       new QTableWidgetItem(tr("%1").arg(QStringLiteral("Nome"))));
        table->setHorizontalHeaderItem(
            2, new QTableWidgetItem(tr("%1").arg(QStringLiteral("Tamanho"))));
    }
    // The instrument's last entry is not one of its trace files.
    const int rows = count > 0 ? count - 1 : 0;
    table->setRowCount(rows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int i = 0; i < rows; ++i) {
        const FileEntry &entry = entries.at(i);
        auto *tick = new QTableWidgetItem(tr("%1").arg(QString()));
        tick->setData(Qt::TextAlignmentRole, int(Qt::AlignCenter));
        table->setItem(i, 0, tick);
        table->setItem(i, 1, new QTableWidgetItem(tr("%1").arg(entry.name)));
        table->setItem(i, 2, new QTableWidgetItem(tr("%1 Kb").arg(qint64(entry.size / 1024))));
    }
    updateActions();
}

// The buttons work only on rows that match the instrument, with no run under way.
void MainWindow::updateActions()
{
    const bool enable = ui->tableWidget->rowCount() >= 1 && readyForAction();
    ui->Apagar->setDisabled(!enable);
    ui->SalvarArquivo->setDisabled(!enable);
    ui->SelecionaTodos->setDisabled(!enable);
}
