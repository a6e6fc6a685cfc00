#pragma once

#include <QString>
#include <QStringList>

typedef struct _UMockdevTestbed UMockdevTestbed;

// A umockdev test bed holding fake USB serial devices whose tty nodes are pseudo-terminals.
// A program that runs with the test bed's environment (in this process under
// umockdev-wrapper, or a child given environment()) finds and opens them like real ports.
class MockSerialDevice
{
public:
    MockSerialDevice();
    ~MockSerialDevice();
    MockSerialDevice(const MockSerialDevice &) = delete;
    MockSerialDevice &operator=(const MockSerialDevice &) = delete;

    static constexpr unsigned InstrumentVendor = 0x1fc9;

    // Adds a USB CDC device with the given vendor id; returns its port name ("ttyACM…").
    // Without a node the port is listed but cannot be opened.
    QString addPort(unsigned vendorId = InstrumentVendor,
                    unsigned productId = 0x0001,
                    bool withNode = true);
    // The master end of a port's pseudo-terminal: what the instrument writes and reads.
    int masterFd(const QString &portName) const;
    // Pulls the cable: the device leaves the system and its terminal is hung up, or, where
    // hangUp is false, stays open and silent, as a line that never reports the loss.
    void unplug(const QString &portName, bool hangUp = true);

    QString rootDir() const;
    // Environment entries a child process needs to see the test bed ("NAME=value").
    QStringList environment() const;

private:
    UMockdevTestbed *testbed = nullptr;
    QStringList sysPaths;
    QStringList portNames;
};
