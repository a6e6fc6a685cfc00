#include "sor/checksum.h"
#include "sor/sorexport.h"
#include "sor/sorreader.h"
#include "sorwriter.h"

#include <QDir>
#include <QJsonArray>
#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(SorWriter::Case)

// The reader against traces the project's own generator writes from a description.
class TestSorReader : public QObject
{
    Q_OBJECT

private slots:
    void cases_data();
    void cases();
    void sampleTraces();
    void crcCheckValues();
    void truncations();
    void singleByteChanges();
    void notATrace_data();
    void notATrace();
    void json();
    void absurdOffsets_data();
    void absurdOffsets();
    void pointsPerPulse_data();
    void pointsPerPulse();
    void pointsDigest_data();
    void pointsDigest();
    void folderWalk();
};

namespace {

constexpr double C = 299792458.0;

double levelOf(quint16 value, int factor)
{
    return value == 65535 || value == 63999 ? std::nan("") : -double(value) * factor / 1e6;
}

QString latin1OrUtf8(const QByteArray &bytes)
{
    const QString utf8 = QString::fromUtf8(bytes);
    return utf8.toUtf8() == bytes ? utf8 : QString::fromLatin1(bytes);
}

} // namespace

void TestSorReader::cases_data()
{
    QTest::addColumn<SorWriter::Case>("c");
    for (const SorWriter::Case &c : SorWriter::readerCases())
        QTest::newRow(qPrintable(c.name)) << c;
}

