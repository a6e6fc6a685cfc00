#pragma once

#include <QByteArray>
#include <QString>

namespace Route {

// The text of a file a spreadsheet saved: UTF-8 (with or without its mark), UTF-16 with its
// mark ("Unicode text"), else the Windows code page of Latin-1. Says which.
QString spreadsheetText(const QByteArray &bytes, QString &encoding);

} // namespace Route
