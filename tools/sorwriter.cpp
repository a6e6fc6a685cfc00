#include "sorwriter.h"

#include <QtGlobal>

#include <cmath>

namespace SorWriter {

namespace {

constexpr double LightSpeed = 299792458.0;

class Bytes
{
public:
    Bytes &u16(quint16 v)
    {
        b.append(char(v & 0xFF)).append(char(v >> 8));
        return *this;
    }
    Bytes &i16(qint16 v) { return u16(quint16(v)); }
    Bytes &u32(quint32 v)
    {
        for (int shift = 0; shift < 32; shift += 8)
            b.append(char((v >> shift) & 0xFF));
        return *this;
    }
    Bytes &i32(qint32 v) { return u32(quint32(v)); }
    Bytes &text(const QByteArray &s)
    {
        b.append(s).append('\0');
        return *this;
    }
    Bytes &fixed(const QByteArray &s, int n)
    {
        b.append(s.left(n).leftJustified(n, '\0'));
        return *this;
    }

    QByteArray b;
};

QByteArray general(const Trace &t)
{
    const bool v2 = t.version == 2;
    Bytes w;
    w.fixed(t.language, 2).text(t.cableId).text(t.fiberId);
    if (v2)
        w.i16(t.fiberType);
    w.i16(t.nominalWavelength).text(t.locationA).text(t.locationB).text(t.cableCode);
    w.fixed(t.buildCondition, 2).i32(0);
    if (v2)
        w.i32(0);
    w.text(t.operatorName).text(t.comment);
    return w.b;
}

QByteArray supplier(const Trace &t)
{
    Bytes w;
    w.text(t.supplier).text(t.mainframe).text(t.mainframeSerial).text(t.module);
    w.text(t.moduleSerial).text(t.software).text(t.other);
    return w.b;
}

QByteArray fixed(const Trace &t)
{
    const bool v2 = t.version == 2;
    Bytes w;
    w.u32(t.dateTime).fixed(t.units, 2).u16(t.wavelength).i32(0);
    if (v2)
        w.i32(0);
    w.i16(qint16(t.pulses.size()));
    for (const Pulse &p : t.pulses)
        w.i16(p.widthNs);
    for (const Pulse &p : t.pulses)
        w.i32(p.spacing);
    for (const Pulse &p : t.pulses)
        w.i32(p.points);
    w.i32(t.groupIndex).i16(t.backscatter).i32(t.averages);
    if (v2)
        w.u16(t.averagingTime);
    const Pulse first = t.pulses.value(0);
    w.i32(qint32(qint64(first.spacing) * first.points / 10000));
    if (v2)
        w.i32(0);
    w.i32(0).u16(27000).i16(1000).u16(0).u16(200).u16(65000).u16(3000);
    if (v2) {
        w.fixed("ST", 2);
        for (int i = 0; i < 4; ++i)
            w.i32(0);
    }
    return w.b;
}

QByteArray events(const Trace &t)
{
    Bytes w;
    w.i16(qint16(t.events.size()));
    for (const Event &e : t.events) {
        w.i16(e.number).i32(e.time).i16(e.attenuation).i16(e.loss).i32(e.reflectance);
        w.fixed(e.code, 6).fixed(e.technique, 2);
        if (t.version == 2) {
            for (int i = 0; i < 5; ++i)
                w.i32(0);
        }
        w.text(e.comment);
    }
    w.i32(t.endToEndLoss).i32(0).i32(0).u16(t.orl).i32(0).i32(0);
    return w.b;
}

QByteArray dataPoints(const Trace &t)
{
    qint32 total = 0;
    for (const Scale &s : t.data)
        total += s.values.size();
    Bytes w;
    w.i32(t.declaredPoints >= 0 ? t.declaredPoints : total).i16(qint16(t.data.size()));
    for (const Scale &s : t.data) {
        w.i32(s.values.size()).i16(s.factor);
        for (quint16 v : s.values)
            w.u16(v);
    }
    return w.b;
}

} // namespace

quint16 crc16(const QByteArray &bytes, quint16 crc)
{
    for (const char byte : bytes) {
        crc ^= quint16(quint8(byte)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

qint32 spacingFor(double metres, qint32 groupIndex)
{
    return qint32(std::lround(metres * (groupIndex / 100000.0) / LightSpeed * 1e14));
}

qint32 timeFor(double metres, qint32 groupIndex)
{
    return qint32(std::lround(metres * (groupIndex / 100000.0) / LightSpeed * 1e10));
}

QByteArray write(const Trace &t)
{
    const bool v2 = t.version == 2;
    QList<QPair<QByteArray, QByteArray>> blocks{
        {"GenParams", general(t)}, {"SupParams", supplier(t)}, {"FxdParams", fixed(t)}};
    if (t.withEvents)
        blocks.append({"KeyEvents", events(t)});
    blocks.append({"DataPts", dataPoints(t)});
    QList<quint16> revisions;
    for (int i = 0; i < blocks.size(); ++i)
        revisions.append(v2 ? 200 : 100);
    for (const Block &extra : t.extraBlocks) {
        blocks.append({extra.name, extra.body});
        revisions.append(extra.revision);
    }
    blocks.append({"Cksum", QByteArray(2, '\0')});
    revisions.append(v2 ? 200 : 100);

    // In version 2 every block but an empty one starts with its own name.
    QList<QByteArray> bodies;
    for (const auto &block : blocks) {
        bodies.append(v2 && !block.second.isEmpty() ? block.first + '\0' + block.second
                                                    : block.second);
    }
    int mapSize = (v2 ? 4 : 0) + 2 + 4 + 2;
    for (const auto &block : blocks)
        mapSize += block.first.size() + 1 + 2 + 4;
    Bytes map;
    if (v2)
        map.b.append("Map", 4);
    map.u16(v2 ? 200 : 100).i32(mapSize).i16(qint16(blocks.size() + 1));
    for (int i = 0; i < blocks.size(); ++i)
        map.text(blocks.at(i).first).u16(revisions.at(i)).i32(bodies.at(i).size());

    QByteArray file = map.b;
    for (const QByteArray &body : bodies)
        file += body;
    const int valueAt = file.size() - 2;
    file += t.trailing;
    quint16 sum = 0;
    switch (t.checksum) {
    case Checksum::Zero:
        break;
    case Checksum::CcittFalseWhole:
        sum = crc16(file, 0xFFFF); // the value's own bytes are still zero
        break;
    case Checksum::CcittFalseBefore:
        sum = crc16(file.left(valueAt), 0xFFFF);
        break;
    case Checksum::XmodemBefore:
        sum = crc16(file.left(valueAt), 0x0000);
        break;
    case Checksum::Wrong:
        sum = quint16(crc16(file.left(valueAt), 0xFFFF) ^ 0x5A5A);
        break;
    }
    file[valueAt] = char(sum & 0xFF);
    file[valueAt + 1] = char(sum >> 8);
    return file;
}

QVector<quint16> tracePoints(const Fibre &fibre, int count, double spacingM, quint32 seed)
{
    QVector<quint16> points;
    points.reserve(count);
    auto noise = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (double((seed >> 8) & 0xFFFF) / 65535.0) - 0.5;
    };
    for (int i = 0; i < count; ++i) {
        const double km = i * spacingM / 1000.0;
        double loss;
        if (km < 0.05) { // launch reflection and dead zone
            loss = 1.0 - 6.0 * std::exp(-km / 0.01);
        } else if (km <= fibre.lengthKm) {
            loss = 1.5 + fibre.attenuation * km;
            for (const Fibre::Feature &f : fibre.features) {
                if (km > f.km)
                    loss += f.lossDb;
                const double distanceM = (km - f.km) * 1000.0;
                if (f.reflectionDb > 0 && distanceM >= 0 && distanceM < 40.0)
                    loss -= f.reflectionDb * std::exp(-distanceM / 8.0);
            }
            loss += noise() * (0.01 + 0.004 * km);
        } else { // end of the fibre: a last reflection, then the noise floor
            const double pastM = (km - fibre.lengthKm) * 1000.0;
            double end = 1.5 + fibre.attenuation * fibre.lengthKm;
            for (const Fibre::Feature &f : fibre.features)
                end += f.lossDb;
            loss = pastM < 40.0 ? end - 14.0 * std::exp(-pastM / 8.0) + pastM * 0.5
                                : 27.0 + noise() * 1.5;
        }
        points.append(quint16(qBound(0.0, loss * 1000.0, 65534.0)));
    }
    return points;
}

Trace fibreTrace(const Fibre &fibre, double spacingM, int points, quint16 wavelengthNm)
{
    Trace t;
    t.wavelength = quint16(wavelengthNm * 10);
    t.nominalWavelength = qint16(wavelengthNm);
    t.pulses = {{100, spacingFor(spacingM, t.groupIndex), points}};
    qint16 number = 1;
    double before = 0;
    for (const Fibre::Feature &f : fibre.features) {
        Event e;
        e.number = number++;
        e.time = timeFor(f.km * 1000.0, t.groupIndex);
        e.loss = qint16(std::lround(f.lossDb * 1000));
        e.attenuation = qint16(std::lround(fibre.attenuation * 1000));
        e.reflectance
            = f.reflectionDb > 0 ? qint32(-40000 - std::lround(f.reflectionDb * 1000)) : 0;
        e.code = f.reflectionDb > 0 ? "1F9999" : "0F9999";
        t.events.append(e);
        before += f.lossDb;
    }
    Event end;
    end.number = number;
    end.time = timeFor(fibre.lengthKm * 1000.0, t.groupIndex);
    end.reflectance = -14000;
    end.code = "1E9999";
    t.events.append(end);
    t.endToEndLoss = qint32(std::lround((fibre.attenuation * fibre.lengthKm + before) * 1000));
    t.orl = 32000;
    t.data = {{1000, tracePoints(fibre, points, spacingM, 12345u + wavelengthNm)}};
    return t;
}

QList<Case> readerCases()
{
    const Fibre fibre{2.0, 0.3, {{0.6, 0.1, 0}, {1.2, 0.4, 3.0}}};
    const Trace base = fibreTrace(fibre, 1.0, 2400, 1310);
    QList<Case> cases;
    auto add = [&](const QString &name,
                   Trace t,
                   const QString &state,
                   const QString &method,
                   const QString &warning = QString()) {
        cases.append({name, t, state, method, warning});
    };

    Trace t = base;
    t.supplier = "Viavi Solutions";
    t.checksum = Checksum::CcittFalseWhole;
    add("whole file, CCITT-FALSE", t, "valid", "ccitt-false-whole");
    t = base;
    t.supplier = "Anritsu";
    t.checksum = Checksum::XmodemBefore;
    add("before the value, XMODEM", t, "valid", "xmodem-before");
    t = base;
    t.supplier = "Noyes";
    add("before the value, CCITT-FALSE", t, "valid", "ccitt-false-before");
    t = base;
    t.supplier = "Hewlett Packard";
    t.checksum = Checksum::Wrong;
    add("known maker, checksum wrong", t, "mismatch", QString());
    t = base;
    t.checksum = Checksum::Zero;
    add("stored zero", t, "not-provided", QString());
    t = base;
    t.supplier = "EXFO";
    t.checksum = Checksum::Wrong;
    add("maker whose method is unknown", t, "cannot-verify", QString());
    // Re-saved by another maker's software: its block says who wrote last.
    t = base;
    t.supplier = "Noyes";
    t.checksum = Checksum::Wrong;
    t.extraBlocks = {{"ExfoNewProprietaryBlock", 1, QByteArray(40, '\x11')}};
    add("re-saved by another maker", t, "cannot-verify", QString());
    t = base;
    t.version = 1;
    t.supplier = "Anritsu";
    t.checksum = Checksum::XmodemBefore;
    add("version 1", t, "valid", "xmodem-before");
    t = base;
    t.data = {{1000, base.data.first().values.mid(0, 1200)},
              {2000, base.data.first().values.mid(1200)}};
    add("two scale factors", t, "valid", "ccitt-false-before");
    t = base;
    t.pulses
        = {{30, spacingFor(0.5, t.groupIndex), 1000}, {300, spacingFor(2.0, t.groupIndex), 1400}};
    add("two pulse widths", t, "valid", "ccitt-false-before");
    t = base;
    t.extraBlocks = {{"LnkParams", 200, QByteArray()}, {"MakerTraceCopy", 200, dataPoints(base)}};
    add("empty LnkParams and a maker's block", t, "valid", "ccitt-false-before");
    t = base;
    t.trailing = QByteArray(103, '\x7F');
    add("bytes after the last block", t, "valid", "ccitt-false-before", "103 bytes depois");
    t = base;
    t.comment = "Ca\xE7\xE3o"; // Latin-1
    add("a string that is not UTF-8", t, "valid", "ccitt-false-before", "não é UTF-8");
    t = base;
    t.language = QByteArray(2, '\0');
    add("zero bytes in the language", t, "valid", "ccitt-false-before", "bytes nulos");
    t = base;
    t.pulses.first().points = 2300;
    add("FxdParams and DataPts disagree",
        t,
        "valid",
        "ccitt-false-before",
        "FxdParams declara 2300");
    t = base;
    t.wavelength = 1310;
    add("wavelength in nm", t, "valid", "ccitt-false-before", "em nm");
    t = base;
    for (int i = 0; i < t.events.size(); ++i)
        t.events[i].number = qint16(2 + 2 * i);
    t.endToEndLoss = 0;
    t.orl = 0;
    add("odd event numbers, ORL and loss 0", t, "valid", "ccitt-false-before");
    t = base;
    t.data.first().values[100] = 65535;
    t.data.first().values[101] = 63999;
    add("no-data values", t, "valid", "ccitt-false-before");
    t = base;
    t.groupIndex = 0;
    add("group index 0", t, "valid", "ccitt-false-before", "índice de grupo");
    t = base;
    t.withEvents = false;
    add("no KeyEvents block", t, "valid", "ccitt-false-before");
    // Event tables that hold values no measurement gives: "none" as the lowest 32-bit value
    // on non-reflective events, and a reflectance above 0 dB.
    t = base;
    for (Event &e : t.events) {
        if (!e.code.startsWith('1'))
            e.reflectance = NoReflectance;
    }
    add("reflectance stored as none", t, "valid", "ccitt-false-before");
    t = base;
    for (Event &e : t.events) {
        if (e.code.startsWith('1') && !e.code.startsWith("1E"))
            e.reflectance = 40000;
    }
    add("positive reflectance", t, "valid", "ccitt-false-before", "reflectância positiva");
    return cases;
}

Case readerCase(const QString &name)
{
    const QList<Case> cases = readerCases();
    for (const Case &c : cases) {
        if (c.name == name)
            return c;
    }
    qFatal("SorWriter: no reader case named \"%s\"", qPrintable(name));
}

QList<Case> sampleTraces()
{
    const QList<Fibre::Feature> route1{{2.1, 0.05, 0}, {5.4, 0.35, 3.0}, {9.8, 0.08, 0}};
    const QList<Fibre::Feature> route2{
        {4.0, 0.06, 0}, {12.5, 0.04, 0}, {20.2, 0.45, 2.5}, {31.7, 0.1, 0}};
    const QList<Fibre::Feature> centre{
        {8.0, 0.05, 0}, {16.3, 0.3, 4.0}, {27.9, 0.07, 0}, {39.0, 0.12, 0}};
    struct Sample
    {
        const char *file;
        const char *cable;
        const char *fiber;
        const char *to;
        quint16 nm;
        double attenuation;
        double km;
        double spacingM;
        qint16 pulseNs;
        QList<Fibre::Feature> features;
    };
    const QList<Sample> samples{
        {"ROTA01_1310.sor", "ROTA01", "F01", "POSTE-118", 1310, 0.33, 12.0, 2.0, 100, route1},
        {"ROTA01_1550.sor", "ROTA01", "F01", "POSTE-118", 1550, 0.19, 12.0, 2.0, 100, route1},
        {"ROTA02_1310.sor", "ROTA02", "F07", "CAIXA-22", 1310, 0.34, 38.0, 4.0, 300, route2},
        {"ROTA02_1550.sor", "ROTA02", "F07", "CAIXA-22", 1550, 0.20, 38.0, 4.0, 300, route2},
        {"ENLACE-CENTRO_1550.sor",
         "ENLACE",
         "F12",
         "BAIRRO-NORTE",
         1550,
         0.21,
         45.0,
         2.0,
         1000,
         centre},
    };
    QList<Case> traces;
    for (const Sample &s : samples) {
        const Fibre fibre{s.km, s.attenuation, s.features};
        const int count = int(std::ceil((s.km * 1000.0 * 1.1 + 500.0) / s.spacingM));
        Trace t = fibreTrace(fibre, s.spacingM, count, s.nm);
        t.cableId = s.cable;
        t.fiberId = s.fiber;
        t.locationB = s.to;
        t.cableCode = QByteArray("CB-") + s.cable;
        t.pulses.first().widthNs = s.pulseNs;
        traces.append({QString::fromLatin1(s.file), t, "valid", "ccitt-false-before", QString()});
    }
    return traces;
}

} // namespace SorWriter
