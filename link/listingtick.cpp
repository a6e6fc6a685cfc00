#include "app/mainwindow.h"

#include "platform/pause.h"

#include <QDialog>
#include <QThread>

void MainWindow::on_lista_arquivo()
{
    if (otdrAction.listingDone()) {
        hideStatus();
        if (run == Run::Listing) {
            run = Run::None;
            tableCurrent = true;
            relist = Relist::No;
        }
        fillFileTable();
        pollTimer->stop();
        workerThread->quit();
        deleteDialog->done(0);
    }
    pauseMilliseconds(static_cast<unsigned long>(tickPauseMs));
}
