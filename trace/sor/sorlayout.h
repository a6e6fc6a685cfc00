#pragma once

#include "sor/sortrace.h"

#include <QByteArray>
#include <QList>
#include <QVector>

#include <optional>

// How SOR blocks are laid out in bytes, for writing them: the one place that knows it, used by
// the editor that writes a read file back and by the project's generator of sample traces.
// Text fields are bytes as they stand in the file, so that an odd string is written back as it
// came.
namespace Sor {
namespace Layout {

// Little-endian fields, appended.
class Bytes
{
public:
    Bytes &u16(quint16 v);
    Bytes &i16(qint16 v) { return u16(quint16(v)); }
    Bytes &u32(quint32 v);
    Bytes &i32(qint32 v) { return u32(quint32(v)); }
    Bytes &text(const QByteArray &s); // with its terminating zero
    Bytes &fixed(const QByteArray &s, int n);

    QByteArray b;
};

struct General
{
    QByteArray language = "EN";
    QByteArray cableId;
    QByteArray fiberId;
    qint16 fiberType = 652; // version 2 only
    qint16 nominalWavelength = 0;
    QByteArray locationA;
    QByteArray locationB;
    QByteArray cableCode;
    QByteArray buildCondition = "BC";
    qint32 userOffset = 0;
    qint32 userOffsetDistance = 0; // version 2 only
    QByteArray operatorName;
    QByteArray comment;
    QByteArray rest; // bytes after the comment, kept as found
};

// A block's body (after its name, in version 2) read into its fields; nothing when it ends
// before them.
std::optional<General> parseGeneral(const QByteArray &body, int version);
QByteArray generalBody(const General &g, int version);

struct Supplier
{
    QByteArray supplier, mainframe, mainframeSerial, module, moduleSerial, software, other;
};
QByteArray supplierBody(const Supplier &s);

// The fixed parameters as the reader gives them; the four window coordinates of version 2 are
// written as zeros.
QByteArray fixedBody(const FixedParameters &f, int version);

struct EventRecord
{
    qint16 number = 1;
    qint32 time = 0;        // one way, 100 ps units
    qint16 attenuation = 0; // dB/km x 1000
    qint16 loss = 0;        // dB x 1000
    qint32 reflectance = 0; // dB x 1000
    QByteArray code = "0F9999";
    QByteArray technique = "LS";
    QByteArray comment;
};
QByteArray
eventsBody(const QList<EventRecord> &events, qint32 endToEndLoss, quint16 orl, int version);

struct ScaleGroup
{
    qint16 factor = 1000;
    QVector<quint16> values;
};
// declaredPoints < 0: the sum of the groups.
QByteArray dataBody(const QList<ScaleGroup> &groups, qint32 declaredPoints);

// A block as it stands in the file: in version 2 its bytes start with its name.
struct RawBlock
{
    QByteArray name;
    quint16 revision = 200;
    QByteArray bytes;
};
// A body with its name in front, as version 2 writes every block but an empty one.
QByteArray named(const QByteArray &name, const QByteArray &body, int version);
// The map, then the blocks in order, then any trailing bytes. mapRevision < 0: 100 or 200.
QByteArray assemble(const QList<RawBlock> &blocks,
                    int version,
                    const QByteArray &trailing = QByteArray(),
                    int mapRevision = -1);

// The file with a checksum stored in its two checksum bytes.
void storeChecksum(QByteArray &file, qint64 valueAt, quint16 value);

} // namespace Layout
} // namespace Sor
