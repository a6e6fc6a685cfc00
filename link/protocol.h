#pragma once

#include <QByteArray>

// The instrument's request bytes and the meaning of its status replies.
namespace Protocol {

enum Command : unsigned char { List = 0x03, Delete = 0x41, Download = 0xAA };

// Item numbers are 1-based; table row r is item r + 1.
constexpr int MaxItem = 0xFFFF;

QByteArray listRequest();
// Empty for an item outside 1..MaxItem.
QByteArray deleteRequest(int item);
QByteArray downloadRequest(int item);

// Both are compared over the whole reply, exactly.
bool isDeleteAck(const QByteArray &reply);
bool isDownloadEnd(const QByteArray &reply);

} // namespace Protocol
