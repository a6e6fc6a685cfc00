#include "route/spreadsheettext.h"

namespace Route {

QString spreadsheetText(const QByteArray &bytes, QString &encoding)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool little = bytes.startsWith("\xFF\xFE");
        QString text;
        text.reserve(int(bytes.size() / 2));
        for (int i = 2; i + 1 < int(bytes.size()); i += 2) {
            const uchar a = uchar(bytes.at(i));
            const uchar b = uchar(bytes.at(i + 1));
            text += QChar(little ? ushort(a | (b << 8)) : ushort(b | (a << 8)));
        }
        encoding = QStringLiteral("UTF-16");
        return text;
    }
    QString text = QString::fromUtf8(bytes);
    // A byte that is no UTF-8 comes back as U+FFFD; the file then holds none of its own.
    if (text.count(QChar(0xFFFD)) == bytes.count("\xEF\xBF\xBD")) {
        encoding = QStringLiteral("UTF-8");
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    // Windows-1252: Latin-1 with letters and signs where Latin-1 has control codes.
    static const ushort windows[32]
        = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
           0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
           0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    text.clear();
    text.reserve(int(bytes.size()));
    for (const char c : bytes) {
        const uchar u = uchar(c);
        text += QChar(u >= 0x80 && u < 0xA0 ? windows[u - 0x80] : ushort(u));
    }
    encoding = QStringLiteral("Latin-1 (Windows)");
    return text;
}

} // namespace Route
