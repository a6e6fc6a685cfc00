#include "app/mainwindow.h"

#include "forms/ui_mainwindow.h"

#include <QPushButton>
#include <QTableWidget>

namespace {
const QString TickMark = QStringLiteral("X");
const QString SelectAllCaption = QStringLiteral("Selecionar todos");
const QString DeselectAllCaption = QStringLiteral("Desselecionar todos");
} // namespace

// The second caption is wider than the form allows in some fonts (DejaVu Sans on Linux):
// the button grows just enough to show it whole.
void MainWindow::fitSelectAllButton()
{
    QPushButton *button = ui->SelecionaTodos;
    const QString shown = button->text();
    button->setText(DeselectAllCaption);
    const int needed = button->sizeHint().width();
    button->setText(shown);
    if (needed > button->maximumWidth())
        button->setMaximumWidth(needed);
}

void MainWindow::selecionaItem(QTableWidgetItem *)
{
    QTableWidget *table = ui->tableWidget;
    QTableWidgetItem *tick = table->item(table->currentRow(), 0);
    if (!tick)
        return;
    tick->setData(Qt::DisplayRole, tick->text() == TickMark ? QString() : TickMark);
}

void MainWindow::on_SelecionaTodos_clicked()
{
    QTableWidget *table = ui->tableWidget;
    const QString mark = allSelected ? QStringLiteral(" ") : TickMark;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (QTableWidgetItem *tick = table->item(row, 0))
            tick->setData(Qt::DisplayRole, mark);
    }
    allSelected = !allSelected;
    ui->SelecionaTodos->setText(allSelected ? DeselectAllCaption : SelectAllCaption);
}

QList<int> MainWindow::tickedRows() const
{
    QList<int> rows;
    const QTableWidget *table = ui->tableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *tick = table->item(row, 0);
        if (tick && tick->text() == TickMark)
            rows.append(row);
    }
    return rows;
}
