#include "platform/winserialportinfo.h"

#include "platform/hardwareid.h"

#include <QStringList>

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <vector>

namespace {

// The class of serial and parallel ports, and the interface that USB modems' and CDC ports'
// drivers register.
const GUID PortsClass
    = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID ComPortInterface
    = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

QString registryString(HKEY key, const wchar_t *value)
{
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS
        || type != REG_SZ || bytes == 0)
        return QString();
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, 0);
    if (RegQueryValueExW(
            key, value, nullptr, nullptr, reinterpret_cast<BYTE *>(text.data()), &bytes)
        != ERROR_SUCCESS)
        return QString();
    return QString::fromWCharArray(text.data());
}

// The first of a device's hardware ids that names a USB vendor, or the first id.
QString hardwareId(HDEVINFO set, SP_DEVINFO_DATA *device)
{
    DWORD bytes = 0;
    SetupDiGetDeviceRegistryPropertyW(set, device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &bytes);
    if (bytes == 0)
        return QString();
    std::vector<wchar_t> ids(bytes / sizeof(wchar_t) + 2, 0);
    if (!SetupDiGetDeviceRegistryPropertyW(set,
                                           device,
                                           SPDRP_HARDWAREID,
                                           nullptr,
                                           reinterpret_cast<BYTE *>(ids.data()),
                                           bytes,
                                           nullptr))
        return QString();
    QStringList all;
    for (const wchar_t *id = ids.data(); *id; id += wcslen(id) + 1)
        all.append(QString::fromWCharArray(id));
    for (const QString &id : qAsConst(all)) {
        if (parseHardwareId(id).hasVendor)
            return id;
    }
    return all.value(0);
}

void addDevices(const GUID &guid, DWORD flags, QList<WinSerialPortInfo> &ports)
{
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        const QString name = registryString(key, L"PortName");
        RegCloseKey(key);
        // The ports class holds printer ports too.
        if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            continue;
        const bool known = std::any_of(ports.cbegin(), ports.cend(), [&](const auto &port) {
            return port.portName().compare(name, Qt::CaseInsensitive) == 0;
        });
        if (!known)
            ports.append(WinSerialPortInfo(name, hardwareId(set, &device)));
    }
    SetupDiDestroyDeviceInfoList(set);
}

} // namespace

WinSerialPortInfo::WinSerialPortInfo(const QString &portName, const QString &hardwareId)
    : name(portName)
{
    const HardwareId id = parseHardwareId(hardwareId);
    hasVendor = id.hasVendor;
    hasProduct = id.hasProduct;
    vendor = id.vendor;
    product = id.product;
}

QList<WinSerialPortInfo> WinSerialPortInfo::availablePorts()
{
    QList<WinSerialPortInfo> ports;
    addDevices(PortsClass, 0, ports);
    addDevices(ComPortInterface, DIGCF_DEVICEINTERFACE, ports);

    HKEY map = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map)
        != ERROR_SUCCESS)
        return ports;
    wchar_t valueName[256];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof valueName / sizeof valueName[0];
        if (RegEnumValueW(map, index, valueName, &nameLength, nullptr, nullptr, nullptr, nullptr)
            != ERROR_SUCCESS)
            break;
        const QString name = registryString(map, valueName);
        const bool known = std::any_of(ports.cbegin(), ports.cend(), [&](const auto &port) {
            return port.portName().compare(name, Qt::CaseInsensitive) == 0;
        });
        if (!name.isEmpty() && !known)
            ports.append(WinSerialPortInfo(name, QString()));
    }
    RegCloseKey(map);
    return ports;
}