// Every decoded value is what the generator wrote, in the units the reader promises.
void TestSorReader::cases()
{
    QFETCH(SorWriter::Case, c);
    const SorWriter::Trace &written = c.trace;
    const QByteArray file = SorWriter::write(written);
    const Sor::Trace t = Sor::read(file);

    QCOMPARE(t.errors, QStringList());
    QCOMPARE(t.version, written.version);
    QCOMPARE(Sor::stateName(t.checksum.state), c.state);
    QCOMPARE(Sor::methodName(t.checksum.method), c.method);
    if (c.warning.isEmpty())
        QCOMPARE(t.warnings, QStringList());
    else
        QVERIFY2(t.warnings.size() == 1 && t.warnings.first().contains(c.warning),
                 qPrintable(t.warnings.join(" | ")));

    // Blocks: the map's order, and sizes that add up to the file.
    QStringList names;
    qint64 total = 0;
    for (const Sor::BlockInfo &b : t.blocks) {
        names << b.name;
        total += b.size;
    }
    QStringList expected{"Map", "GenParams", "SupParams", "FxdParams"};
    if (written.withEvents)
        expected << "KeyEvents";
    expected << "DataPts";
    for (const SorWriter::Block &b : written.extraBlocks)
        expected << QString::fromLatin1(b.name);
    expected << "Cksum";
    QCOMPARE(names, expected);
    QCOMPARE(total + written.trailing.size(), qint64(file.size()));
    QCOMPARE(t.otherBlocks.size(), written.extraBlocks.size());
    for (int i = 0; i < written.extraBlocks.size(); ++i) {
        const QByteArray body = written.extraBlocks.at(i).body;
        QVERIFY(t.otherBlocks.at(i).bytes.endsWith(body));
    }

    QVERIFY(t.supplier && t.general && t.fixed);
    QCOMPARE(t.supplier->supplier, QString::fromLatin1(written.supplier));
    QCOMPARE(t.supplier->mainframeSerial, QString::fromLatin1(written.mainframeSerial));
    QCOMPARE(t.general->comment, latin1OrUtf8(written.comment));
    QCOMPARE(t.general->cableId, QString::fromLatin1(written.cableId));
    QCOMPARE(t.general->fiberType.has_value(), written.version == 2);
    QCOMPARE(t.fixed->averagingTime.has_value(), written.version == 2);
    QCOMPARE(t.date->toSecsSinceEpoch(), qint64(written.dateTime));
    QCOMPARE(t.date->timeSpec(), Qt::UTC);
    const double n = written.groupIndex ? written.groupIndex / 100000.0 : 1.468;
    QCOMPARE(*t.groupIndex, n);
    QCOMPARE(*t.wavelengthNm,
             written.wavelength < 6000 ? written.wavelength : written.wavelength / 10.0);
    QCOMPARE(t.fixed->pulseWidthsNs.size(), written.pulses.size());
    QCOMPARE(t.fixed->pulseWidthsNs.first(), int(written.pulses.first().widthNs));
    QCOMPARE(*t.spacingM, written.pulses.first().spacing * 1e-14 * C / n);

    // The trace: every point's level, "no data" marked, distances from its pulse's spacing.
    QVector<double> levels;
    for (const SorWriter::Scale &s : written.data) {
        for (quint16 v : s.values)
            levels.append(levelOf(v, s.factor));
    }
    QCOMPARE(t.points(), levels.size());
    QCOMPARE(t.scaleFactors.size(), written.data.size());
    for (int i = 0; i < levels.size(); ++i) {
        if (std::isnan(levels.at(i)))
            QVERIFY2(std::isnan(t.levelDb[size_t(i)]), qPrintable(QString::number(i)));
        else
            QCOMPARE(t.levelDb[size_t(i)], levels.at(i));
    }
    const SorWriter::Pulse &last = written.pulses.last();
    if (written.pulses.size() > 1) {
        // The second pulse's points follow the first's at its own spacing.
        const size_t first = size_t(written.pulses.first().points);
        QVERIFY(qAbs(t.distanceM[first + 1] - t.distanceM[first] - last.spacing * 1e-14 * C / n)
                < 1e-9);
    } else {
        // Measured from the span's start, which the offsets put this far along the points
        // (to within the stored times' 100 ps).
        QVERIFY(qAbs(t.distanceM.front() + c.spanStartM) < 0.05);
        QVERIFY(qAbs(t.distanceM.back() - ((t.points() - 1) * *t.spacingM - c.spanStartM)) < 0.05);
    }
    QVERIFY(t.offsets);
    QCOMPARE(t.offsets->frontPanel, written.frontPanelOffset);
    QCOMPARE(t.offsets->acquisition, written.acquisitionOffset);
    QCOMPARE(t.offsets->user, written.userOffset);
    QCOMPARE(t.offsets->applied, !c.warning.contains(QStringLiteral("fora do traço")));
    // A check that skips the levels judges the offsets as the full read does.
    QCOMPARE(Sor::read(file, Sor::Detail::Check).warnings, t.warnings);

    QCOMPARE(t.keyEvents.has_value(), written.withEvents);
    if (written.withEvents) {
        QCOMPARE(t.keyEvents->events.size(), written.events.size());
        for (int i = 0; i < written.events.size(); ++i) {
            const SorWriter::Event &e = written.events.at(i);
            const Sor::Event &r = t.keyEvents->events.at(i);
            QCOMPARE(r.number, int(e.number));
            QCOMPARE(r.distanceM, e.time * 1e-10 * C / n);
            QCOMPARE(r.lossDb, e.loss / 1000.0);
            // "None" is not a level; a positive value is kept but is no measurement, nor is 0.
            QCOMPARE(r.reflectanceDb.has_value(), e.reflectance != SorWriter::NoReflectance);
            if (r.reflectanceDb)
                QCOMPARE(*r.reflectanceDb, e.reflectance / 1000.0);
            QCOMPARE(r.measuredReflectanceDb().has_value(),
                     e.reflectance != SorWriter::NoReflectance && e.reflectance < 0);
            QCOMPARE(r.code, QString::fromLatin1(e.code));
        }
        QCOMPARE(*t.keyEvents->endToEndLossDb, written.endToEndLoss / 1000.0);
        QCOMPARE(*t.keyEvents->opticalReturnLossDb, written.orl / 1000.0);
    }
}

// The traces otdr-sim serves are sound version 2 files with a checksum that verifies.
void TestSorReader::sampleTraces()
{
    const QDir dir(QStringLiteral(OTDR_SAMPLES_DIR));
    const QStringList names = dir.entryList({"*.sor"}, QDir::Files);
    QCOMPARE(names.size(), 5);
    QSet<double> wavelengths;
    for (const QString &name : names) {
        const Sor::Trace t = Sor::readFile(dir.filePath(name));
        QVERIFY2(!t.damaged() && t.warnings.isEmpty(), qPrintable(name));
        QCOMPARE(t.checksum.state, Sor::ChecksumState::Valid);
        QVERIFY(QFileInfo(dir.filePath(name)).size() <= 60 * 1024);
        QVERIFY(name.contains(QString::number(*t.wavelengthNm)));
        wavelengths.insert(*t.wavelengthNm);
    }
    QCOMPARE(wavelengths, QSet<double>({1310, 1550}));
}

