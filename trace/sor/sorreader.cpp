#include "sor/sorreader.h"

#include "sor/checksum.h"
#include "sor/readerimpl.h"
#include "sor/sortext.h"

#include <QDirIterator>
#include <QFile>

namespace Sor {

namespace Internal {

bool isUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const auto *end = p + bytes.size();
    while (p < end) {
        const uchar c = *p;
        int more = 0;
        if (c < 0x80)
            more = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3;
        else
            return false;
        if (end - p <= more)
            return more == 0;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += more + 1;
    }
    return true;
}

QString Reader::decode(const QByteArray &raw, const char *field)
{
    if (isUtf8(raw))
        return QString::fromUtf8(raw);
    t.warnings.append(
        QStringLiteral("o campo %1 não é UTF-8; lido como Latin-1").arg(QString::fromUtf8(field)));
    return QString::fromLatin1(raw);
}

// Two-byte codes such as the language; some files leave zero bytes in them.
QString Reader::fixedText(QByteArray raw, const char *field)
{
    if (raw.contains('\0')) {
        t.warnings.append(
            QStringLiteral("o campo %1 contém bytes nulos").arg(QString::fromUtf8(field)));
        raw.replace('\0', QByteArray());
    }
    return decode(raw, field);
}

void Reader::run()
{
    qint64 mapSize = 0;
    if (!readMap(mapSize))
        return;
    Q_ASSERT(t.blocks.first().size == mapSize);
    // The map is the first block; the others follow it in its order.
    qint64 offset = 0;
    for (BlockInfo &block : t.blocks) {
        block.offset = offset;
        offset += block.size;
    }
    for (const BlockInfo &block : qAsConst(t.blocks)) {
        if (block.offset + block.size > file.size()) {
            t.errors.append(QStringLiteral("o bloco %1 passa do fim do arquivo (termina no byte "
                                           "%2; o arquivo tem %3 bytes)")
                                .arg(block.name)
                                .arg(block.offset + block.size)
                                .arg(file.size()));
            break;
        }
        readBlock(block);
    }
    if (offset < file.size()) {
        t.warnings.append(
            QStringLiteral("%1 bytes depois do último bloco").arg(file.size() - offset));
    }
    derive();
}

bool Reader::readMap(qint64 &mapSize)
{
    Cursor c(file.constData(), file.size());
    const bool v2 = file.startsWith(QByteArray("Map\0", 4));
    if (v2)
        c.skip(4);
    const int revision = c.u16();
    const qint32 declared = c.i32();
    const int count = c.i16();
    if (!c.ok()) {
        t.errors.append(
            QStringLiteral("arquivo curto demais para um traço SOR (%1 bytes)").arg(file.size()));
        return false;
    }
    t.version = v2 ? 2 : 1;
    if (!v2 && (revision < 100 || revision > 199)) {
        t.version = 0;
        t.errors.append(QStringLiteral("não é um traço SOR: não começa com o mapa de blocos"));
        return false;
    }
    if (v2 && (revision < 200 || revision > 299))
        t.warnings.append(QStringLiteral("revisão %1 do mapa, fora da versão 2").arg(revision));
    if (declared < qint64(file.size() - c.left()) || declared > file.size()) {
        t.errors.append(QStringLiteral("o mapa de blocos declara %1 bytes, o que não cabe no "
                                       "arquivo de %2 bytes")
                            .arg(declared)
                            .arg(file.size()));
        return false;
    }
    if (count < 1) {
        t.errors.append(QStringLiteral("o mapa de blocos declara %1 blocos").arg(count));
        return false;
    }
    mapSize = declared;
    t.blocks.append({QStringLiteral("Map"), revision, 0, declared});
    const qint64 read = file.size() - c.left();
    Cursor entries(file.constData() + read, declared - read);
    return readMapEntries(entries, count, declared);
}

bool Reader::readMapEntries(Cursor &entries, int count, qint32 declared)
{
    for (int i = 1; i < count; ++i) {
        BlockInfo block;
        block.name = QString::fromLatin1(entries.text());
        block.revision = entries.u16();
        block.size = entries.i32();
        if (!entries.ok()) {
            t.errors.append(QStringLiteral("o mapa de blocos acaba antes de seus %1 blocos "
                                           "(lidos %2)")
                                .arg(count)
                                .arg(i - 1));
            return false;
        }
        if (block.size < 0) {
            t.errors.append(QStringLiteral("o bloco %1 tem tamanho negativo (%2)")
                                .arg(block.name)
                                .arg(block.size));
            return false;
        }
        t.blocks.append(block);
    }
    if (entries.left() != 0) {
        t.errors.append(QStringLiteral("os tamanhos do mapa de blocos não somam: %1 bytes "
                                       "declarados, %2 usados")
                            .arg(declared)
                            .arg(declared - entries.left()));
        return false;
    }
    return true;
}

void Reader::readBlock(const BlockInfo &block)
{
    if (block.name == QLatin1String("Map"))
        return;
    Cursor c(file.constData() + block.offset, block.size);
    const bool decoded
        = block.name == QLatin1String("GenParams") || block.name == QLatin1String("SupParams")
          || block.name == QLatin1String("FxdParams") || block.name == QLatin1String("KeyEvents")
          || block.name == QLatin1String("DataPts") || block.name == QLatin1String("Cksum");
    if (!decoded) {
        t.otherBlocks.append(
            {block.name, block.revision, file.mid(int(block.offset), int(block.size))});
        return;
    }
    // In version 2 each block starts again with its own name.
    if (t.version == 2 && c.text() != block.name.toLatin1()) {
        t.errors.append(QStringLiteral("o bloco %1 não começa com seu nome").arg(block.name));
        return;
    }
    if (block.name == QLatin1String("GenParams"))
        readGeneral(c);
    else if (block.name == QLatin1String("SupParams"))
        readSupplier(c);
    else if (block.name == QLatin1String("FxdParams"))
        readFixed(c);
    else if (block.name == QLatin1String("KeyEvents"))
        readEvents(c);
    else if (block.name == QLatin1String("DataPts"))
        readData(c);
    else {
        const qint64 at = c.position() - reinterpret_cast<const uchar *>(file.constData());
        c.u16();
        if (c.ok())
            checksumAt = at;
    }
    if (!c.ok())
        t.errors.append(QStringLiteral("o bloco %1 acaba antes de seus campos").arg(block.name));
}

// A maker's own block names the software that wrote the file last, which may not be the
// maker named in SupParams (a trace re-saved by another maker's software keeps that name).
QString Reader::lastWriter() const
{
    for (const OtherBlock &block : t.otherBlocks) {
        const QString maker = makerOfBlock(block.name);
        if (!maker.isEmpty())
            return maker;
    }
    return t.supplier ? t.supplier->supplier : QString();
}

void Reader::derive()
{
    if (t.fixed) {
        deriveFromFixed();
    } else {
        t.distanceM.assign(t.levelDb.size(), 0.0);
        if (!t.levelDb.empty())
            t.warnings.append(QStringLiteral("sem FxdParams: as distâncias não são conhecidas"));
    }
    if (checksumAt >= 0 && detail != Detail::Points)
        t.checksum = verify(file, checksumAt, lastWriter());
}

} // namespace Internal

