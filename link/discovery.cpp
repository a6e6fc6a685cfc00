#include "app/mainwindow.h"

#include "platform/serialport.h"

#include <QMessageBox>

#include <algorithm>

namespace {
constexpr quint16 InstrumentVendor = 0x1FC9;
constexpr qint32 LineRate = 1200;
} // namespace

// Opens the first port of the instrument's vendor and asks it for its files. Start-up warns
// when there is none or it does not open; the watch that follows looks in silence.
bool MainWindow::findInstrument(bool warn)
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    auto match = std::find_if(ports.cbegin(), ports.cend(), [](const QSerialPortInfo &info) {
        return info.hasVendorIdentifier() && info.vendorIdentifier() == InstrumentVendor;
    });
    if (match == ports.cend()) {
        portRefused = false;
        if (warn) {
            QMessageBox::warning(
                this,
                QStringLiteral("Equipamento nao encontrado"),
                QStringLiteral("Por favor, conecte o cabo USB antes \n de prosseguir."));
        }
        return false;
    }

    serialPort->setPortName(match->portName());
    serialPort->setBaudRate(LineRate, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    portRefused = !serialPort->open(QIODevice::ReadWrite);
    if (!portRefused) {
        // Whatever waited on the line before the port was opened answers no request.
        serialPort->clear(QSerialPort::Input);
        sendListRequest();
        return true;
    }
    if (warn)
        QMessageBox::critical(this, tr("Error"), serialPort->errorString());
    return true;
}

void MainWindow::lookForInstrument()
{
    if (serialPort->isOpen()) {
        watchTimer.stop();
        return;
    }
    if (findInstrument(false) && serialPort->isOpen())
        watchTimer.stop();
    else
        updateHint();
}

bool MainWindow::linkUsable() const
{
    return serialPort && serialPort->isOpen();
}

void MainWindow::closeSerialPort()
{
    if (serialPort->isOpen())
        serialPort->close();
}

// On Linux a pulled cable often reaches the port as read errors rather than a resource error.
bool MainWindow::deviceGone() const
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    return std::none_of(ports.cbegin(), ports.cend(), [this](const QSerialPortInfo &info) {
        return info.portName() == serialPort->portName();
    });
}

void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    if (!serialPort->isOpen())
        return;
    if (error == QSerialPort::ResourceError || (error == QSerialPort::ReadError && deviceGone()))
        loseLink(serialPort->errorString());
}

// Nothing can reach the instrument any more. The run ends first, so that no byte is credited
// to it, and the port is closed before the box waits for the user: a hung-up line would
// otherwise keep signalling errors. The table stays on screen, and the window watches for the
// instrument's return.
void MainWindow::loseLink(const QString &reason)
{
    if (run != Run::None)
        abandonRun();
    closeSerialPort();
    tableCurrent = false;
    relist = Relist::No;
    // Whatever the old line still held is gone with it.
    drainTimer.stop();
    watchTimer.start();
    updateActions();
    QMessageBox::critical(this, tr("Critical Error"), reason);
}