// The published check values of both checksums.
void TestSorReader::crcCheckValues()
{
    QCOMPARE(Sor::crc16CcittFalse("123456789", 9), quint16(0x29B1));
    QCOMPARE(Sor::crc16Xmodem("123456789", 9), quint16(0x31C3));
    // Longer inputs, of every length around the eight bytes taken in one step, against the
    // checksum's definition, one bit at a time.
    QByteArray bytes;
    for (int i = 0; i < 4099; ++i)
        bytes.append(char((i * 131 + 7) ^ (i >> 3)));
    for (int size : {0, 1, 7, 8, 9, 15, 16, 17, 4099}) {
        quint16 bitwise = 0xFFFF;
        for (int i = 0; i < size; ++i) {
            for (int bit = 7; bit >= 0; --bit) {
                const bool top = (bitwise & 0x8000) != 0;
                const bool in = (quint8(bytes.at(i)) >> bit) & 1;
                bitwise = quint16(bitwise << 1);
                if (top != in)
                    bitwise ^= 0x1021;
            }
        }
        QCOMPARE(Sor::crc16CcittFalse(bytes.constData(), size), bitwise);
    }
}

// A file cut anywhere is a clean error (its blocks run past the end), never a crash.
void TestSorReader::truncations()
{
    SorWriter::Trace written = SorWriter::readerCases().first().trace;
    written.data.first().values.resize(300);
    written.pulses.first().points = 300;
    const QByteArray file = SorWriter::write(written);
    for (int size = 0; size < file.size(); ++size) {
        const Sor::Trace t = Sor::read(file.left(size));
        QVERIFY2(!t.errors.isEmpty(), qPrintable(QString::number(size)));
    }
}

// Any one byte changed: the file is never reported sound and verified. Where the change is not
// a structural error it is a checksum mismatch, unless it hides the maker or the checksum.
void TestSorReader::singleByteChanges()
{
    SorWriter::Trace written
        = SorWriter::readerCases().first().trace; // a maker with a known method
    written.data.first().values.resize(200);
    written.pulses.first().points = 200;
    const QByteArray file = SorWriter::write(written);
    int mismatches = 0;
    for (int at = 0; at < file.size(); ++at) {
        for (int flip : {0x01, 0x80, 0xFF}) {
            QByteArray changed = file;
            changed[at] = char(changed.at(at) ^ flip);
            const Sor::Trace t = Sor::read(changed);
            QVERIFY2(t.damaged() || t.checksum.state != Sor::ChecksumState::Valid,
                     qPrintable(QStringLiteral("byte %1").arg(at)));
            mismatches += t.errors.isEmpty() && t.checksum.state == Sor::ChecksumState::Mismatch;
        }
    }
    QVERIFY(mismatches > file.size()); // most changes land in data that only the checksum covers
}

void TestSorReader::notATrace_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << QByteArray() << "curto demais";
    QTest::newRow("text") << QByteArray("not a trace at all, just text") << "não é um traço";
    QTest::newRow("map larger than the file")
        << QByteArray("Map\0\xC8\x00\xFF\x00\x00\x00\x02\x00", 12) << "não cabe";
    QTest::newRow("map sizes that do not add up")
        << QByteArray("Map\0\xC8\x00\x16\x00\x00\x00\x02\x00X\0\xC8\x00\x00\x00\x00\x00\0\0", 22)
        << "não somam";
    QTest::newRow("negative block size")
        << QByteArray("Map\0\xC8\x00\x14\x00\x00\x00\x02\x00X\0\xC8\x00\xFF\xFF\xFF\xFF", 20)
        << "negativo";
}

void TestSorReader::notATrace()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const Sor::Trace t = Sor::read(bytes);
    QVERIFY2(t.errors.size() == 1 && t.errors.first().contains(error),
             qPrintable(t.errors.join('|')));
    QVERIFY(t.damaged());
    QCOMPARE(Sor::looksLikeTrace(bytes), bytes.startsWith("Map"));
}

