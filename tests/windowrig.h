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
    // Listed: the rig waits until the window shows one row per file.
    enum Start { Listed, Unlisted, Unplugged };
    // The rig lists faster than the window does for a user; tests of the tick itself set the
    // window's own timing back.
    static constexpr int FastTickMs = 40;
    static constexpr int FastPauseMs = 10;

    explicit WindowRig(const QList<StoredFile> &files,
                       const SimulatedInstrument::Options &options = {},
                       Start start = Listed)
        : InstrumentRig(files, start != Unplugged)
    {
        instrument->setOptions(options);
        window = std::make_unique<MainWindow>();
        window->setListingTiming(FastTickMs, FastPauseMs);
        window->show();
        table = window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
        save = window->findChild<QPushButton *>(QStringLiteral("SalvarArquivo"));
        selectAll = window->findChild<QPushButton *>(QStringLiteral("SelecionaTodos"));
        erase = window->findChild<QPushButton *>(QStringLiteral("Apagar"));
        if (start == Listed && !QTest::qWaitFor([&] { return listed(files.size()); }, 10000))
            qWarning("WindowRig: the window did not list the instrument's %d files",
                     int(files.size()));
    }

    // Time-outs and quiet periods short enough for a test to wait them out.
    void shortenTimers(int replyMs = 1000, int quietMs = 300) const
    {
        window->findChild<QTimer *>(QStringLiteral("replyTimer"))->setInterval(replyMs);
        window->findChild<QTimer *>(QStringLiteral("drainTimer"))->setInterval(quietMs);
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
