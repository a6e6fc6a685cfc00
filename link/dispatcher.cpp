#include "app/mainwindow.h"

#include "link/protocol.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>

void MainWindow::sendRequest(const QByteArray &request)
{
    // An item number that does not fit is never sent wrapped.
    if (request.isEmpty())
        return;
    if (lastRequest.isEmpty())
        lastRequest.resize(1);
    lastRequest[0] = request.at(0);
    replyTimer.start();
    serialPort->write(request);
}

void MainWindow::sendListRequest()
{
    otdrAction.clear();
    ++listingSerial;
    run = Run::Listing;
    updateActions();
    sendRequest(Protocol::listRequest());
}

// The next request of a batch: nothing is awaited while the window repaints, and the request
// goes out only if the run survived the repaint (a lost link or a closed window ends it).
bool MainWindow::sendNextRequest(Run expected, const QByteArray &request)
{
    replyTimer.stop();
    QCoreApplication::processEvents();
    if (run != expected)
        return false;
    sendRequest(request);
    return true;
}

void MainWindow::readData()
{
    const QByteArray reply = serialPort->readAll();
    if (lastRequest.isEmpty())
        return;
    if (drainTimer.isActive()) {
        drainTimer.start();
        return;
    }
    // Bytes that no outstanding request asked for are not credited to anything.
    if (!replyTimer.isActive())
        return;
    replyTimer.start();

    switch (static_cast<unsigned char>(lastRequest.at(0))) {
    case Protocol::List:
        if (!otdrAction.parseListReply(reply)) {
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

// What every end of a run resets, finished or not.
void MainWindow::endRun()
{
    run = Run::None;
    replyTimer.stop();
    pendingRows.clear();
    pendingPos = 0;
    savePath = QString();
    batchNames.clear();
    hideStatus();
}

// Ends the run under way without finishing it. The instrument may still be sending, so
// new runs wait until the link has been quiet for a while.
void MainWindow::abandonRun()
{
    const Run abandoned = run;
    endRun();
    if (outputFile.isOpen()) {
        outputFile.cancelWriting();
        outputFile.commit(); // after cancelWriting this only removes the temporary file
    }
    received.clear();
    deleteDialog->done(0);
    if (abandoned == Run::Listing || abandoned == Run::Delete)
        tableCurrent = false;
    drainTimer.start();
    updateActions();
    // Files of the batch saved before it was cut short are on disk: say which arrived damaged.
    reportDamagedFiles();
}

void MainWindow::onReplyTimeout()
{
    if (run == Run::None)
        return;
    // A line that never hung up may belong to a device that is gone: the silence is then a
    // pulled cable, and the window watches for the instrument's return.
    if (deviceGone()) {
        loseLink(QStringLiteral("O equipamento nao respondeu e nao esta mais conectado."));
        return;
    }
    const Run abandoned = run;
    const bool ownRelist = relist == Relist::Sent;
    abandonRun();
    // The instrument's numbering is unknown after a listing or a delete cut short: list once
    // more when the line is quiet, but not again after that listing fails too.
    const bool listAgain = abandoned != Run::Download && !ownRelist;
    relist = listAgain ? Relist::WhenQuiet : Relist::No;
    // One box for a failed run and the listing that follows it: when that listing fails too,
    // the table's note says so and how to try again.
    if (ownRelist) {
        updateActions();
        return;
    }
    QMessageBox::warning(this,
                         QStringLiteral("Equipamento sem resposta"),
                         QStringLiteral("O equipamento nao respondeu."));
}

void MainWindow::onLineQuiet()
{
    if (relist == Relist::WhenQuiet && run == Run::None && linkUsable()) {
        relist = Relist::Sent;
        sendListRequest();
        return;
    }
    updateActions();
}

// F5 and the table's "Atualizar lista": a new listing whenever the link is idle.
void MainWindow::refreshListing()
{
    if (run != Run::None || drainTimer.isActive() || !linkUsable())
        return;
    relist = Relist::No;
    sendListRequest();
}
