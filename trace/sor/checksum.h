#pragma once

#include "sor/sortrace.h"

#include <QByteArray>

// The 16-bit CCITT checksums that SOR files carry, and which maker uses which.
namespace Sor {

quint16 crc16CcittFalse(const char *data, qint64 size, quint16 crc = 0xFFFF);
quint16 crc16Xmodem(const char *data, qint64 size, quint16 crc = 0x0000);

// The method a maker is known to use, or None when it is unknown (or not verifiable).
ChecksumMethod makerMethod(const QString &maker);
// The maker whose own blocks start with this block's name ("exfo" for
// "ExfoNewProprietaryBlock"), or an empty string.
QString makerOfBlock(const QString &blockName);

// The checksum of a file by one method, its two checksum bytes at valueOffset taken as zero.
quint16 checksumOf(const QByteArray &file, qint64 valueOffset, ChecksumMethod method);
// Given the whole file and where the two checksum bytes lie, tries every known method.
Checksum verify(const QByteArray &file, qint64 valueOffset, const QString &maker);

} // namespace Sor
