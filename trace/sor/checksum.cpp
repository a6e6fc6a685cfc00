#include "sor/checksum.h"

#include <array>

namespace Sor {

namespace {

// Both checksums shift the polynomial 0x1021 through the bytes, most significant bit first.
// Tables[k][i]: the checksum of byte i followed by k zero bytes, so that eight bytes go in one
// step.
using Tables = std::array<std::array<quint16, 256>, 8>;

Tables makeTables()
{
    Tables tables{};
    for (int i = 0; i < 256; ++i) {
        quint16 crc = quint16(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
        tables[0][size_t(i)] = crc;
    }
    for (size_t k = 1; k < tables.size(); ++k) {
        for (size_t i = 0; i < 256; ++i) {
            const quint16 previous = tables[k - 1][i];
            tables[k][i] = quint16((previous << 8) ^ tables[0][previous >> 8]);
        }
    }
    return tables;
}

const Tables Table = makeTables();

// Who uses which checksum, as seen on real files; and which makers' own blocks bear their
// name, a sign of the software that wrote a file last.
struct Maker
{
    const char *name;
    ChecksumMethod method;
    bool namesBlocks;
    bool wholeWord;
};
const Maker Makers[] = {
    {"viavi", ChecksumMethod::CcittFalseWhole, true, false},
    {"wavetek", ChecksumMethod::CcittFalseWhole, true, false},
    {"jdsu", ChecksumMethod::CcittFalseWhole, true, false},
    {"anritsu", ChecksumMethod::XmodemBefore, true, false},
    {"noyes", ChecksumMethod::CcittFalseBefore, true, false},
    {"hewlett packard", ChecksumMethod::CcittFalseBefore, false, false},
    {"hp", ChecksumMethod::CcittFalseBefore, false, true},
    {"exfo", ChecksumMethod::None, true, false},
    {"optixs", ChecksumMethod::None, true, false},
};

quint16 crc16(const char *data, qint64 size, quint16 crc)
{
    const auto *bytes = reinterpret_cast<const uchar *>(data);
    const auto &t = Table;
    qint64 i = 0;
    for (; i + 8 <= size; i += 8) {
        const uchar *b = bytes + i;
        crc = quint16(t[7][(crc >> 8) ^ b[0]] ^ t[6][(crc & 0xFF) ^ b[1]] ^ t[5][b[2]] ^ t[4][b[3]]
                      ^ t[3][b[4]] ^ t[2][b[5]] ^ t[1][b[6]] ^ t[0][b[7]]);
    }
    for (; i < size; ++i)
        crc = quint16((crc << 8) ^ t[0][((crc >> 8) ^ bytes[i]) & 0xFF]);
    return crc;
}

// The checksum is linear in its register: a register run through n zero bytes is the register
// times a fixed matrix to the n-th power, so the methods that differ only in their start value
// need one pass over the bytes. Column j: where bit j of the register goes.
using Matrix = std::array<quint16, 16>;

quint16 times(const Matrix &m, quint16 v)
{
    quint16 result = 0;
    for (size_t j = 0; j < m.size(); ++j) {
        if ((v >> j) & 1)
            result ^= m[j];
    }
    return result;
}

quint16 afterZeros(quint16 crc, quint64 count)
{
    Matrix step;
    for (size_t j = 0; j < step.size(); ++j) {
        const quint16 bit = quint16(1u << j);
        step[j] = quint16((bit << 8) ^ Table[0][bit >> 8]);
    }
    for (; count > 0; count >>= 1) {
        if (count & 1)
            crc = times(step, crc);
        Matrix squared;
        for (size_t j = 0; j < step.size(); ++j)
            squared[j] = times(step, step[j]);
        step = squared;
    }
    return crc;
}

// Whether key stands in name as a word of its own ("hp", not "hpa").
bool containsWord(const QString &name, QLatin1String key)
{
    const auto isWordChar = [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); };
    for (int at = name.indexOf(key); at >= 0; at = name.indexOf(key, at + 1)) {
        const int end = at + key.size();
        if ((at == 0 || !isWordChar(name.at(at - 1)))
            && (end == name.size() || !isWordChar(name.at(end))))
            return true;
    }
    return false;
}

} // namespace

quint16 crc16CcittFalse(const char *data, qint64 size, quint16 crc)
{
    return crc16(data, size, crc);
}

quint16 crc16Xmodem(const char *data, qint64 size, quint16 crc)
{
    return crc16(data, size, crc);
}

ChecksumMethod makerMethod(const QString &maker)
{
    const QString name = maker.toLower();
    for (const Maker &m : Makers) {
        if (m.method == ChecksumMethod::None)
            continue;
        const QLatin1String key(m.name);
        // Short names count only as whole words ("hp", not "hpa").
        const bool found = m.wholeWord ? containsWord(name, key) : name.contains(key);
        if (found)
            return m.method;
    }
    return ChecksumMethod::None;
}

QString makerOfBlock(const QString &blockName)
{
    const QString name = blockName.toLower();
    for (const Maker &m : Makers) {
        if (m.namesBlocks && name.startsWith(QLatin1String(m.name)))
            return QLatin1String(m.name);
    }
    return QString();
}

namespace {
// The whole-file method is the checksum before the value carried on over two zero bytes and the
// rest of the file.
quint16 wholeFile(const QByteArray &file, qint64 valueOffset, quint16 before)
{
    const char zeros[2] = {0, 0};
    return crc16CcittFalse(file.constData() + valueOffset + 2,
                           file.size() - valueOffset - 2,
                           crc16CcittFalse(zeros, 2, before));
}
} // namespace

quint16 checksumOf(const QByteArray &file, qint64 valueOffset, ChecksumMethod method)
{
    switch (method) {
    case ChecksumMethod::CcittFalseWhole:
        return wholeFile(file, valueOffset, crc16CcittFalse(file.constData(), valueOffset));
    case ChecksumMethod::CcittFalseBefore:
        return crc16CcittFalse(file.constData(), valueOffset);
    case ChecksumMethod::XmodemBefore:
        return crc16Xmodem(file.constData(), valueOffset);
    case ChecksumMethod::None:
        break;
    }
    return 0;
}

Checksum verify(const QByteArray &file, qint64 valueOffset, const QString &maker)
{
    Checksum result;
    const auto *bytes = reinterpret_cast<const uchar *>(file.constData());
    const quint16 stored = quint16(bytes[valueOffset] | (bytes[valueOffset + 1] << 8));
    result.stored = stored;
    if (stored == 0) {
        result.state = ChecksumState::NotProvided;
        return result;
    }
    // One pass over the bytes before the value serves both CCITT-FALSE methods.
    const quint16 before = crc16CcittFalse(file.constData(), valueOffset);
    const quint16 whole = wholeFile(file, valueOffset, before);
    const ChecksumMethod known = makerMethod(maker);
    auto matches = [&](ChecksumMethod method) {
        switch (method) {
        case ChecksumMethod::CcittFalseWhole:
            return whole == stored;
        case ChecksumMethod::CcittFalseBefore:
            return before == stored;
        case ChecksumMethod::XmodemBefore:
            // The same bytes from a register of zeros instead of ones.
            return quint16(before ^ afterZeros(0xFFFF, quint64(valueOffset))) == stored;
        case ChecksumMethod::None:
            break;
        }
        return false;
    };
    // The maker's own method first, so that it is the one named if two happen to match.
    for (ChecksumMethod method : {known,
                                  ChecksumMethod::CcittFalseWhole,
                                  ChecksumMethod::CcittFalseBefore,
                                  ChecksumMethod::XmodemBefore}) {
        if (matches(method)) {
            result.state = ChecksumState::Valid;
            result.method = method;
            return result;
        }
    }
    result.state
        = known == ChecksumMethod::None ? ChecksumState::CannotVerify : ChecksumState::Mismatch;
    return result;
}

QString methodName(ChecksumMethod method)
{
    switch (method) {
    case ChecksumMethod::CcittFalseWhole:
        return QStringLiteral("ccitt-false-whole");
    case ChecksumMethod::CcittFalseBefore:
        return QStringLiteral("ccitt-false-before");
    case ChecksumMethod::XmodemBefore:
        return QStringLiteral("xmodem-before");
    case ChecksumMethod::None:
        break;
    }
    return QString();
}

QString stateName(ChecksumState state)
{
    switch (state) {
    case ChecksumState::Valid:
        return QStringLiteral("valid");
    case ChecksumState::NotProvided:
        return QStringLiteral("not-provided");
    case ChecksumState::CannotVerify:
        return QStringLiteral("cannot-verify");
    case ChecksumState::Mismatch:
        return QStringLiteral("mismatch");
    }
    return QString();
}

} // namespace Sor
