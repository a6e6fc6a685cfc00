// GLib's headers use the word "signals", which Qt's headers make a macro: umockdev comes first.
#include <umockdev.h>

#include "mockserialdevice.h"

#include <QByteArray>
#include <QDebug>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// Port names must be unique on the machine: the serial library locks them by name, and
// tests may run in parallel.
QString nextPortName()
{
    static int counter = 0;
    return QStringLiteral("ttyACM%1").arg(qint64(getpid()) * 100 + counter++);
}

} // namespace

MockSerialDevice::MockSerialDevice()
    : testbed(umockdev_testbed_new())
{
}

MockSerialDevice::~MockSerialDevice()
{
    g_object_unref(testbed);
}

QString MockSerialDevice::addPort(unsigned vendorId, unsigned productId, bool withNode)
{
    const QString port = nextPortName();
    const QString usb = QStringLiteral("usb-%1").arg(port);
    const QString vendor = QString::asprintf("%04x", vendorId);
    const QString product = QString::asprintf("%04x", productId);
    const QString description
        = QStringLiteral("P: /devices/%1\n"
                         "E: SUBSYSTEM=usb\n"
                         "E: DEVTYPE=usb_device\n"
                         "E: ID_VENDOR_ID=%2\n"
                         "E: ID_MODEL_ID=%3\n"
                         "A: idVendor=%2\n"
                         "A: idProduct=%3\n"
                         "\n"
                         "P: /devices/%1/%4\n"
                         "%6"
                         "E: DEVNAME=/dev/%4\n"
                         "E: SUBSYSTEM=tty\n"
                         "E: ID_VENDOR_ID=%2\n"
                         "E: ID_MODEL_ID=%3\n"
                         "E: ID_VENDOR=Simulated\n"
                         "E: ID_MODEL=OTDR\n"
                         "A: dev=166:%5\n")
              .arg(usb, vendor, product, port)
              .arg(portNames.size())
              .arg(withNode ? QStringLiteral("N: %1\n").arg(port) : QString());
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, description.toUtf8().constData(), &error)) {
        qWarning() << "umockdev:" << (error ? error->message : "could not add the device");
        g_clear_error(&error);
        return QString();
    }
    sysPaths.append(QStringLiteral("/sys/devices/%1").arg(usb));
    portNames.append(port);

    // The instrument's end must never block the thread that also runs the program.
    const int fd = masterFd(port);
    if (fd >= 0) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        // A program started from here must not hold the instrument's end open: the line
        // would then never hang up when the cable is pulled.
        fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }
    return port;
}

int MockSerialDevice::masterFd(const QString &portName) const
{
    return umockdev_testbed_get_dev_fd(testbed, ("/dev/" + portName).toUtf8().constData());
}

void MockSerialDevice::unplug(const QString &portName, bool hangUp)
{
    const int index = portNames.indexOf(portName);
    if (index < 0)
        return;
    const int master = hangUp ? masterFd(portName) : -1;
    umockdev_testbed_remove_device(testbed, sysPaths.at(index).toUtf8().constData());
    // Closing the master hangs the terminal up. The test bed closes that descriptor number
    // itself later, so it is left pointing at /dev/null instead of being freed.
    if (master >= 0) {
        char pts[128];
        const bool named = ptsname_r(master, pts, sizeof pts) == 0;
        const int nullFd = open("/dev/null", O_RDWR | O_CLOEXEC);
        dup2(nullFd, master);
        close(nullFd);
        // The test bed remembers which device a terminal number served; a device plugged in
        // later may get the same number, so that memory goes with the device.
        if (named) {
            QString key = QString::fromLatin1(pts);
            key.replace(QLatin1Char('/'), QLatin1Char('_'));
            unlink(
                QStringLiteral("%1/dev/.ptymap/%2").arg(rootDir(), key).toLocal8Bit().constData());
        }
    }
}

QString MockSerialDevice::rootDir() const
{
    gchar *dir = umockdev_testbed_get_root_dir(testbed);
    const QString root = QString::fromUtf8(dir);
    g_free(dir);
    return root;
}

QStringList MockSerialDevice::environment() const
{
    return {QStringLiteral("UMOCKDEV_DIR=") + rootDir(),
            QStringLiteral("LD_PRELOAD=libumockdev-preload.so.0")};
}
