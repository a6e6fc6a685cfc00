#include "app/mainwindow.h"
#include "files/downloadcheck.h"
#include "link/protocol.h"
#include "otdr/otdraction.h"

#include <QtTest>

class TestOtdrAction : public QObject
{
    Q_OBJECT

private slots:
    void parseRecord_data();
    void parseRecord();
    void duplicatesAndCopies();
    void clearStartsANewListing();
    void requests_data();
    void requests();
    void tableRows_data();
    void tableRows();
    void listedSizeIsSixteenBits_data();
    void listedSizeIsSixteenBits();
    void statusReplies_data();
    void statusReplies();
};

void TestOtdrAction::parseRecord_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("name");

    QTest::newRow("empty") << QByteArray() << true << 0 << 0 << QString();
    QTest::newRow("one byte") << QByteArray("\x05", 1) << true << 0 << 0 << QString();
    QTest::newRow("two bytes") << QByteArray("\x05\x06", 2) << true << 0 << 0 << QString();
    QTest::newRow("zero right after size")
        << QByteArray("\x05\x06\0abc", 6) << true << 0 << 0 << QString();
    QTest::newRow("0x34 0x12 a.sor") << QByteArray("\x34\x12"
                                                   "a.sor\0",
                                                   8)
                                     << true << 1 << 4660 << "a.sor";
    QTest::newRow("0x80 0x12") << QByteArray("\x80\x12x", 3) << true << 1 << 4736 << "x";
    QTest::newRow("0xFF 0xFF") << QByteArray("\xFF\xFFx", 3) << true << 1 << 65535 << "x";
    QTest::newRow("0x00 0x10") << QByteArray("\x00\x10name", 6) << true << 1 << 4096 << "name";
    QTest::newRow("0x90 0x01") << QByteArray("\x90\x01n", 3) << true << 1 << 400 << "n";
    QTest::newRow("0xC3 0xA9") << QByteArray("\xC3\xA9n", 3) << true << 1 << 43459 << "n";
    QTest::newRow("bytes after zero ignored") << QByteArray("\x01\x00"
                                                            "abc\0def",
                                                            9)
                                              << true << 1 << 1 << "abc";
    QTest::newRow("utf-8 name") << QByteArray("\x01\x00"
                                              "fibra-\xC3\xA7.sor",
                                              15)
                                << true << 1 << 1 << QString::fromUtf8("fibra-\xC3\xA7.sor");
    QTest::newRow("end marker") << QByteArray("\x00\x08imageLogo.bin\0", 16) << false << 0 << 0
                                << QString();
    QTest::newRow("end marker without zero")
        << QByteArray("\x00\x08imageLogo.bin", 15) << false << 0 << 0 << QString();
    QTest::newRow("marker in other case is a file")
        << QByteArray("\x00\x08ImageLogo.bin", 15) << true << 1 << 2048 << "ImageLogo.bin";
    QTest::newRow("marker with suffix is a file")
        << QByteArray("\x00\x08imageLogo.bin2", 16) << true << 1 << 2048 << "imageLogo.bin2";
}

void TestOtdrAction::parseRecord()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, result);
    QFETCH(int, entries);
    OtdrAction action;
    QCOMPARE(action.parseListReply(reply), result);
    const QList<FileEntry> list = action.fileEntries();
    QCOMPARE(list.size(), entries);
    if (entries == 1) {
        QTEST(list.first().size, "size");
        QTEST(list.first().name, "name");
    }
}

void TestOtdrAction::duplicatesAndCopies()
{
    OtdrAction action;
    const QByteArray record("\x10\x00same.sor", 10);
    QVERIFY(action.parseListReply(record));
    const QList<FileEntry> before = action.fileEntries();
    QVERIFY(action.parseListReply(record));
    QCOMPARE(before.size(), 1);
    const QList<FileEntry> after = action.fileEntries();
    QCOMPARE(after.size(), 2);
    QCOMPARE(after.at(0).name, after.at(1).name);
    QCOMPARE(after.at(1).size, 16);
}

