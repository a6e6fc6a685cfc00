#include "sor/savefile.h"

#include "sor/sortext.h"

#include <QSaveFile>

namespace Sor {

bool saveFile(const QString &path, const QByteArray &bytes, QString *error)
{
    return saveFile(
        path, [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); }, error);
}

bool saveFile(const QString &path, const std::function<bool(QIODevice &)> &write, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && write(file) && file.commit())
        return true;
    if (error)
        *error = fileErrorText(file, FileUse::Write);
    return false;
}

} // namespace Sor
