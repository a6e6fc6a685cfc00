#include "app/mainwindow.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>

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
    deleteDialog->setWindowFlags(Qt::WindowFlags(0x13));
}