using Internal::Cursor;

bool looksLikeTrace(const QByteArray &bytes)
{
    if (bytes.startsWith(QByteArray("Map\0", 4)))
        return true;
    // Version 1: a revision 1.xx, then a map that fits in the file.
    Cursor c(bytes.constData(), bytes.size());
    const int revision = c.u16();
    const qint32 mapSize = c.i32();
    const int count = c.i16();
    return c.ok() && revision >= 100 && revision <= 199 && mapSize >= 8 && mapSize <= bytes.size()
           && count >= 1;
}

Trace read(const QByteArray &bytes, Detail detail)
{
    Trace trace;
    Internal::Reader(bytes, trace, detail).run();
    return trace;
}

QByteArray readBytes(const QString &path, QString &problem)
{
    problem = unreadableReason(path);
    if (!problem.isEmpty())
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = fileErrorText(file, FileUse::Read);
        return QByteArray();
    }
    return file.readAll();
}

Opened openTrace(const QByteArray &bytes, Detail detail)
{
    Opened opened;
    opened.trace = read(bytes, detail);
    const bool points = detail != Detail::Check ? opened.trace.points() > 0
                                                : opened.trace.declaredPoints.value_or(0) > 0;
    if (!points)
        opened.problem = opened.trace.errors.value(0,
                                                   QStringLiteral("o arquivo não traz pontos "
                                                                  "de traço"));
    return opened;
}

Opened openTrace(const QString &path)
{
    QString problem;
    const QByteArray bytes = readBytes(path, problem);
    if (!problem.isEmpty())
        return Opened{Trace(), problem};
    return openTrace(bytes);
}

Trace readFile(const QString &path, Detail detail)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Trace trace;
        trace.errors.append(fileErrorText(file, FileUse::Read));
        return trace;
    }
    return read(file.readAll(), detail);
}

QStringList sorFilesIn(const QString &folder)
{
    QDirIterator it(folder,
                    {QStringLiteral("*.sor"), QStringLiteral("*.SOR")},
                    QDir::Files,
                    QDirIterator::Subdirectories);
    QStringList found;
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}

} // namespace Sor
