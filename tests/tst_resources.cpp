#include <QDir>
#include <QIcon>
#include <QImage>
#include <QtTest>

// The executable's icon and the window icon file.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void resourceIconHoldsOneImage();
    void windowIconLoads();
};

namespace {

quint32 le(const QByteArray &b, int at, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | quint8(b.at(at + i));
    return v;
}

QByteArray readResource(const char *name)
{
    QFile file(QDir(QStringLiteral(OTDR_RESOURCES_DIR)).filePath(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestResources::resourceIconHoldsOneImage()
{
    const QByteArray ico = readResource("otdr.ico");
    QVERIFY(ico.size() > 22 + 40);
    QCOMPARE(le(ico, 0, 2), 0u);
    QCOMPARE(le(ico, 2, 2), 1u);      // an icon
    QCOMPARE(le(ico, 4, 2), 1u);      // exactly one image
    QCOMPARE(le(ico, 6 + 4, 2), 1u);  // planes
    QCOMPARE(le(ico, 6 + 6, 2), 32u); // bits per pixel
    const quint32 bytes = le(ico, 6 + 8, 4);
    const quint32 offset = le(ico, 6 + 12, 4);
    QCOMPARE(offset + bytes, quint32(ico.size()));

    QCOMPARE(le(ico, int(offset), 4), 40u);          // BITMAPINFOHEADER
    QCOMPARE(le(ico, int(offset) + 4, 4), 282u);     // width
    QCOMPARE(le(ico, int(offset) + 8, 4), 2u * 194); // height, with its mask
    QCOMPARE(le(ico, int(offset) + 14, 2), 32u);
    QCOMPARE(le(ico, int(offset) + 16, 4), 0u); // uncompressed
    const quint32 mask = ((282 + 31) / 32) * 4 * 194;
    QCOMPARE(bytes, 40u + 282u * 194u * 4u + mask);
}

void TestResources::windowIconLoads()
{
    const QString path = QDir(QStringLiteral(OTDR_RESOURCES_DIR)).filePath("icone_lumo.ico");
    const QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.width(), 256);
    QVERIFY(image.hasAlphaChannel());
    QVERIFY(!QIcon(path).isNull());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
