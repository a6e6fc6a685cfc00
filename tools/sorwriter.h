#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

// Writes SOR trace files from a description of what they hold: the project's own sample traces
// and the cases a reader must get right (both versions, every checksum method, the quirks of
// real files), through the reader's own block layouts. Tests read what it writes and compare
// with the description.
namespace SorWriter {

enum class Checksum { Zero, CcittFalseWhole, CcittFalseBefore, XmodemBefore, Wrong };

struct Pulse
{
    qint16 widthNs = 100;
    qint32 spacing = 0; // time for 10,000 points, 100 ps units
    qint32 points = 0;  // as FxdParams states it
};

// What one maker stores as the reflectance of an event that has none.
constexpr qint32 NoReflectance = -2147483647;

struct Event
{
    qint16 number = 1;
    qint32 time = 0;        // one way, 100 ps units
    qint16 attenuation = 0; // dB/km x 1000
    qint16 loss = 0;        // dB x 1000
    qint32 reflectance = 0; // dB x 1000; NoReflectance for "none"
    QByteArray code = "0F9999";
    QByteArray technique = "LS";
    QByteArray comment;
};

struct Scale
{
    qint16 factor = 1000;
    QVector<quint16> values;
};

struct Block
{
    QByteArray name;
    quint16 revision = 200;
    QByteArray body; // after the name, which version 2 writes first
};

struct Trace
{
    int version = 2;
    // SupParams
    QByteArray supplier = "otdr sample generator";
    QByteArray mainframe = "SIM-OTDR";
    QByteArray mainframeSerial = "000001";
    QByteArray module = "SIM-MOD-1310-1550";
    QByteArray moduleSerial = "000001";
    QByteArray software = "1.0";
    QByteArray other = "synthetic trace";
    // GenParams
    QByteArray language = "PT";
    QByteArray cableId = "CABO";
    QByteArray fiberId = "F01";
    qint16 fiberType = 652;
    qint16 nominalWavelength = 1550;
    QByteArray locationA = "CENTRAL";
    QByteArray locationB = "CAIXA";
    QByteArray cableCode = "CB";
    QByteArray buildCondition = "BC";
    qint32 userOffset = 0;         // one way, 100 ps units: the span's start
    qint32 userOffsetDistance = 0; // as one maker stores it, in 0.1 m
    QByteArray operatorName = "Tecnico de campo";
    QByteArray comment = "Traco gerado pelo projeto";
    // FxdParams
    quint32 dateTime = 1795165200; // 2026-11-20 09:00 UTC
    QByteArray units = "mt";
    quint16 wavelength = 15500;   // 0.1 nm
    qint32 acquisitionOffset = 0; // one way, 100 ps units; negative: before the front panel
    qint32 acquisitionOffsetDistance = 0;
    qint32 frontPanelOffset = 0;
    QList<Pulse> pulses;
    qint32 groupIndex = 146800;
    qint16 backscatter = 800; // dB below, for a 1 ns pulse, x 10
    qint32 averages = 4096;
    quint16 averagingTime = 300;
    // The analysis' thresholds the instrument used: loss and end of fibre in 0.001 dB, the
    // reflectance's size in 0.001 dB (65535: none).
    quint16 lossThreshold = 200;
    quint16 reflectanceThreshold = 65000;
    quint16 endOfFiberThreshold = 3000;
    // KeyEvents; no block when there are none and withEvents is false
    bool withEvents = true;
    QList<Event> events;
    qint32 endToEndLoss = 0;
    quint16 orl = 0;
    // DataPts
    QList<Scale> data;
    qint32 declaredPoints = -1; // -1: the sum of the scale groups
    // Maker blocks, written before Cksum; and bytes after the last block
    QList<Block> extraBlocks;
    QByteArray trailing;
    Checksum checksum = Checksum::CcittFalseBefore;
};

QByteArray write(const Trace &trace);

// Time for 10,000 points of the given spacing, in 100 ps units, for a group index x 100,000.
qint32 spacingFor(double metres, qint32 groupIndex);
// One-way time to a distance, in 100 ps units.
qint32 timeFor(double metres, qint32 groupIndex);

// A fibre as the instrument would see it: launch, attenuation, events, end reflection, noise.
struct Fibre
{
    double lengthKm = 10;
    double attenuation = 0.2; // dB/km
    struct Feature
    {
        double km;
        double lossDb;
        double reflectionDb; // 0 for a splice
    };
    QList<Feature> features;
};
// Loss below the launch level, in thousandths of a dB, as DataPts stores it (factor 1000).
QVector<quint16> tracePoints(const Fibre &fibre, int count, double spacingM, quint32 seed);
// A complete trace of that fibre, with its events, one pulse and one scale factor.
Trace fibreTrace(const Fibre &fibre, double spacingM, int points, quint16 wavelengthNm);

struct Case
{
    QString name;
    Trace trace;
    // What a reader must make of it.
    QString state;         // checksum state: valid, not-provided, cannot-verify, mismatch
    QString method;        // the method that matched, when valid
    QString warning;       // part of the one warning expected; empty: none
    double spanStartM = 0; // where the span starts, from the first point: points lie before it
};
// The cases a reader must handle, each written from the description it carries.
QList<Case> readerCases();
// One of them, by name.
Case readerCase(const QString &name);
// The sample traces the simulated instrument serves.
QList<Case> sampleTraces();

} // namespace SorWriter
