#pragma once

#include <QString>

// One file reported by the instrument.
struct FileEntry
{
    qint32 size = 0; // bytes, 0..65535
    QString name;
};
