#include "widgets/checkedheader.h"
#include "windowrig.h"

#include <QHeaderView>
#include <QScrollBar>

class TestListing : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void sizes_data();
    void sizes();
    void names();
    void tableWaitsForTheTick();
    void mergedRecordsCountAsOne();
    void relistingReplacesTheList();
};

void TestListing::rows_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("trailer");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("nameWidth");
    QTest::newRow("nothing stored") << 0 << false << 0 << 310;
    QTest::newRow("one entry") << 0 << true << 0 << 310;
    QTest::newRow("one file, no trailer") << 1 << false << 0 << 310;
    QTest::newRow("three entries") << 3 << false << 2 << 310;
    QTest::newRow("ten entries") << 9 << true << 9 << 310;
    QTest::newRow("eleven entries") << 10 << true << 10 << 286;
}

void TestListing::rows()
{
    QFETCH(int, files);
    QFETCH(bool, trailer);
    QFETCH(int, rows);
    SimulatedInstrument::Options options;
    if (!trailer)
        options.trailerName.clear();
    WindowRig rig(sampleFiles(files), options);
    QTRY_VERIFY(rig.listed(rows));
    QTRY_VERIFY(rig.instrument->settled());
    QTest::qWait(700);
    QCOMPARE(rig.table->rowCount(), rows);
    QCOMPARE(rig.table->columnWidth(0), 30);
    QTEST(rig.table->columnWidth(1), "nameWidth");
    QVERIFY(qobject_cast<CheckedHeader *>(rig.table->horizontalHeader()));
    // What a user sees: the header row with its box, and all columns without scrolling.
    QVERIFY(rig.table->horizontalHeader()->isVisible());
    QVERIFY(!rig.table->horizontalScrollBar()->isVisible());
    QVERIFY(
        rig.table->columnWidth(0) + rig.table->columnWidth(1) + rig.table->verticalHeader()->width()
            + (rig.table->verticalScrollBar()->isVisible() ? rig.table->verticalScrollBar()->width()
                                                           : 0)
        < rig.table->width() - 80);
    for (int row = 0; row < rows; ++row) {
        QCOMPARE(rig.cell(row, 0), QString());
        QCOMPARE(rig.table->item(row, 0)->data(Qt::TextAlignmentRole).toInt(), 0x84);
        QCOMPARE(rig.cell(row, 1), QStringLiteral("trace%1.sor").arg(row));
    }
    QCOMPARE(rig.save->isEnabled(), rows > 0);
    QCOMPARE(rig.selectAll->isEnabled(), rows > 0);
    QCOMPARE(rig.erase->isEnabled(), rows > 0);
    QCOMPARE(rig.instrument->requests(), QList<QByteArray>{QByteArray("\x03")});
}

void TestListing::sizes_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0") << 0 << "0 Kb";
    QTest::newRow("1023") << 1023 << "0 Kb";
    QTest::newRow("1024") << 1024 << "1 Kb";
    QTest::newRow("2047") << 2047 << "1 Kb";
    QTest::newRow("65535") << 65535 << "63 Kb";
}

void TestListing::sizes()
{
    QFETCH(int, bytes);
    QList<StoredFile> files{{"a.sor", QByteArray(bytes, 'a'), {}}, {"b.sor", "b", {}}};
    WindowRig rig(files);
    QTRY_VERIFY(rig.listed(2));
    QTEST(rig.cell(0, 2), "shown");
    QCOMPARE(rig.cell(1, 2), QStringLiteral("0 Kb"));
}

void TestListing::names()
{
    const QList<StoredFile> files{
        {QByteArray("cut.sor\0junk", 12), "1", {}},
        {QByteArray(), "skipped: empty name", {}},
        {"IMAGELOGO.BIN", "2", {}},
        {"ImageLogo.bin", "3", {}},
        {"fibra-\xC3\xA7.sor", "4", {}},
    };
    WindowRig rig(files);
    QTRY_VERIFY(rig.listed(4));
    QCOMPARE(rig.cell(0, 1), QStringLiteral("cut.sor"));
    QCOMPARE(rig.cell(1, 1), QStringLiteral("IMAGELOGO.BIN"));
    QCOMPARE(rig.cell(2, 1), QStringLiteral("ImageLogo.bin"));
    QCOMPARE(rig.cell(3, 1), QString::fromUtf8("fibra-\xC3\xA7.sor"));
}

void TestListing::tableWaitsForTheTick()
{
    WindowRig rig(sampleFiles(3));
    // The end marker has been read once the instrument has nothing more on the line.
    QTRY_VERIFY_WITH_TIMEOUT(rig.instrument->settled() && !rig.instrument->requests().isEmpty(),
                             5000);
    QCOMPARE(rig.table->rowCount(), 0);
    QTRY_VERIFY(rig.listed(3));
}

void TestListing::mergedRecordsCountAsOne()
{
    SimulatedInstrument::Options options;
    options.mergeFirstRecords = true;
    WindowRig rig(sampleFiles(4), options);
    // trace0 and trace1 arrive in one read: one entry, named after the first.
    QTRY_VERIFY(rig.listed(3));
    QCOMPARE(rig.cell(0, 1), QStringLiteral("trace0.sor"));
    QCOMPARE(rig.cell(1, 1), QStringLiteral("trace2.sor"));
}

void TestListing::relistingReplacesTheList()
{
    const int threads = runningQThreads();
    {
        WindowRig rig(sampleFiles(5));
        QTRY_VERIFY(rig.listed(5));
        rig.tick(1);
        rig.erase->click();
        QTRY_VERIFY(rig.listed(4));
        QCOMPARE(rig.cell(0, 1), QStringLiteral("trace0.sor"));
        QCOMPARE(rig.cell(1, 1), QStringLiteral("trace2.sor"));
        QCOMPARE(rig.cell(3, 1), QStringLiteral("trace4.sor"));
        QCOMPARE(rig.table->item(4, 1), nullptr);
        // The objects of the first listing are gone: one status box, one worker thread.
        QTRY_COMPARE(rig.window->findChildren<QThread *>().size(), 1);
        QTRY_COMPARE(
            rig.window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
        QCOMPARE(rig.window->findChildren<QMessageBox *>().size(), 1);
        QCOMPARE(rig.instrument->requests().size(), 3); // list, delete, list

        // A second delete addresses the new numbering.
        rig.tick(3);
        rig.erase->click();
        QTRY_VERIFY(rig.listed(3));
        QCOMPARE(rig.instrument->requests().at(3), QByteArray("\x41\x04\x00", 3));
        QCOMPARE(rig.cell(2, 1), QStringLiteral("trace3.sor"));
    }
    QVERIFY(runningQThreads() <= threads);
}

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
