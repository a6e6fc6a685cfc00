#pragma once

#include <QByteArray>
#include <QString>

// Why a downloaded file is damaged, in Portuguese, or an empty string when it is sound: its
// length must match the size the listing gave (a 16-bit field, so modulo 65,536), and a file
// that reads as a trace must have a sound structure and no checksum that fails to match.
QString downloadDamage(const QByteArray &bytes, int listedSize);
