#include "sorwriter.h"

#include "tracesim.h"

#include "sor/checksum.h"
#include "sor/sorlayout.h"

#include <QtGlobal>

#include <cmath>

namespace SorWriter {

namespace {

Sor::Layout::General general(const Trace &t)
{
    Sor::Layout::General g;
    g.language = t.language;
    g.cableId = t.cableId;
    g.fiberId = t.fiberId;
    g.fiberType = t.fiberType;
    g.nominalWavelength = t.nominalWavelength;
    g.locationA = t.locationA;
    g.locationB = t.locationB;
    g.cableCode = t.cableCode;
    g.buildCondition = t.buildCondition;
    g.userOffset = t.userOffset;
    g.userOffsetDistance = t.userOffsetDistance;
    g.operatorName = t.operatorName;
    g.comment = t.comment;
    return g;
}

Sor::FixedParameters fixed(const Trace &t)
{
    Sor::FixedParameters f;
    f.dateTime = t.dateTime;
    f.units = QString::fromLatin1(t.units);
    f.wavelength = t.wavelength;
    f.acquisitionOffset = t.acquisitionOffset;
    f.acquisitionOffsetDistance = t.acquisitionOffsetDistance;
    f.frontPanelOffset = t.frontPanelOffset;
    for (const Pulse &p : t.pulses) {
        f.pulseWidthsNs.append(p.widthNs);
        f.dataSpacing.append(p.spacing);
        f.pointsPerPulse.append(p.points);
    }
    f.groupIndex = t.groupIndex;
    f.backscatter = t.backscatter;
    f.averages = t.averages;
    f.averagingTime = t.averagingTime;
    const Pulse first = t.pulses.value(0);
    f.acquisitionRange = qint32(qint64(first.spacing) * first.points / 10000);
    // An instrument's usual settings.
    f.noiseFloor = 27000;
    f.noiseFloorScale = 1000;
    f.lossThreshold = t.lossThreshold;
    f.reflectanceThreshold = t.reflectanceThreshold;
    f.endOfFiberThreshold = t.endOfFiberThreshold;
    f.traceType = QStringLiteral("ST");
    return f;
}

QByteArray events(const Trace &t)
{
    QList<Sor::Layout::EventRecord> records;
    for (const Event &e : t.events)
        records.append({e.number,
                        e.time,
                        e.attenuation,
                        e.loss,
                        e.reflectance,
                        e.code,
                        e.technique,
                        e.comment});
    return Sor::Layout::eventsBody(records, t.endToEndLoss, t.orl, t.version);
}

QByteArray dataPoints(const Trace &t)
{
    QList<Sor::Layout::ScaleGroup> groups;
    for (const Scale &s : t.data)
        groups.append({s.factor, s.values});
    return Sor::Layout::dataBody(groups, t.declaredPoints);
}

} // namespace

qint32 spacingFor(double metres, qint32 groupIndex)
{
    return qint32(std::lround(metres * (groupIndex / 100000.0) / Sor::LightSpeed * 1e14));
}

qint32 timeFor(double metres, qint32 groupIndex)
{
    return qint32(std::lround(metres * (groupIndex / 100000.0) / Sor::LightSpeed * 1e10));
}

QByteArray write(const Trace &t)
{
    using Sor::Layout::named;
    const int v = t.version;
    const quint16 revision = v == 2 ? 200 : 100;
    QList<Sor::Layout::RawBlock> blocks{
        {"GenParams", revision, named("GenParams", Sor::Layout::generalBody(general(t), v), v)},
        {"SupParams",
         revision,
         named("SupParams",
               Sor::Layout::supplierBody({t.supplier,
                                          t.mainframe,
                                          t.mainframeSerial,
                                          t.module,
                                          t.moduleSerial,
                                          t.software,
                                          t.other}),
               v)},
        {"FxdParams", revision, named("FxdParams", Sor::Layout::fixedBody(fixed(t), v), v)}};
    if (t.withEvents)
        blocks.append({"KeyEvents", revision, named("KeyEvents", events(t), v)});
    blocks.append({"DataPts", revision, named("DataPts", dataPoints(t), v)});
    for (const Block &extra : t.extraBlocks)
        blocks.append({extra.name, extra.revision, named(extra.name, extra.body, v)});
    blocks.append({"Cksum", revision, named("Cksum", QByteArray(2, '\0'), v)});
    QByteArray file = Sor::Layout::assemble(blocks, v, t.trailing);
    const qint64 valueAt = file.size() - t.trailing.size() - 2;
    quint16 sum = 0;
    switch (t.checksum) {
    case Checksum::Zero:
        break;
    case Checksum::CcittFalseWhole:
        sum = Sor::checksumOf(file, valueAt, Sor::ChecksumMethod::CcittFalseWhole);
        break;
    case Checksum::CcittFalseBefore:
        sum = Sor::checksumOf(file, valueAt, Sor::ChecksumMethod::CcittFalseBefore);
        break;
    case Checksum::XmodemBefore:
        sum = Sor::checksumOf(file, valueAt, Sor::ChecksumMethod::XmodemBefore);
        break;
    case Checksum::Wrong:
        sum = Sor::checksumOf(file, valueAt, Sor::ChecksumMethod::CcittFalseBefore) ^ 0x5A5A;
        break;
    }
    Sor::Layout::storeChecksum(file, valueAt, sum);
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
    // An instrument stores the last section's attenuation at the end, as at every event.
    end.attenuation = qint16(std::lround(fibre.attenuation * 1000));
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
    add("positive reflectance", t, "valid", "ccitt-false-before", "refletância positiva");
    cases.append(offsetCases());
    // Offsets that contradict the file's own events: the distances stay as stored.
    t = base;
    t.userOffset = timeFor(5000, t.groupIndex);
    add("user offset past the trace", t, "valid", "ccitt-false-before", "cai fora do traço");
    t = base;
    t.frontPanelOffset = timeFor(1500, t.groupIndex);
    add("offsets that move the events off the trace",
        t,
        "valid",
        "ccitt-false-before",
        "poriam fora do traço os eventos 2, 3");
    // Re-saved by software that sums the whole file, under a maker that sums the bytes before
    // the value: valid by the method that matches, which an edit must keep.
    t = base;
    t.supplier = "Anritsu";
    t.checksum = Checksum::CcittFalseWhole;
    add("re-saved with another method than its maker's", t, "valid", "ccitt-false-whole");
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
