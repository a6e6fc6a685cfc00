#include "app/mainwindow.h"

#include "forms/ui_mainwindow.h"
#include "link/protocol.h"

#include <QAction>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

namespace {
// Column widths that fit the fixed window: the name column gives up room for the vertical
// scroll bar once there are more than ten rows.
constexpr int TickWidth = 30;
constexpr int NameWidth = 310;
constexpr int NameWidthScrolled = 286;
constexpr int RowsWithoutScrolling = 10;
} // namespace

int MainWindow::tableRows(int entries)
{
    return qBound(0, entries - 1, int(Protocol::MaxItem));
}

void MainWindow::fillFileTable()
{
    const QList<FileEntry> entries = otdrAction.fileEntries();
    const int count = entries.size();
    QTableWidget *table = ui->tableWidget;

    // The header would otherwise hold every section to its style's minimum, wider than 30.
    QHeaderView *header = table->horizontalHeader();
    header->setMinimumSectionSize(qMin(header->minimumSectionSize(), TickWidth));
    table->setColumnWidth(0, TickWidth);
    table->setColumnWidth(1, count <= RowsWithoutScrolling ? NameWidth : NameWidthScrolled);
    if (table->rowCount() >= 1) {
        table->clear();
        table->setHorizontalHeaderItem(0, new QTableWidgetItem(tr("%1").arg(QString())));
        table->setHorizontalHeaderItem(1,
                                       new QTableWidgetItem(tr("%1").arg(QStringLiteral("Nome"))));
        table->setHorizontalHeaderItem(
            2, new QTableWidgetItem(tr("%1").arg(QStringLiteral("Tamanho"))));
    }
    const int rows = tableRows(count);
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
    refreshAction->setEnabled(run == Run::None && !drainTimer.isActive() && linkUsable());
    updateHint();
}
