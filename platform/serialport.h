#pragma once

// The instrument's serial port. Linux has Qt's serial module; the Windows build has none, so
// there a class of ours stands in under the same names, with the part of the interface the
// window uses.
#include <QtGlobal>

#ifdef Q_OS_WIN
#include "platform/winserialport.h"
#include "platform/winserialportinfo.h"
using QSerialPort = WinSerialPort;
using QSerialPortInfo = WinSerialPortInfo;
#else
#include <QSerialPort>
#include <QSerialPortInfo>
#endif
