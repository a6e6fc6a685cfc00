#include "app/mainwindow.h"

#include "link/protocol.h"

#include <QDialog>
#include <QMessageBox>

void MainWindow::sendRequest(const QByteArray &request)
{
    if (lastRequest.isEmpty())
        lastRequest.resize(1);
    lastRequest[0] = request.at(0);
    replyExpected = true;
    replyTimer.start();
    serialPort->write(request);
}

void MainWindow::sendListRequest()
{
    otdrAction.clear();
    run = Run::Listing;
    sendRequest(Protocol::listRequest());
}

void MainWindow::readData()
{
    const QByteArray reply = serialPort->readAll();
    if (lastRequest.isEmpty())
        return;
    if (draining) {
        drainTimer.start();
        return;
    }
    // Bytes that no outstanding request asked for are not credited to anything.
    if (!replyExpected)
        return;
    replyTimer.start();

    switch (static_cast<unsigned char>(lastRequest.at(0))) {
    case Protocol::List:
        if (!otdrAction.parseListReply(reply)) {
            replyExpected = false;
            replyTimer.stop();
            setupListingUi();
        }
        break;
    case Protocol::Delete:
        handleDeleteReply(reply);
        break;
    case Protocol::Download:
        handleDownloadReply(reply);
        break;
    default:
        break;
    }
}

// Ends the run under way without finishing it. The instrument may still be sending, so
// new runs wait until the link has been quiet for a while.
void MainWindow::abandonRun()
{
    const Run abandoned = run;
    run = Run::None;
    replyExpected = false;
    replyTimer.stop();
    pendingRows.clear();
    pendingPos = 0;
    savePath = QString();
    batchNames.clear();
    if (outputFile.isOpen()) {
        outputFile.cancelWriting();
        outputFile.commit(); // after cancelWriting this only removes the temporary file
    }
    if (statusBox)
        hideStatus();
    deleteDialog->done(0);
    if (abandoned == Run::Listing || abandoned == Run::Delete)
        tableCurrent = false;
    draining = true;
    drainTimer.start();
    updateActions();
}

void MainWindow::onReplyTimeout()
{
    if (run == Run::None)
        return;
    abandonRun();
    QMessageBox::warning(this,
                         QStringLiteral("Equipamento sem resposta"),
                         QStringLiteral("O equipamento nao respondeu."));
}
