#include "platform/hardwareid.h"

#include <QtTest>

// The vendor id that finds the instrument on Windows comes from these strings alone.
class TestHardwareId : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestHardwareId::parse_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("vendor"); // -1: none
    QTest::addColumn<int>("product");
    QTest::newRow("USB CDC device") << "USB\\VID_1FC9&PID_0083&REV_0100" << 0x1fc9 << 0x0083;
    QTest::newRow("lower case") << "usb\\vid_1fc9&pid_00a3" << 0x1fc9 << 0x00a3;
    QTest::newRow("interface of a composite device")
        << "USB\\VID_1FC9&PID_0083&MI_00\\6&2F2A5B1&0&0000" << 0x1fc9 << 0x0083;
    QTest::newRow("adapter's own bus, plus signs")
        << "FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000" << 0x0403 << 0x6001;
    QTest::newRow("vendor only") << "USB\\VID_1FC9" << 0x1fc9 << -1;
    QTest::newRow("a built-in port") << "ACPI\\PNP0501" << -1 << -1;
    QTest::newRow("no bus part") << "VID_1FC9&PID_0083" << -1 << -1;
    QTest::newRow("three digits") << "USB\\VID_1FC&PID_0083" << -1 << 0x0083;
    QTest::newRow("five digits") << "USB\\VID_1FC90&PID_0083" << -1 << 0x0083;
    QTest::newRow("not hexadecimal") << "USB\\VID_1FCG&PID_0083" << -1 << 0x0083;
    QTest::newRow("a sign is not a digit") << "USB\\VID_+1FC&PID_0083" << -1 << 0x0083;
    QTest::newRow("inside another word") << "USB\\XVID_1FC9&PID_0083" << -1 << 0x0083;
    QTest::newRow("second occurrence counts") << "USB\\XVID_0001&VID_1FC9" << 0x1fc9 << -1;
    QTest::newRow("empty") << "" << -1 << -1;
}

void TestHardwareId::parse()
{
    QFETCH(QString, id);
    QFETCH(int, vendor);
    QFETCH(int, product);
    const HardwareId parsed = parseHardwareId(id);
    QCOMPARE(parsed.hasVendor, vendor >= 0);
    QCOMPARE(parsed.hasProduct, product >= 0);
    if (vendor >= 0)
        QCOMPARE(int(parsed.vendor), vendor);
    if (product >= 0)
        QCOMPARE(int(parsed.product), product);
}

QTEST_APPLESS_MAIN(TestHardwareId)
#include "tst_hardwareid.moc"
