#include <QDir>
#include <QtTest>

// Reads the sample traces back with a reader of its own.
class TestSampleTraces : public QObject
{
    Q_OBJECT

private slots:
    void wellFormed_data();
    void wellFormed();
    void bothWavelengths();
};

namespace {

struct Reader
{
    explicit Reader(const QByteArray &bytes, int at = 0)
        : data(bytes)
        , pos(at)
    {
    }
    quint16 u16()
    {
        const quint16 v = quint8(data.at(pos)) | quint16(quint8(data.at(pos + 1))) << 8;
        pos += 2;
        return v;
    }
    quint32 u32()
    {
        const quint32 v = u16();
        return v | quint32(u16()) << 16;
    }
    QByteArray text()
    {
        const int end = data.indexOf('\0', pos);
        const QByteArray s = data.mid(pos, end - pos);
        pos = end + 1;
        return s;
    }
    const QByteArray &data;
    int pos;
};

quint16 crc16(const QByteArray &data)
{
    quint16 crc = 0xFFFF;
    for (const char c : data) {
        crc ^= quint16(quint8(c)) << 8;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

QByteArray readSample(const QString &name)
{
    QFile file(QDir(QStringLiteral(OTDR_SAMPLES_DIR)).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestSampleTraces::wellFormed_data()
{
    QTest::addColumn<QString>("name");
    const QStringList names
        = QDir(QStringLiteral(OTDR_SAMPLES_DIR)).entryList({"*.sor"}, QDir::Files);
    QVERIFY(names.size() >= 4);
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << name;
}

void TestSampleTraces::wellFormed()
{
    QFETCH(QString, name);
    const QByteArray file = readSample(name);
    QVERIFY(file.size() >= 10 * 1024 && file.size() <= 60 * 1024);

    Reader map(file);
    QCOMPARE(map.text(), QByteArray("Map"));
    QCOMPARE(map.u16(), quint16(200));
    const quint32 mapSize = map.u32();
    const int blocks = map.u16();
    QStringList names;
    QList<quint32> sizes;
    for (int i = 1; i < blocks; ++i) {
        names.append(QString::fromLatin1(map.text()));
        QCOMPARE(map.u16(), quint16(200));
        sizes.append(map.u32());
    }
    QCOMPARE(quint32(map.pos), mapSize);
    QCOMPARE(names, QStringList({"GenParams", "SupParams", "FxdParams", "DataPts", "Cksum"}));
    quint64 total = mapSize;
    for (quint32 size : qAsConst(sizes))
        total += size;
    QCOMPARE(total, quint64(file.size()));

    // Each block starts where the map says, with its own name.
    QHash<QString, int> offset;
    int at = int(mapSize);
    for (int i = 0; i < names.size(); ++i) {
        offset.insert(names.at(i), at);
        QCOMPARE(Reader(file, at).text(), names.at(i).toLatin1());
        at += int(sizes.at(i));
    }

    Reader gen(file, offset["GenParams"]);
    gen.text();
    gen.pos += 2;
    gen.text();
    gen.text();
    QCOMPARE(gen.u16(), quint16(652));
    const quint16 wavelength = gen.u16();
    QVERIFY(wavelength == 1310 || wavelength == 1550);

    Reader fxd(file, offset["FxdParams"]);
    fxd.text();
    fxd.u32();
    QCOMPARE(file.mid(fxd.pos, 2), QByteArray("mt"));
    fxd.pos += 2;
    QCOMPARE(fxd.u16(), quint16(wavelength * 10));
    fxd.pos += 8;
    QCOMPARE(fxd.u16(), quint16(1));
    fxd.u16();
    QVERIFY(fxd.u32() > 0);
    const quint32 points = fxd.u32();

    Reader pts(file, offset["DataPts"]);
    pts.text();
    QCOMPARE(pts.u32(), points);
    QCOMPARE(pts.u16(), quint16(1));
    QCOMPARE(pts.u32(), points);
    QCOMPARE(pts.u16(), quint16(1000));
    QCOMPARE(quint32(pts.pos - offset["DataPts"]) + points * 2, sizes.at(3));
    // A fibre loses light along its length: the far half lies lower than the near half.
    quint64 nearSum = 0, farSum = 0;
    for (quint32 i = 0; i < points / 2; ++i)
        (i < points / 4 ? nearSum : farSum) += pts.u16();
    QVERIFY(farSum > nearSum);

    Reader sum(file, offset["Cksum"]);
    QCOMPARE(sum.text(), QByteArray("Cksum"));
    QCOMPARE(sum.u16(), crc16(file.left(file.size() - 2)));
    QCOMPARE(sum.pos, file.size());
}

void TestSampleTraces::bothWavelengths()
{
    const QStringList names
        = QDir(QStringLiteral(OTDR_SAMPLES_DIR)).entryList({"*.sor"}, QDir::Files);
    QCOMPARE(crc16("123456789"), quint16(0x29B1)); // the CRC-16/CCITT-FALSE check value
    QVERIFY(names.filter("1310").size() >= 1);
    QVERIFY(names.filter("1550").size() >= 1);
}

QTEST_GUILESS_MAIN(TestSampleTraces)
#include "tst_sampletraces.moc"
