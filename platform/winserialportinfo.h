#pragma once

#include <QList>
#include <QString>

// A serial port of this Windows system, as QSerialPortInfo describes one: its name ("COM5")
// and, for a USB device, the vendor and product ids read from the device's hardware id.
class WinSerialPortInfo
{
public:
    WinSerialPortInfo() = default;
    WinSerialPortInfo(const QString &portName, const QString &hardwareId);

    // The system's ports: the serial devices that SetupAPI lists, then any other port that
    // the registry names (those have no vendor id), each once.
    static QList<WinSerialPortInfo> availablePorts();

    QString portName() const { return name; }
    bool hasVendorIdentifier() const { return hasVendor; }
    quint16 vendorIdentifier() const { return vendor; }
    bool hasProductIdentifier() const { return hasProduct; }
    quint16 productIdentifier() const { return product; }

private:
    QString name;
    bool hasVendor = false;
    bool hasProduct = false;
    quint16 vendor = 0;
    quint16 product = 0;
};
