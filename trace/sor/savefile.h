#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

namespace Sor {

// Writes a whole file or nothing: a crash or a full disk leaves what was there before. False,
// with the reason in the user's words, when it cannot.
bool saveFile(const QString &path, const QByteArray &bytes, QString *error);
// The same for a file written as a stream (a PDF, a CSV): `write` fills the device and says
// whether it could.
bool saveFile(const QString &path, const std::function<bool(QIODevice &)> &write, QString *error);

} // namespace Sor
