#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cmath>
#include <optional>
#include <vector>

// What a SOR trace file holds, as read: every field a file can leave out is optional, so that
// "not given" stays apart from 0. Messages are in Portuguese, for the people who read them.
namespace Sor {

enum class ChecksumMethod { None, CcittFalseWhole, CcittFalseBefore, XmodemBefore };
enum class ChecksumState { Valid, NotProvided, CannotVerify, Mismatch };

struct Checksum
{
    ChecksumState state = ChecksumState::NotProvided;
    ChecksumMethod method = ChecksumMethod::None; // the one that matched, when valid
    std::optional<quint16> stored;                // absent when the file has no Cksum block
};

struct BlockInfo
{
    QString name;
    int revision = 0;
    qint64 offset = 0;
    qint64 size = 0;
};

// A block this reader does not decode (a maker's own, LnkParams, ...), kept as it came.
struct OtherBlock
{
    QString name;
    int revision = 0;
    QByteArray bytes;
};

struct GeneralParameters
{
    QString language;
    QString cableId;
    QString fiberId;
    std::optional<int> fiberType; // version 2 only
    int nominalWavelengthNm = 0;
    QString locationA;
    QString locationB;
    QString cableCode;
    QString buildCondition;
    qint32 userOffset = 0;
    std::optional<qint32> userOffsetDistance; // version 2 only
    QString operatorName;
    QString comment;
};

struct SupplierParameters
{
    QString supplier;
    QString mainframe;
    QString mainframeSerial;
    QString module;
    QString moduleSerial;
    QString softwareRevision;
    QString other;
};

struct FixedParameters
{
    quint32 dateTime = 0; // seconds since 1970, UTC
    QString units;
    quint16 wavelength = 0; // as stored: 0.1 nm, or nm for one maker
    qint32 acquisitionOffset = 0;
    std::optional<qint32> acquisitionOffsetDistance;
    QVector<int> pulseWidthsNs;
    QVector<qint32> dataSpacing; // time for 10,000 points, 100 ps units, one per pulse width
    QVector<qint32> pointsPerPulse;
    qint32 groupIndex = 0; // x 100,000
    qint16 backscatter = 0;
    qint32 averages = 0;
    std::optional<quint16> averagingTime; // 0.1 s
    qint32 acquisitionRange = 0;
    std::optional<qint32> acquisitionRangeDistance;
    qint32 frontPanelOffset = 0;
    quint16 noiseFloor = 0;
    qint16 noiseFloorScale = 0;
    quint16 powerOffset = 0;
    quint16 lossThreshold = 0;
    quint16 reflectanceThreshold = 0;
    quint16 endOfFiberThreshold = 0;
    std::optional<QString> traceType;
};

struct Event
{
    int number = 0;
    qint32 time = 0; // one way, 100 ps units
    double distanceM = 0;
    double attenuationDbPerKm = 0;
    double lossDb = 0;
    // Absent where the file stores its "none" value. A positive value is kept as stored, but
    // no reflection exceeds 0 dB: it is not a measurement (the file's warnings say so), nor is
    // exactly 0, which files store for "not given".
    std::optional<double> reflectanceDb;
    QString code; // type digit, mode letter, ...
    QString technique;
    QString comment;
    bool reflective() const { return code.startsWith(QLatin1Char('1')); }
    // How the event came to be: 'F' found, 'M' moved, 'A' added by the user, 'E' the end,
    // 'O' a marker past the measured range; none where the code is too short.
    QChar mode() const { return code.size() > 1 ? code.at(1) : QChar(); }
    bool outOfRange() const { return mode() == QLatin1Char('O'); }
    // A marker the user added that stores no measurement: a loss of 0 and no reflectance.
    bool valuelessMarker() const
    {
        return mode() == QLatin1Char('A') && lossDb == 0 && !measuredReflectanceDb();
    }
    std::optional<double> measuredReflectanceDb() const
    {
        return reflectanceDb && *reflectanceDb < 0 ? reflectanceDb : std::nullopt;
    }
};

struct KeyEvents
{
    QVector<Event> events;
    std::optional<double> endToEndLossDb;
    std::optional<double> opticalReturnLossDb;
};

// The three fields that move a file's points and its event table apart, as stored (100 ps of
// one-way time) and as distances, and the one axis they give: every distance the reader returns
// (points and events) is measured from the span's start, where the instrument's own event table
// measures from; the launch cable then lies before 0.
struct Offsets
{
    qint32 frontPanel = 0;  // FxdParams
    qint32 acquisition = 0; // FxdParams; may be negative
    qint32 user = 0;        // GenParams: the span's start, usually a launch cable's end
    double frontPanelM = 0;
    double acquisitionM = 0;
    double userM = 0;
    // Where the span starts, measured from the first point along the points' own axis: the
    // front panel (its offset, else the acquisition's start before it) plus the user offset.
    double spanStartM = 0;
    // False when moving the points by spanStartM would put the file's own events off the trace:
    // then nothing moves, and a warning says why.
    bool applied = false;
};

struct Trace
{
    int version = 0; // 1 or 2; 0 when the file is not a trace
    QVector<BlockInfo> blocks;
    std::optional<GeneralParameters> general;
    std::optional<SupplierParameters> supplier;
    std::optional<FixedParameters> fixed;
    std::optional<KeyEvents> keyEvents;
    QVector<OtherBlock> otherBlocks;
    Checksum checksum;

