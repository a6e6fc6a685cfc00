#include "app/mainwindow.h"

#include "forms/ui_mainwindow.h"
#include "widgets/tablehint.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTableWidget>

namespace {
// The delete dialog's window type, as it has always been set: Qt::SubWindow with the
// Qt::Window bit, so that it stands as a window of its own.
constexpr int DeleteDialogFlags = 0x13;
} // namespace

void MainWindow::showStatus(const QString &title, const QString &text, int maximum)
{
    progressMax = maximum;
    progressBar->setMaximum(maximum);
    statusBox->setText(text);
    statusBox->setWindowTitle(title);
    progressBar->setMinimum(0);
    statusBox->show();
}

void MainWindow::hideStatus()
{
    if (!statusBox)
        return;
    progressBar->setValue(progressMax);
    statusBox->done(0);
    progressBar->setValue(0);
}

void MainWindow::createDeleteDialog(const QString &text)
{
    auto *label = new QLabel(text);
    auto *blank = new QLabel(QStringLiteral(" "));
    auto *busyBar = new QProgressBar();
    deleteDialog = new QDialog(this);
    busyBar->setMaximum(0);
    busyBar->setMinimum(0);
    busyBar->setValue(0);
    busyBar->setMinimumWidth(width() / 2);
    auto *grid = new QGridLayout();
    grid->setSizeConstraint(QLayout::SetNoConstraint);
    deleteDialog->setLayout(grid);
    grid->addWidget(busyBar, 1, 8);
    grid->addWidget(label, 0, 8);
    grid->addWidget(blank, 2, 8);
    deleteDialog->setWindowFlags(Qt::WindowFlags(DeleteDialogFlags));
}

// The table says what the window waits for: centred over an empty table, along its foot over
// rows that no longer match the instrument. Without a link it waits for the instrument; with
// a silent one, for the user to try again.
void MainWindow::updateHint()
{
    const bool rows = ui->tableWidget->rowCount() > 0;
    if (linkUsable()) {
        if (run == Run::None && !tableCurrent && relist == Relist::No && !drainTimer.isActive())
            hint->showNote(
                QStringLiteral("O equipamento não respondeu. Pressione F5 para tentar de novo."),
                rows);
        else
            hint->hide();
        return;
    }
    if (portRefused)
        hint->showNote(QStringLiteral("A porta do equipamento está ocupada ou sem permissão. "
                                      "Tentando de novo…"),
                       rows);
    else if (rows)
        hint->showNote(QStringLiteral("Equipamento desconectado. Aguardando a reconexão…"), true);
    else
        hint->showNote(QStringLiteral("Aguardando o equipamento no cabo USB…"), false);
}