// The keys other programs rely on, with "not given" as null.
void TestSorReader::json()
{
    SorWriter::Trace written = SorWriter::readerCases().at(3).trace; // a checksum that mismatches
    written.data.first().values[5] = 65535;
    const Sor::Trace t = Sor::read(SorWriter::write(written));
    const QJsonObject json = Sor::toJson(t, true);
    for (const char *key : {"version",
                            "supplier",
                            "wavelength_nm",
                            "pulse_widths_ns",
                            "points",
                            "spacing_m",
                            "group_index",
                            "date",
                            "checksum",
                            "events",
                            "blocks",
                            "warnings",
                            "errors",
                            "trace"})
        QVERIFY2(json.contains(QLatin1String(key)), key);
    QCOMPARE(json["version"].toInt(), 2);
    QCOMPARE(json["points"].toInt(), t.points());
    QCOMPARE(json["date"].toString(), QStringLiteral("2026-11-20T09:00:00Z"));
    QCOMPARE(json["checksum"]["state"].toString(), QStringLiteral("mismatch"));
    QVERIFY(json["checksum"]["method"].isNull());
    QCOMPARE(json["checksum"]["stored"].toInt(), int(*t.checksum.stored));
    QCOMPARE(json["events"].toArray().size(), written.events.size());
    QCOMPARE(json["events"][1]["loss_db"].toDouble(), written.events.at(1).loss / 1000.0);
    QVERIFY(json["trace"]["level_db"][5].isNull());
    // The link's stored figures; a 0 stored is none given.
    QCOMPARE(json["orl_db"].toDouble(), written.orl / 1000.0);
    QCOMPARE(json["total_loss_db"].toDouble(), written.endToEndLoss / 1000.0);
    const QJsonObject zeros = Sor::toJson(Sor::read(
        SorWriter::write(SorWriter::readerCase("odd event numbers, ORL and loss 0").trace)));
    QVERIFY(zeros["orl_db"].isNull() && zeros["total_loss_db"].isNull());
    QCOMPARE(json["trace"]["distance_m"].toArray().size(), t.points());
    QVERIFY(Sor::toJson(Sor::read("x")).value("wavelength_nm").isNull());
}

void TestSorReader::absurdOffsets_data()
{
    QTest::addColumn<int>("frontPanel");
    QTest::addColumn<int>("acquisition");
    QTest::addColumn<int>("user");
    QTest::addColumn<int>("groupIndex");
    const int most = std::numeric_limits<qint32>::max();
    const int least = std::numeric_limits<qint32>::min();
    QTest::newRow("the largest user offset") << 0 << 0 << most << 146800;
    QTest::newRow("the lowest acquisition offset") << 0 << least << 0 << 146800;
    QTest::newRow("every offset at its limit") << most << least << most << 146800;
    QTest::newRow("a negative front panel offset") << -10000000 << 0 << 0 << 146800;
    QTest::newRow("a tiny group index") << 0 << 0 << most << 1;
    QTest::newRow("a negative group index") << 0 << 0 << most << -5;
}

// Offsets no instrument writes move nothing, say so, and leave every distance finite.
void TestSorReader::absurdOffsets()
{
    QFETCH(int, frontPanel);
    QFETCH(int, acquisition);
    QFETCH(int, user);
    QFETCH(int, groupIndex);
    SorWriter::Trace written = SorWriter::readerCase("whole file, CCITT-FALSE").trace;
    written.frontPanelOffset = frontPanel;
    written.acquisitionOffset = acquisition;
    written.userOffset = user;
    written.groupIndex = groupIndex;
    const Sor::Trace t = Sor::read(SorWriter::write(written));
    QVERIFY(t.errors.isEmpty());
    QVERIFY(t.offsets);
    QVERIFY(!t.offsets->applied);
    QVERIFY(std::isfinite(t.offsets->spanStartM));
    QCOMPARE(t.distanceM.front(), 0.0);
    for (double x : t.distanceM)
        QVERIFY(std::isfinite(x));
    QVERIFY2(t.warnings.join(QLatin1Char(' ')).contains(QStringLiteral("ficam como gravadas")),
             qPrintable(t.warnings.join(QStringLiteral(" | "))));
}

