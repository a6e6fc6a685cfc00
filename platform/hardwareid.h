#pragma once

#include <QString>

// The USB vendor and product ids in a Windows hardware id, as SetupAPI gives it:
// "USB\VID_1FC9&PID_0083&REV_0100", "USB\VID_1FC9&PID_0083&MI_00", or an adapter's own bus
// ("FTDIBUS\VID_0403+PID_6001+A5XK3RJTA\0000"). Ids of other buses carry none.
struct HardwareId
{
    bool hasVendor = false;
    bool hasProduct = false;
    quint16 vendor = 0;
    quint16 product = 0;
};

HardwareId parseHardwareId(const QString &id);
