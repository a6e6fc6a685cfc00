#include "sor/sorlayout.h"

#include "sor/cursor.h"

namespace Sor {
namespace Layout {

Bytes &Bytes::u16(quint16 v)
{
    b.append(char(v & 0xFF)).append(char(v >> 8));
    return *this;
}

Bytes &Bytes::u32(quint32 v)
{
    for (int shift = 0; shift < 32; shift += 8)
        b.append(char((v >> shift) & 0xFF));
    return *this;
}

Bytes &Bytes::text(const QByteArray &s)
{
    b.append(s).append('\0');
    return *this;
}

Bytes &Bytes::fixed(const QByteArray &s, int n)
{
    b.append(s.left(n).leftJustified(n, '\0'));
    return *this;
}

std::optional<General> parseGeneral(const QByteArray &body, int version)
{
    Internal::Cursor c(body.constData(), body.size());
    General g;
    g.language = c.fixed(2);
    g.cableId = c.text();
    g.fiberId = c.text();
    if (version == 2)
        g.fiberType = c.i16();
    g.nominalWavelength = c.i16();
    g.locationA = c.text();
    g.locationB = c.text();
    g.cableCode = c.text();
    g.buildCondition = c.fixed(2);
    g.userOffset = c.i32();
    if (version == 2)
        g.userOffsetDistance = c.i32();
    g.operatorName = c.text();
    g.comment = c.text();
    if (!c.ok())
        return std::nullopt;
    g.rest = body.right(int(c.left()));
    return g;
}

QByteArray generalBody(const General &g, int version)
{
    Bytes w;
    w.fixed(g.language, 2).text(g.cableId).text(g.fiberId);
    if (version == 2)
        w.i16(g.fiberType);
    w.i16(g.nominalWavelength).text(g.locationA).text(g.locationB).text(g.cableCode);
    w.fixed(g.buildCondition, 2).i32(g.userOffset);
    if (version == 2)
        w.i32(g.userOffsetDistance);
    w.text(g.operatorName).text(g.comment);
    w.b.append(g.rest);
    return w.b;
}

QByteArray supplierBody(const Supplier &s)
{
    Bytes w;
    w.text(s.supplier).text(s.mainframe).text(s.mainframeSerial).text(s.module);
    w.text(s.moduleSerial).text(s.software).text(s.other);
    return w.b;
}

QByteArray fixedBody(const FixedParameters &f, int version)
{
    const bool v2 = version == 2;
    Bytes w;
    w.u32(f.dateTime).fixed(f.units.toLatin1(), 2).u16(f.wavelength).i32(f.acquisitionOffset);
    if (v2)
        w.i32(f.acquisitionOffsetDistance.value_or(0));
    w.i16(qint16(f.pulseWidthsNs.size()));
    for (int width : f.pulseWidthsNs)
        w.i16(qint16(width));
    for (int i = 0; i < f.pulseWidthsNs.size(); ++i)
        w.i32(f.dataSpacing.value(i));
    for (int i = 0; i < f.pulseWidthsNs.size(); ++i)
        w.i32(f.pointsPerPulse.value(i));
    w.i32(f.groupIndex).i16(f.backscatter).i32(f.averages);
    if (v2)
        w.u16(f.averagingTime.value_or(0));
    w.i32(f.acquisitionRange);
    if (v2)
        w.i32(f.acquisitionRangeDistance.value_or(0));
    w.i32(f.frontPanelOffset).u16(f.noiseFloor).i16(f.noiseFloorScale).u16(f.powerOffset);
    w.u16(f.lossThreshold).u16(f.reflectanceThreshold).u16(f.endOfFiberThreshold);
    if (v2) {
        w.fixed(f.traceType.value_or(QString()).toLatin1(), 2);
        for (int i = 0; i < 4; ++i)
            w.i32(0);
    }
    return w.b;
}

QByteArray
eventsBody(const QList<EventRecord> &events, qint32 endToEndLoss, quint16 orl, int version)
{
    Bytes w;
    w.i16(qint16(events.size()));
    for (const EventRecord &e : events) {
        w.i16(e.number).i32(e.time).i16(e.attenuation).i16(e.loss).i32(e.reflectance);
        w.fixed(e.code, 6).fixed(e.technique, 2);
        if (version == 2) {
            for (int i = 0; i < 5; ++i)
                w.i32(0);
        }
        w.text(e.comment);
    }
    w.i32(endToEndLoss).i32(0).i32(0).u16(orl).i32(0).i32(0);
    return w.b;
}

QByteArray dataBody(const QList<ScaleGroup> &groups, qint32 declaredPoints)
{
    qint32 total = 0;
    int bytes = 6;
    for (const ScaleGroup &g : groups) {
        total += g.values.size();
        bytes += 6 + 2 * g.values.size();
    }
    Bytes w;
    w.b.reserve(bytes);
    w.i32(declaredPoints >= 0 ? declaredPoints : total).i16(qint16(groups.size()));
    for (const ScaleGroup &g : groups) {
        w.i32(g.values.size()).i16(g.factor);
        for (quint16 v : g.values)
            w.u16(v);
    }
    return w.b;
}

QByteArray named(const QByteArray &name, const QByteArray &body, int version)
{
    return version == 2 && !body.isEmpty() ? name + '\0' + body : body;
}

QByteArray
assemble(const QList<RawBlock> &blocks, int version, const QByteArray &trailing, int mapRevision)
{
    const bool v2 = version == 2;
    int mapSize = (v2 ? 4 : 0) + 2 + 4 + 2;
    qint64 total = 0;
    for (const RawBlock &block : blocks) {
        mapSize += block.name.size() + 1 + 2 + 4;
        total += block.bytes.size();
    }
    Bytes map;
    if (v2)
        map.b.append("Map", 4);
    map.u16(quint16(mapRevision >= 0 ? mapRevision : (v2 ? 200 : 100)));
    map.i32(mapSize).i16(qint16(blocks.size() + 1));
    for (const RawBlock &block : blocks)
        map.text(block.name).u16(block.revision).i32(block.bytes.size());
    QByteArray file;
    file.reserve(int(mapSize + total + trailing.size()));
    file += map.b;
    for (const RawBlock &block : blocks)
        file += block.bytes;
    file += trailing;
    return file;
}

void storeChecksum(QByteArray &file, qint64 valueAt, quint16 value)
{
    file[int(valueAt)] = char(value & 0xFF);
    file[int(valueAt + 1)] = char(value >> 8);
}

} // namespace Layout
} // namespace Sor