void TestOtdrAction::clearStartsANewListing()
{
    OtdrAction action;
    action.parseListReply(QByteArray("\x01\x00old.sor", 9));
    action.clear();
    action.parseListReply(QByteArray("\x02\x00new.sor", 9));
    const QList<FileEntry> list = action.fileEntries();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().name, QStringLiteral("new.sor"));
}

void TestOtdrAction::requests_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("item");
    QTest::newRow("row 0") << 0 << QByteArray("\x01\x00", 2);
    QTest::newRow("row 5") << 5 << QByteArray("\x06\x00", 2);
    QTest::newRow("row 255") << 255 << QByteArray("\x00\x01", 2);
    QTest::newRow("row 299") << 299 << QByteArray("\x2C\x01", 2);
    QTest::newRow("row 65534") << 65534 << QByteArray("\xFF\xFF", 2);
    // Beyond 16 bits there is no request at all, never a wrapped number.
    QTest::newRow("row 65535") << 65535 << QByteArray();
    QTest::newRow("row -1") << -1 << QByteArray();
}

void TestOtdrAction::requests()
{
    QFETCH(int, row);
    QFETCH(QByteArray, item);
    QCOMPARE(Protocol::deleteRequest(row + 1), item.isEmpty() ? item : "\x41" + item);
    QCOMPARE(Protocol::downloadRequest(row + 1), item.isEmpty() ? item : "\xAA" + item);
    QCOMPARE(Protocol::listRequest(), QByteArray("\x03"));
}

void TestOtdrAction::tableRows_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("rows");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("the settings entry alone") << 1 << 0;
    QTest::newRow("three") << 3 << 2;
    QTest::newRow("every item addressable") << 65536 << 65535;
    QTest::newRow("65,537 entries") << 65537 << 65535;
}

// The table never shows a row whose item number does not fit in 16 bits.
void TestOtdrAction::tableRows()
{
    QFETCH(int, entries);
    QTEST(MainWindow::tableRows(entries), "rows");
}

void TestOtdrAction::listedSizeIsSixteenBits_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("listed");
    QTest::addColumn<bool>("sound");
    QTest::newRow("equal") << 30208 << 30208 << true;
    QTest::newRow("short") << 30112 << 30208 << false;
    QTest::newRow("70,000 bytes listed as their low 16 bits") << 70000 << 4464 << true;
    QTest::newRow("70,000 bytes listed as 65,535") << 70000 << 65535 << false;
}

// A file longer than the listing's 16-bit size field can say is not called damaged for it.
void TestOtdrAction::listedSizeIsSixteenBits()
{
    QFETCH(int, length);
    QFETCH(int, listed);
    QTEST(downloadDamage(QByteArray(length, 'x'), listed).isEmpty(), "sound");
}

void TestOtdrAction::statusReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ack");
    QTest::addColumn<bool>("end");
    QTest::newRow("OK") << QByteArray("OK") << true << false;
    QTest::newRow("ok") << QByteArray("ok") << false << false;
    QTest::newRow("OK zero") << QByteArray("OK\0", 3) << false << false;
    QTest::newRow("OK line end") << QByteArray("OK\r\n") << false << false;
    QTest::newRow("FINAL") << QByteArray("FINAL") << false << true;
    QTest::newRow("final") << QByteArray("final") << false << false;
    QTest::newRow("data then FINAL") << QByteArray("xyzFINAL") << false << false;
    QTest::newRow("FINAL line end") << QByteArray("FINAL\n") << false << false;
}

void TestOtdrAction::statusReplies()
{
    QFETCH(QByteArray, reply);
    QTEST(Protocol::isDeleteAck(reply), "ack");
    QTEST(Protocol::isDownloadEnd(reply), "end");
}

QTEST_MAIN(TestOtdrAction)
#include "tst_otdraction.moc"
