#pragma once

#include "app/mainwindow.h"
#include "testkit.h"

#include <QDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The real main window talking to a simulated instrument over a fake serial port.
struct WindowRig : InstrumentRig
{
    explicit WindowRig(const QList<StoredFile> &files,
                       const SimulatedInstrument::Options &options = {})
        : InstrumentRig(files)
    {
        instrument->setOptions(options);
        window = std::make_unique<MainWindow>();
        window->show();
        table = window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
        save = window->findChild<QPushButton *>(QStringLiteral("SalvarArquivo"));
        selectAll = window->findChild<QPushButton *>(QStringLiteral("SelecionaTodos"));
        erase = window->findChild<QPushButton *>(QStringLiteral("Apagar"));
    }

    // The listing has been shown and the buttons answer.
    bool listed(int rows) const
    {
        return table->rowCount() == rows && instrument->settled()
               && (rows == 0 || save->isEnabled());
    }

    QString cell(int row, int column) const
    {
        const QTableWidgetItem *item = table->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }

    void tick(int row) const
    {
        const QRect rect = table->visualRect(table->model()->index(row, 1));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
    }

    void doubleClick(int row) const
    {
        const QRect rect = table->visualRect(table->model()->index(row, 1));
        // A user's double-click: the view takes it only after a press on the same cell.
        QTest::mousePress(table->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, rect.center());
    }

    QMessageBox *statusBox() const
    {
        const QList<QMessageBox *> boxes = window->findChildren<QMessageBox *>();
        for (QMessageBox *box : boxes) {
            if (box->findChild<QProgressBar *>())
                return box;
        }
        return nullptr;
    }

    QDialog *deleteDialog() const
    {
        const QList<QDialog *> dialogs
            = window->findChildren<QDialog *>(QString(), Qt::FindDirectChildrenOnly);
        for (QDialog *dialog : dialogs) {
            if (!qobject_cast<QMessageBox *>(dialog))
                return dialog;
        }
        return nullptr;
    }

    std::unique_ptr<MainWindow> window;
    QTableWidget *table = nullptr;
    QPushButton *save = nullptr;
    QPushButton *selectAll = nullptr;
    QPushButton *erase = nullptr;
};
