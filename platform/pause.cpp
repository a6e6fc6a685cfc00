#include "platform/pause.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QThread>
#endif

void pauseMilliseconds(unsigned long ms)
{
#ifdef Q_OS_WIN
    Sleep(ms);
#else
    QThread::msleep(ms);
#endif
}
