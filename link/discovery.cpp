#include "app/mainwindow.h"

#include <QMessageBox>
#include <QSerialPortInfo>

#include <algorithm>

bool MainWindow::connectInstrument()
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    auto match = std::find_if(ports.cbegin(), ports.cend(), [](const QSerialPortInfo &info) {
        return QString::number(info.vendorIdentifier(), 16) == QLatin1String("1fc9");
    });
    if (match == ports.cend()) {
        QMessageBox::warning(
            this,
            QStringLiteral("Equipamento nao encontrado"),
            QStringLiteral("Por favor, conecte o cabo USB antes \n de prosseguir."));
        return false;
    }

    serialPort->setPortName(match->portName());
    serialPort->setBaudRate(1200, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    if (serialPort->open(QIODevice::ReadWrite)) {
        // Whatever waited on the line before the port was opened answers no request.
        serialPort->clear(QSerialPort::Input);
        sendListRequest();
        return true;
    }
    QMessageBox::critical(this, tr("Error"), serialPort->errorString());
    return true;
}

bool MainWindow::linkUsable() const
{
    return serialPort && serialPort->isOpen() && !linkLost;
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
    if (linkLost)
        return;
    if (error == QSerialPort::ResourceError
        || (error == QSerialPort::ReadError && serialPort->isOpen() && deviceGone()))
        loseLink();
}

// Nothing can reach the instrument any more. The run ends first, so that no byte is credited
// to it, and the port is closed before the box waits for the user: a hung-up line would
// otherwise keep signalling errors. The table stays on screen.
void MainWindow::loseLink()
{
    linkLost = true;
    const QString reason = serialPort->errorString();
    if (run != Run::None)
        abandonRun();
    closeSerialPort();
    updateActions();
    QMessageBox::critical(this, tr("Critical Error"), reason);
}
