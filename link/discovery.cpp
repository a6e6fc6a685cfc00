#include "app/mainwindow.h"

#include <QMessageBox>
#include <QSerialPortInfo>

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

void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError || linkLost)
        return;
    loseLink();
}

// Nothing can reach the instrument any more: end the run first, so that no byte is
// credited to it while the box is up, and keep the table on screen.
void MainWindow::loseLink()
{
    linkLost = true;
    const QString reason = serialPort->errorString();
    if (run != Run::None)
        abandonRun();
    updateActions();
    QMessageBox::critical(this, tr("Critical Error"), reason);
    closeSerialPort();
}
