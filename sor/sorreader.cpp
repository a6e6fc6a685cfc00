#include "sor/sorreader.h"

#include "sor/checksum.h"

#include <QFile>

#include <cmath>
#include <limits>

namespace Sor {

namespace {

constexpr double LightSpeed = 299792458.0; // m/s
constexpr double DefaultGroupIndex = 1.468;
// Values that mean "no data" (or clipped) rather than a level.
constexpr quint16 NoData = 65535;
constexpr quint16 NoDataOneMaker = 63999;

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

class Reader
{
public:
    Reader(const QByteArray &file, Trace &trace, Detail detail)
        : file(file)
        , t(trace)
        , detail(detail)
    {
    }

    void run();

private:
    QString decode(const QByteArray &raw, const char *field);
    QString fixedText(Cursor &c, int n, const char *field);
    QString text(Cursor &c, const char *field) { return decode(c.text(), field); }
    bool readMap(qint64 &mapSize);
    void readBlock(const BlockInfo &block);
    void readGeneral(Cursor &c);
    void readSupplier(Cursor &c);
    void readFixed(Cursor &c);
    void readEvents(Cursor &c);
    void readData(Cursor &c);
    void derive();
    QString lastWriter() const;

    const QByteArray &file;
    Trace &t;
    const Detail detail;
    qint64 checksumAt = -1;
    qint64 pointCount = 0;
};

QString Reader::decode(const QByteArray &raw, const char *field)
{
    if (isUtf8(raw))
        return QString::fromUtf8(raw);
    t.warnings.append(
        QStringLiteral("o campo %1 não é UTF-8; lido como Latin-1").arg(QString::fromUtf8(field)));
    return QString::fromLatin1(raw);
}

// Two-byte codes such as the language; some files leave zero bytes in them.
QString Reader::fixedText(Cursor &c, int n, const char *field)
{
    QByteArray raw = c.fixed(n);
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
    Cursor entries(file.constData() + (file.size() - c.left()),
                   declared - (file.size() - c.left()));
    t.blocks.append({QStringLiteral("Map"), revision, 0, declared});
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

void Reader::readGeneral(Cursor &c)
{
    GeneralParameters g;
    g.language = fixedText(c, 2, "idioma");
    g.cableId = text(c, "cabo");
    g.fiberId = text(c, "fibra");
    if (t.version == 2)
        g.fiberType = c.i16();
    g.nominalWavelengthNm = c.i16();
    g.locationA = text(c, "local A");
    g.locationB = text(c, "local B");
    g.cableCode = text(c, "código do cabo");
    g.buildCondition = fixedText(c, 2, "condição");
    g.userOffset = c.i32();
    if (t.version == 2)
        g.userOffsetDistance = c.i32();
    g.operatorName = text(c, "operador");
    g.comment = text(c, "comentário");
    if (c.ok())
        t.general = g;
}

void Reader::readSupplier(Cursor &c)
{
    SupplierParameters s;
    s.supplier = text(c, "fabricante");
    s.mainframe = text(c, "modelo");
    s.mainframeSerial = text(c, "número de série");
    s.module = text(c, "módulo");
    s.moduleSerial = text(c, "série do módulo");
    s.softwareRevision = text(c, "versão do programa");
    s.other = text(c, "outros");
    if (c.ok())
        t.supplier = s;
}

void Reader::readFixed(Cursor &c)
{
    FixedParameters f;
    const bool v2 = t.version == 2;
    f.dateTime = c.u32();
    f.units = fixedText(c, 2, "unidades");
    f.wavelength = c.u16();
    f.acquisitionOffset = c.i32();
    if (v2)
        f.acquisitionOffsetDistance = c.i32();
    const int pulses = c.i16();
    if (pulses < 0 || pulses * 10 > c.left()) {
        c.skip(c.left() + 1);
        return;
    }
    for (int i = 0; i < pulses; ++i)
        f.pulseWidthsNs.append(c.i16());
    for (int i = 0; i < pulses; ++i)
        f.dataSpacing.append(c.i32());
    for (int i = 0; i < pulses; ++i)
        f.pointsPerPulse.append(c.i32());
    f.groupIndex = c.i32();
    f.backscatter = c.i16();
    f.averages = c.i32();
    if (v2)
        f.averagingTime = c.u16();
    f.acquisitionRange = c.i32();
    if (v2)
        f.acquisitionRangeDistance = c.i32();
    f.frontPanelOffset = c.i32();
    f.noiseFloor = c.u16();
    f.noiseFloorScale = c.i16();
    f.powerOffset = c.u16();
    f.lossThreshold = c.u16();
    f.reflectanceThreshold = c.u16();
    f.endOfFiberThreshold = c.u16();
    if (v2) {
        f.traceType = fixedText(c, 2, "tipo de traço");
        c.skip(4 * 4); // window coordinates
    }
    if (c.ok())
        t.fixed = f;
}

void Reader::readEvents(Cursor &c)
{
    KeyEvents k;
    const int count = c.i16();
    if (count < 0) {
        c.skip(c.left() + 1);
        return;
    }
    for (int i = 0; i < count && c.ok(); ++i) {
        Event e;
        e.number = c.i16();
        e.time = c.i32();
        e.attenuationDbPerKm = c.i16() / 1000.0;
        e.lossDb = c.i16() / 1000.0;
        e.reflectanceDb = c.i32() / 1000.0;
        e.code = fixedText(c, 6, "código do evento");
        e.technique = fixedText(c, 2, "técnica");
        if (t.version == 2)
            c.skip(5 * 4); // marker locations
        e.comment = text(c, "comentário do evento");
        k.events.append(e);
    }
    const qint32 endToEnd = c.i32();
    c.skip(2 * 4);
    const quint16 orl = c.u16();
    c.skip(2 * 4);
    if (!c.ok())
        return;
    k.endToEndLossDb = endToEnd / 1000.0;
    k.opticalReturnLossDb = orl / 1000.0;
    t.keyEvents = k;
}

void Reader::readData(Cursor &c)
{
    const qint32 declared = c.i32();
    const int groups = c.i16();
    if (!c.ok())
        return;
    t.declaredPoints = declared;
    for (int g = 0; g < groups; ++g) {
        const qint32 count = c.i32();
        const int factor = c.i16();
        if (!c.ok())
            return;
        if (count < 0 || qint64(count) * 2 > c.left()) {
            t.errors.append(QStringLiteral("DataPts declara %1 pontos, mas o bloco só tem espaço "
                                           "para %2")
                                .arg(count)
                                .arg(c.left() / 2));
            t.levelDb.clear();
            return;
        }
        t.scaleFactors.append(factor);
        pointCount += count;
        if (detail == Detail::Check) {
            c.skip(qint64(count) * 2);
            continue;
        }
        const uchar *p = c.position();
        const double scale = -factor / 1000000.0;
        const size_t first = t.levelDb.size();
        t.levelDb.resize(first + size_t(count));
        double *level = t.levelDb.data() + first;
        for (qint32 i = 0; i < count; ++i, p += 2) {
            const quint16 v = quint16(p[0] | (p[1] << 8));
            level[i] = v == NoData || v == NoDataOneMaker ? std::numeric_limits<double>::quiet_NaN()
                                                          : v * scale;
        }
        c.skip(qint64(count) * 2);
    }
    if (pointCount != declared) {
        t.warnings.append(
            QStringLiteral("DataPts declara %1 pontos e traz %2").arg(declared).arg(pointCount));
    }
}

// A maker's own block names the software that wrote the file last, which may not be the
// maker named in SupParams (a trace re-saved by another maker's software keeps that name).
QString Reader::lastWriter() const
{
    for (const OtherBlock &block : t.otherBlocks) {
        const QString name = block.name.toLower();
        for (const char *maker :
             {"viavi", "wavetek", "jdsu", "anritsu", "noyes", "exfo", "optixs"}) {
            if (name.startsWith(QLatin1String(maker)))
                return QLatin1String(maker);
        }
    }
    return t.supplier ? t.supplier->supplier : QString();
}

void Reader::derive()
{
    if (t.fixed) {
        const FixedParameters &f = *t.fixed;
        double n = f.groupIndex / 100000.0;
        if (f.groupIndex <= 0) {
            n = DefaultGroupIndex;
            t.warnings.append(QStringLiteral("índice de grupo ausente; usado 1,468"));
        }
        t.groupIndex = n;
        double nm = f.wavelength / 10.0;
        // One maker stores whole nanometres.
        if (nm < 600 && f.wavelength >= 600 && f.wavelength <= 1700) {
            nm = f.wavelength;
            t.warnings.append(QStringLiteral("comprimento de onda gravado em nm, não em 0,1 nm"));
        }
        t.wavelengthNm = nm;
        t.date = QDateTime::fromSecsSinceEpoch(qint64(f.dateTime), Qt::UTC);
        auto metresPerPoint = [n](qint32 spacing) { return spacing * 1e-14 * LightSpeed / n; };
        if (!f.dataSpacing.isEmpty())
            t.spacingM = metresPerPoint(f.dataSpacing.first());
        qint64 fixedPoints = 0;
        for (qint32 points : f.pointsPerPulse)
            fixedPoints += points;
        if (t.declaredPoints && fixedPoints != pointCount) {
            t.warnings.append(QStringLiteral("FxdParams declara %1 pontos e DataPts traz %2")
                                  .arg(fixedPoints)
                                  .arg(pointCount));
        }
        // With several pulse widths, each one's points lie at its own spacing.
        const bool segments = f.dataSpacing.size() > 1 && fixedPoints == qint64(t.levelDb.size());
        t.distanceM.resize(t.levelDb.size());
        size_t i = 0;
        double start = 0;
        for (int s = 0; s < (segments ? f.dataSpacing.size() : 1); ++s) {
            const double step = metresPerPoint(f.dataSpacing.value(s));
            const size_t end = segments ? i + size_t(f.pointsPerPulse.at(s)) : t.levelDb.size();
            for (size_t k = 0; i < end; ++i, ++k)
                t.distanceM[i] = start + double(k) * step;
            start = i > 0 ? t.distanceM[i - 1] + step : 0;
        }
        if (!t.levelDb.empty())
            t.rangeM = t.distanceM.back();
        if (t.keyEvents) {
            for (Event &e : t.keyEvents->events)
                e.distanceM = e.time * 1e-10 * LightSpeed / n;
        }
    } else {
        t.distanceM.assign(t.levelDb.size(), 0.0);
        if (!t.levelDb.empty())
            t.warnings.append(QStringLiteral("sem FxdParams: as distâncias não são conhecidas"));
    }
    if (checksumAt >= 0)
        t.checksum = verify(file, checksumAt, lastWriter());
}

} // namespace

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
    Reader(bytes, trace, detail).run();
    return trace;
}

Trace readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Trace trace;
        trace.errors.append(file.errorString());
        return trace;
    }
    return read(file.readAll());
}

} // namespace Sor
