#include "otdr/otdraction.h"

const char OtdrAction::EndMarker[] = "imageLogo.bin";

OtdrAction::OtdrAction(QObject *parent)
    : QObject(parent)
{
}

OtdrAction::~OtdrAction() = default;

bool OtdrAction::parseListReply(const QByteArray &reply)
{
    if (reply.size() <= 2)
        return true;

    const auto *bytes = reinterpret_cast<const uchar *>(reply.constData());
    const qint32 size = bytes[0] + 256 * bytes[1];
    QByteArray rawName = reply.mid(2);
    const int zero = rawName.indexOf('\0');
    if (zero >= 0)
        rawName.truncate(zero);
    const QString name = QString::fromUtf8(rawName);

    if (name.isEmpty())
        return true;
    if (name == QLatin1String(EndMarker))
        return false;
    fileList.append(FileEntry{size, name});
    return true;
}

QList<FileEntry> OtdrAction::fileEntries() const
{
    return fileList;
}

bool OtdrAction::listingDone() const
{
    return true;
}

void OtdrAction::clear()
{
    fileList.clear();
}