    // DataPts: the trace, one entry per point; a "no data" point has a NaN level.
    std::optional<qint32> declaredPoints;
    QVector<int> scaleFactors;
    std::vector<double> distanceM;
    std::vector<double> levelDb;
    // The points' levels to the hundredth of a dB ("no data" apart), hashed: copies of one
    // trace share it. Taken where the points are counted, not converted (a check).
    quint64 pointsDigest = 0;

    // Derived values, present when the blocks they come from are.
    std::optional<double> wavelengthNm;
    std::optional<double> spacingM;
    std::optional<double> groupIndex;
    std::optional<double> rangeM;   // the length the points cover, from the first to the last
    std::optional<Offsets> offsets; // with FxdParams
    std::optional<QDateTime> date;

    QStringList warnings;
    QStringList errors; // structural: the file cannot be what it claims to be

    int points() const { return int(levelDb.size()); }
    bool damaged() const { return !errors.isEmpty() || checksum.state == ChecksumState::Mismatch; }
};

// Light in vacuum, m/s: with the group index, it turns a file's times into distances.
constexpr double LightSpeed = 299792458.0;
// The group index of standard single-mode fibre, taken where a file gives none (or 0).
constexpr double DefaultGroupIndex = 1.468;
// The bands traces are measured in (nm); a wavelength within 30 nm of one is in it.
constexpr int Bands[] = {1310, 1383, 1490, 1550, 1625};
// A wavelength's band, else the wavelength itself, rounded.
inline int bandOf(double wavelengthNm)
{
    for (const int band : Bands) {
        if (std::abs(wavelengthNm - band) <= 30)
            return band;
    }
    return int(std::lround(wavelengthNm));
}

// The length of fibre a pulse fills, one way: the distance over which it smears an event.
inline double pulseLengthM(int pulseNs, double groupIndex)
{
    return LightSpeed * pulseNs * 1e-9 / (2.0 * groupIndex);
}

// The trace's first pulse (ns); 0 where the file names none.
inline int firstPulseNs(const Trace &trace)
{
    return trace.fixed ? trace.fixed->pulseWidthsNs.value(0) : 0;
}

// The length of fibre the trace's first pulse fills, at the trace's own group index.
inline double pulseLengthM(const Trace &trace)
{
    return pulseLengthM(firstPulseNs(trace), trace.groupIndex.value_or(DefaultGroupIndex));
}

// How far an event may lie from the feature it stands for and still be that feature: the
// trace's first pulse's length in the fibre and two samples.
inline double eventToleranceM(const Trace &trace)
{
    return pulseLengthM(trace) + 2 * trace.spacingM.value_or(0);
}

QString methodName(ChecksumMethod method); // "ccitt-false-whole", ...; empty for None
QString stateName(ChecksumState state);    // "valid", "not-provided", ...

} // namespace Sor
