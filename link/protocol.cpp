#include "link/protocol.h"

namespace Protocol {

namespace {

// An item that cannot be addressed gets no request rather than a wrapped number.
QByteArray itemRequest(Command command, int item)
{
    if (item < 1 || item > MaxItem)
        return QByteArray();
    QByteArray request(3, '\0');
    request[0] = char(command);
    request[1] = char(item & 0xFF);
    request[2] = char((item >> 8) & 0xFF);
    return request;
}

} // namespace

QByteArray listRequest()
{
    return QByteArray(1, char(List));
}

QByteArray deleteRequest(int item)
{
    return itemRequest(Delete, item);
}

QByteArray downloadRequest(int item)
{
    return itemRequest(Download, item);
}

bool isDeleteAck(const QByteArray &reply)
{
    return reply == QByteArrayLiteral("OK");
}

bool isDownloadEnd(const QByteArray &reply)
{
    return reply == QByteArrayLiteral("FINAL");
}

} // namespace Protocol
