#pragma once

#include "sortool.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

// otdr-sor's commands run in this process, keeping what they print; and the files they read.

inline int runCapturing(const QStringList &arguments, QString &out, QString &err)
{
    out.clear();
    err.clear();
    QTextStream o(&out);
    QTextStream e(&err);
    const int status = runSorTool(QStringList{"otdr-sor"} + arguments, o, e);
    o.flush();
    e.flush();
    return status;
}

inline QString writeInto(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}
