// Writes the project's own sample traces: small SOR version 2 files (Map, GenParams,
// SupParams, FxdParams, DataPts and Cksum blocks, little-endian) holding synthetic fibre
// traces at 1310 and 1550 nm. The output is the same on every run.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QTextStream>

#include <cmath>

namespace {

class BlockWriter
{
public:
    void u16(quint16 v) { bytes.append(char(v & 0xFF)).append(char(v >> 8)); }
    void i16(qint16 v) { u16(quint16(v)); }
    void u32(quint32 v)
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.append(char((v >> shift) & 0xFF));
    }
    void i32(qint32 v) { u32(quint32(v)); }
    void text(const QByteArray &s) { bytes.append(s).append('\0'); }
    void fixed(const char (&s)[3]) { bytes.append(s, 2); }

    QByteArray bytes;
};

struct Event
{
    double km;
    double lossDb;
    double reflection; // height of the reflective peak in dB; 0 for a splice
};

struct TraceShape
{
    QString fileName;
    QByteArray cableId;
    QByteArray fiberId;
    QByteArray from;
    QByteArray to;
    quint16 wavelength; // nm
    double attenuation; // dB/km
    double lengthKm;
    double spacingM; // metres between data points
    quint16 pulseNs;
    QList<Event> events;
};

constexpr double GroupIndex = 1.4680;
constexpr double LightSpeed = 299792458.0;
constexpr quint32 TimeStamp = 1795165200; // 2026-11-20 09:00 UTC