void TestSorReader::pointsPerPulse_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("segments");
    // The points are 2,400; FxdParams splits them between two pulse widths.
    QTest::newRow("1,000 at 0.5 m, then 1,400 at 2 m") << 1000 << 1400 << true;
    QTest::newRow("none at the first width") << 0 << 2400 << true;
    QTest::newRow("a negative count that still sums right") << -5 << 2405 << false;
    QTest::newRow("counts that do not sum to the points") << 1000 << 1000 << false;
}

// Each pulse width's points lie at its own spacing only where FxdParams' counts can be true;
// else the first spacing holds for all: one distance per point, finite and rising either way.
void TestSorReader::pointsPerPulse()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, segments);
    SorWriter::Trace written = SorWriter::readerCase("two pulse widths").trace;
    written.pulses[0].points = first;
    written.pulses[1].points = second;
    const Sor::Trace t = Sor::read(SorWriter::write(written));
    QVERIFY(t.errors.isEmpty());
    QCOMPARE(t.distanceM.size(), t.levelDb.size());
    QCOMPARE(t.levelDb.size(), size_t(2400));
    for (size_t i = 1; i < t.distanceM.size(); ++i)
        QVERIFY(std::isfinite(t.distanceM[i]) && t.distanceM[i] > t.distanceM[i - 1]);
    const double lastStep = t.distanceM[2399] - t.distanceM[2398];
    QCOMPARE(qRound(lastStep * 10) / 10.0, segments ? 2.0 : 0.5);
}

// Copies of one trace share the digest of their points, whatever scale they were stored at; a
// point a hundredth of a dB off, a point more or a point of "no data" gives another.
void TestSorReader::pointsDigest_data()
{
    QTest::addColumn<qint16>("factor");
    QTest::addColumn<int>("changed"); // the point changed, -1 for none
    QTest::addColumn<int>("to");      // its new stored value; -1: a point appended
    QTest::addColumn<bool>("same");
    QTest::newRow("the same points") << qint16(1000) << -1 << 0 << true;
    QTest::newRow("stored at twice the scale") << qint16(2000) << -1 << 0 << true;
    QTest::newRow("a thousandth off, within the hundredth") << qint16(1000) << 5 << 10101 << true;
    QTest::newRow("a hundredth off") << qint16(1000) << 5 << 10110 << false;
    QTest::newRow("no data") << qint16(1000) << 5 << 65535 << false;
    QTest::newRow("a point more") << qint16(1000) << -1 << -1 << false;
}

void TestSorReader::pointsDigest()
{
    QFETCH(qint16, factor);
    QFETCH(int, changed);
    QFETCH(int, to);
    QFETCH(bool, same);
    SorWriter::Trace written = SorWriter::readerCase("two pulse widths").trace;
    SorWriter::Scale original;
    for (int i = 0; i < 100; ++i)
        original.values << quint16(10000 + 20 * i);
    written.data = {original};
    const quint64 digest = Sor::read(SorWriter::write(written), Sor::Detail::Check).pointsDigest;
    SorWriter::Scale other{factor, {}};
    for (const quint16 v : original.values)
        other.values << quint16(v * 1000 / factor);
    if (changed >= 0)
        other.values[changed] = quint16(to);
    if (to < 0)
        other.values << 12000;
    written.data = {other};
    const Sor::Trace t = Sor::read(SorWriter::write(written), Sor::Detail::Check);
    QVERIFY(t.levelDb.empty());
    QCOMPARE(t.pointsDigest == digest, same);
}

// A folder's traces: in name order, in its folders too, either case of the suffix; a hidden
// shadow ("._x.sor", as another system leaves on a card) and other files left out.
void TestSorReader::folderWalk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir root(dir.path());
    QVERIFY(root.mkpath("sub"));
    for (const char *name : {"b.sor", "A.SOR", "sub/c.sor", "._b.sor", "notes.txt", "d.sor.bak"}) {
        QFile f(root.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QStringList names;
    for (const QString &path : Sor::sorFilesIn(dir.path()))
        names << root.relativeFilePath(path);
    QCOMPARE(names, (QStringList{"A.SOR", "b.sor", "sub/c.sor"}));
}

QTEST_GUILESS_MAIN(TestSorReader)
#include "tst_sorreader.moc"
