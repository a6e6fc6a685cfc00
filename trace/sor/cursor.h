#pragma once

#include <QByteArray>

// The reader's private parts: a bounded cursor over a file's bytes, and the reader itself,
// whose block decoders live in sorblocks.cpp.
namespace Sor {
namespace Internal {

// Reads little-endian fields from a span of bytes; past its end it reads nothing and says so.
class Cursor
{
public:
    Cursor(const char *data, qint64 size)
        : at(reinterpret_cast<const uchar *>(data))
        , end(at + size)
    {
    }

    bool ok() const { return good; }
    qint64 left() const { return end - at; }
    const uchar *position() const { return at; }

    quint16 u16() { return quint16(take(2)); }
    qint16 i16() { return qint16(quint16(take(2))); }
    quint32 u32() { return quint32(take(4)); }
    qint32 i32() { return qint32(quint32(take(4))); }
    void skip(qint64 n)
    {
        if (n < 0 || n > left()) {
            good = false;
            at = end;
        } else {
            at += n;
        }
    }
    QByteArray fixed(int n)
    {
        if (!need(n))
            return QByteArray();
        const QByteArray bytes(reinterpret_cast<const char *>(at), n);
        at += n;
        return bytes;
    }
    // Up to the terminating zero, which must lie inside the span.
    QByteArray text()
    {
        const uchar *zero = at;
        while (zero < end && *zero != 0)
            ++zero;
        if (zero == end) {
            good = false;
            at = end;
            return QByteArray();
        }
        const QByteArray bytes(reinterpret_cast<const char *>(at), int(zero - at));
        at = zero + 1;
        return bytes;
    }

private:
    bool need(qint64 n)
    {
        if (good && n <= left())
            return true;
        good = false;
        at = end;
        return false;
    }
    quint64 take(int n)
    {
        if (!need(n))
            return 0;
        quint64 value = 0;
        for (int i = 0; i < n; ++i)
            value |= quint64(at[i]) << (8 * i);
        at += n;
        return value;
    }

    const uchar *at;
    const uchar *end;
    bool good = true;
};

// Whether bytes are well-formed UTF-8 (text fields may be Latin-1 instead).
bool isUtf8(const QByteArray &bytes);

} // namespace Internal
} // namespace Sor
