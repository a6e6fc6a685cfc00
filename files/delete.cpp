#include "app/mainwindow.h"

#include "link/protocol.h"

#include <QCoreApplication>
#include <QDialog>
#include <QThread>

void MainWindow::on_Apagar_clicked()
{
    if (!readyForAction())
        return;
    run = Run::Delete;
    updateActions();
    startWorker(&MainWindow::processApagaArquivo);
}

void MainWindow::processApagaArquivo()
{
    disconnect(workerThread, &QThread::started, this, &MainWindow::processApagaArquivo);
    workerThread->quit();
    if (run != Run::Delete)
        return;

    pendingPos = 0;
    const QList<int> rows = tickedRows();
    pendingRows.assign(rows.cbegin(), rows.cend());
    if (pendingRows.empty()) {
        run = Run::None;
        updateActions();
        return;
    }

    // From the first delete on, the instrument numbers its files anew.
    tableCurrent = false;
    if (!sendNextRequest(Run::Delete, Protocol::deleteRequest(pendingRows.front() + 1)))
        return;
    deleteDialog->show();
    QCoreApplication::processEvents();
}

void MainWindow::handleDeleteReply(const QByteArray &reply)
{
    if (!Protocol::isDeleteAck(reply))
        return;
    ++pendingPos;
    if (pendingPos < int(pendingRows.size())) {
        sendNextRequest(Run::Delete, Protocol::deleteRequest(pendingRows.at(pendingPos) + 1));
        return;
    }
    pendingRows.clear();
    deleteDialog->done(0);
    sendListRequest();
}
