#include "sor/readerimpl.h"
#include "sor/sorlayout.h"
#include "sor/sortext.h"

#include <limits>

namespace Sor {
namespace Internal {

namespace {
// Values that mean "no data" (or clipped) rather than a level.
constexpr quint16 NoData = 65535;
constexpr quint16 NoDataOneMaker = 63999;
// One maker's reflectance for events that have none (-2,147,483.647 dB).
constexpr qint32 NoReflectance = -2147483647;
} // namespace

void Reader::readGeneral(Cursor &c)
{
    const QByteArray body
        = QByteArray::fromRawData(reinterpret_cast<const char *>(c.position()), int(c.left()));
    const std::optional<Layout::General> raw = Layout::parseGeneral(body, t.version);
    if (!raw) {
        c.skip(c.left() + 1); // the block ends before its fields
        return;
    }
    c.skip(c.left());
    GeneralParameters g;
    g.language = fixedText(raw->language, "idioma");
    g.cableId = decode(raw->cableId, "cabo");
    g.fiberId = decode(raw->fiberId, "fibra");
    if (t.version == 2)
        g.fiberType = raw->fiberType;
    g.nominalWavelengthNm = raw->nominalWavelength;
    g.locationA = decode(raw->locationA, "local A");
    g.locationB = decode(raw->locationB, "local B");
    g.cableCode = decode(raw->cableCode, "código do cabo");
    g.buildCondition = fixedText(raw->buildCondition, "condição");
    g.userOffset = raw->userOffset;
    if (t.version == 2)
        g.userOffsetDistance = raw->userOffsetDistance;
    g.operatorName = decode(raw->operatorName, "operador");
    g.comment = decode(raw->comment, "comentário");
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
        const qint32 reflectance = c.i32();
        if (reflectance > NoReflectance)
            e.reflectanceDb = reflectance / 1000.0;
        e.code = fixedText(c, 6, "código do evento");
        e.technique = fixedText(c, 2, "técnica");
        if (t.version == 2)
            c.skip(5 * 4); // marker locations
        e.comment = text(c, "comentário do evento");
        if (e.reflectanceDb && *e.reflectanceDb > 0 && c.ok()) {
            t.warnings.append(QStringLiteral("o evento %1 grava refletância positiva (%2 dB), "
                                             "que nenhuma reflexão tem: não é uma medida")
                                  .arg(e.number)
                                  .arg(decimal(*e.reflectanceDb, 3)));
        }
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

// Each point's level in hundredths of a dB, from its stored value (thousandths of a dB times
// the factor, over a thousand), rounded half away from zero; -1 for "no data".
void Reader::digest(const uchar *p, qint32 count, int factor)
{
    quint64 key = t.pointsDigest;
    for (qint32 i = 0; i < count; ++i, p += 2) {
        const quint16 v = quint16(p[0] | (p[1] << 8));
        const qint64 raw = qint64(v) * factor; // a level of -raw / 1e6 dB
        const qint64 hundredths = v == NoData || v == NoDataOneMaker ? -1
                                  : raw >= 0                         ? -((raw + 5000) / 10000)
                                                                     : (-raw + 5000) / 10000;
        key = (key ^ quint64(hundredths)) * 1099511628211ull;
    }
    t.pointsDigest = key;
}

void Reader::readData(Cursor &c)
{
    const qint32 declared = c.i32();
    const int groups = c.i16();
    if (!c.ok())
        return;
    t.declaredPoints = declared;
    if (detail == Detail::Check)
        t.pointsDigest = 1469598103934665603ull;
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
            digest(c.position(), count, factor);
            c.skip(qint64(count) * 2);
            continue;
        }
        const uchar *p = c.position();
        const double scale = -factor / 1000000.0;
        // Appended, not resized and overwritten: a trace's points are most of what is read.
        t.levelDb.reserve(t.levelDb.size() + size_t(count));
        for (qint32 i = 0; i < count; ++i, p += 2) {
            const quint16 v = quint16(p[0] | (p[1] << 8));
            t.levelDb.push_back(v == NoData || v == NoDataOneMaker
                                    ? std::numeric_limits<double>::quiet_NaN()
                                    : v * scale);
        }
        c.skip(qint64(count) * 2);
    }
    if (detail == Detail::Check)
        t.pointsDigest ^= quint64(pointCount);
    if (pointCount != declared) {
        t.warnings.append(
            QStringLiteral("DataPts declara %1 pontos e traz %2").arg(declared).arg(pointCount));
    }
}

} // namespace Internal
} // namespace Sor