quint16 crc16CcittFalse(const QByteArray &data)
{
    quint16 crc = 0xFFFF;
    for (const char byte : data) {
        crc ^= quint16(quint8(byte)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

// Loss below the launch level in thousandths of a dB, as the DataPts block stores it.
QList<quint16> tracePoints(const TraceShape &shape, int count)
{
    QList<quint16> points;
    quint32 seed = 12345u + shape.wavelength + quint32(shape.lengthKm * 10);
    auto noise = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (double((seed >> 8) & 0xFFFF) / 65535.0) - 0.5;
    };
    for (int i = 0; i < count; ++i) {
        const double km = i * shape.spacingM / 1000.0;
        double loss;
        if (km < 0.05) { // launch reflection and dead zone
            loss = 1.0 - 6.0 * std::exp(-km / 0.01);
        } else if (km <= shape.lengthKm) {
            loss = 1.5 + shape.attenuation * km;
            for (const Event &event : shape.events) {
                if (km > event.km)
                    loss += event.lossDb;
                const double distanceM = (km - event.km) * 1000.0;
                if (event.reflection > 0 && distanceM >= 0 && distanceM < 40.0)
                    loss -= event.reflection * std::exp(-distanceM / 8.0);
            }
            loss += noise() * (0.01 + 0.004 * km);
        } else { // end of the fibre: a last reflection, then the noise floor
            const double pastM = (km - shape.lengthKm) * 1000.0;
            const double end = 1.5 + shape.attenuation * shape.lengthKm;
            loss = pastM < 40.0 ? end - 14.0 * std::exp(-pastM / 8.0) + pastM * 0.5
                                : 27.0 + noise() * 1.5;
        }
        points.append(quint16(qBound(0.0, loss * 1000.0, 65535.0)));
    }
    return points;
}

QByteArray genParams(const TraceShape &shape)
{
    BlockWriter w;
    w.text("GenParams");
    w.fixed("PT");
    w.text(shape.cableId);
    w.text(shape.fiberId);
    w.u16(652); // fibre type: G.652
    w.u16(shape.wavelength);
    w.text(shape.from);
    w.text(shape.to);
    w.text("CB-" + shape.cableId);
    w.fixed("BC"); // as built
    w.i32(0);
    w.i32(0);
    w.text("Tecnico de campo");
    w.text("Traco de exemplo gerado pelo projeto");
    return w.bytes;
}

QByteArray supParams()
{
    BlockWriter w;
    w.text("SupParams");
    w.text("otdr sample generator");
    w.text("SIM-OTDR");
    w.text("000001");
    w.text("SIM-MOD-1310-1550");
    w.text("000001");
    w.text("1.0");
    w.text("synthetic trace");
    return w.bytes;
}

QByteArray fxdParams(const TraceShape &shape, quint32 count)
{
    // Time for 10,000 points, in units of 100 ps, for the chosen point spacing.
    const quint32 dataSpacing
        = quint32(std::lround(shape.spacingM * 2.0 * GroupIndex / LightSpeed * 1e14));
    BlockWriter w;
    w.text("FxdParams");
    w.u32(TimeStamp);
    w.fixed("mt");
    w.u16(quint16(shape.wavelength * 10));
    w.i32(0);
    w.i32(0);
    w.u16(1);
    w.u16(shape.pulseNs);
    w.u32(dataSpacing);
    w.u32(count);
    w.u32(quint32(std::lround(GroupIndex * 100000)));
    w.u16(800);  // backscatter coefficient, 0.1 dB
    w.u32(4096); // averages
    w.u16(300);  // averaging time, 0.1 s
    w.u32(quint32(quint64(dataSpacing) * count / 10000));
    w.i32(0);
    w.i32(0);
    w.u16(27000); // noise floor
    w.i16(1000);
    w.u16(0);
    w.u16(200);   // loss threshold
    w.u16(65000); // reflectance threshold
    w.u16(3000);  // end-of-fibre threshold
    w.fixed("ST");
    for (int i = 0; i < 4; ++i)
        w.i32(0);
    return w.bytes;
}

QByteArray dataPts(const QList<quint16> &points)
{
    BlockWriter w;
    w.text("DataPts");
    w.u32(quint32(points.size()));
    w.u16(1);
    w.u32(quint32(points.size()));
    w.u16(1000);
    for (quint16 point : points)
        w.u16(point);
    return w.bytes;
}

QByteArray sorFile(const TraceShape &shape)
{
    const int count = int(std::ceil((shape.lengthKm * 1000.0 * 1.1 + 500.0) / shape.spacingM));
    const QList<QByteArray> blocks{genParams(shape),
                                   supParams(),
                                   fxdParams(shape, quint32(count)),
                                   dataPts(tracePoints(shape, count))};
    const QList<QByteArray> names{"GenParams", "SupParams", "FxdParams", "DataPts", "Cksum"};
    constexpr int CksumSize = 6 + 2;

    BlockWriter map;
    map.text("Map");
    map.u16(200);
    int mapSize = 4 + 2 + 4 + 2;
    for (const QByteArray &name : names)
        mapSize += name.size() + 1 + 2 + 4;
    map.u32(quint32(mapSize));
    map.u16(quint16(names.size() + 1));
    for (int i = 0; i < names.size(); ++i) {
        map.text(names.at(i));
        map.u16(200);
        map.u32(quint32(i < blocks.size() ? blocks.at(i).size() : CksumSize));
    }

    QByteArray file = map.bytes;
    for (const QByteArray &block : blocks)
        file += block;
    file += QByteArray("Cksum", 6);
    const quint16 crc = crc16CcittFalse(file);
    file.append(char(crc & 0xFF)).append(char(crc >> 8));
    return file;
}

QList<TraceShape> samples()
{
    const QList<Event> route1{{2.1, 0.05, 0}, {5.4, 0.35, 3.0}, {9.8, 0.08, 0}};
    const QList<Event> route2{{4.0, 0.06, 0}, {12.5, 0.04, 0}, {20.2, 0.45, 2.5}, {31.7, 0.1, 0}};
    const QList<Event> centre{{8.0, 0.05, 0}, {16.3, 0.3, 4.0}, {27.9, 0.07, 0}, {39.0, 0.12, 0}};
    return {
        {"ROTA01_1310.sor",
         "ROTA01",
         "F01",
         "CENTRAL",
         "POSTE-118",
         1310,
         0.33,
         12.0,
         2.0,
         100,
         route1},
        {"ROTA01_1550.sor",
         "ROTA01",
         "F01",
         "CENTRAL",
         "POSTE-118",
         1550,
         0.19,
         12.0,
         2.0,
         100,
         route1},
        {"ROTA02_1310.sor",
         "ROTA02",
         "F07",
         "CENTRAL",
         "CAIXA-22",
         1310,
         0.34,
         38.0,
         4.0,
         300,
         route2},
        {"ROTA02_1550.sor",
         "ROTA02",
         "F07",
         "CENTRAL",
         "CAIXA-22",
         1550,
         0.20,
         38.0,
         4.0,
         300,
         route2},
        {"ENLACE-CENTRO_1550.sor",
         "ENLACE",
         "F12",
         "CENTRO",
         "BAIRRO-NORTE",
         1550,
         0.21,
         45.0,
         2.0,
         1000,
         centre},
    };
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: otdr-samplegen OUTPUT_DIRECTORY\n";
        return 2;
    }
    const QDir out(args.at(1));
    if (!QDir().mkpath(out.path())) {
        QTextStream(stderr) << "cannot create " << out.path() << "\n";
        return 1;
    }
    for (const TraceShape &shape : samples()) {
        QSaveFile file(out.filePath(shape.fileName));
        if (!file.open(QIODevice::WriteOnly) || file.write(sorFile(shape)) < 0 || !file.commit()) {
            QTextStream(stderr) << "cannot write " << file.fileName() << ": " << file.errorString()
                                << "\n";
            return 1;
        }
    }
    return 0;
}
