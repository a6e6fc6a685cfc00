#include "widgets/checkedheader.h"
#include "windowrig.h"

#include <QAction>
#include <QHeaderView>
#include <QPointer>
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
    void refresh_data();
    void refresh();
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
    WindowRig rig(sampleFiles(files), options, WindowRig::Unlisted);
    // The tick sizes the columns, with or without rows.
    QTRY_COMPARE(rig.table->columnWidth(0), 30);
    QVERIFY(rig.listed(rows));
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
    QCOMPARE(rig.instrument->requests(), QList<QByteArray>{SimulatedInstrument::listRequest()});
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
    WindowRig rig(files, {}, WindowRig::Unlisted);
    QTRY_VERIFY(rig.listed(4));
    QCOMPARE(rig.cell(0, 1), QStringLiteral("cut.sor"));
    QCOMPARE(rig.cell(1, 1), QStringLiteral("IMAGELOGO.BIN"));
    QCOMPARE(rig.cell(2, 1), QStringLiteral("ImageLogo.bin"));
    QCOMPARE(rig.cell(3, 1), QString::fromUtf8("fibra-\xC3\xA7.sor"));
}

// The end marker sets the table up once; 500 ms later one tick rebuilds it, then holds the
// window still for 200 ms; no later tick undoes the user's ticks.
void TestListing::tableWaitsForTheTick()
{
    WindowRig rig(sampleFiles(3), {}, WindowRig::Unlisted);
    rig.window->setListingTiming(MainWindow::ListingTickMs, MainWindow::TickPauseMs);
    QElapsedTimer clock;
    clock.start();
    qint64 markerMs = -1;
    qint64 rebuiltMs = -1;
    qint64 lastBeat = 0;
    qint64 longestStall = 0;
    connect(rig.instrument.get(), &SimulatedInstrument::statusReplyWritten, this, [&](auto reply) {
        if (reply.mid(2).startsWith(SimulatedInstrument::EndMarker))
            markerMs = clock.elapsed();
    });
    connect(rig.table->model(), &QAbstractItemModel::rowsInserted, this, [&] {
        if (rebuiltMs < 0)
            rebuiltMs = clock.elapsed();
    });
    QTimer heartbeat;
    connect(&heartbeat, &QTimer::timeout, this, [&] {
        longestStall = qMax(longestStall, clock.elapsed() - lastBeat);
        lastBeat = clock.elapsed();
    });
    heartbeat.start(10);
    QTRY_VERIFY(markerMs >= 0 && rig.instrument->settled());
    QPointer<QHeaderView> header = rig.table->horizontalHeader();
    QCOMPARE(rig.table->rowCount(), 0);
    QTRY_VERIFY(rig.listed(3));
    QVERIFY2(rebuiltMs - markerMs >= 450, qPrintable(QString::number(rebuiltMs - markerMs)));
    QVERIFY(qobject_cast<CheckedHeader *>(header));
    QCOMPARE(rig.table->horizontalHeader(), header.data());
    rig.tick(1);
    QTest::qWait(700); // a second tick would have come 500 ms after the first
    QVERIFY2(longestStall >= 190, qPrintable(QString::number(longestStall)));
    QCOMPARE(rig.cell(1, 0), QStringLiteral("X"));
    // An end marker that no request asked for sets nothing up.
    rig.instrument->sendRaw(SimulatedInstrument::listRecord(2048, SimulatedInstrument::EndMarker));
    QTRY_VERIFY(rig.instrument->settled());
    QTest::qWait(600);
    QCOMPARE(rig.table->horizontalHeader(), header.data());
    QCOMPARE(rig.cell(1, 0), QStringLiteral("X"));
}

void TestListing::mergedRecordsCountAsOne()
{
    SimulatedInstrument::Options options;
    options.mergeFirstRecords = true;
    WindowRig rig(sampleFiles(4), options, WindowRig::Unlisted);
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
            rig.window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly).count(),
            4); // the poll timer, the reply, quiet and watch timers
        QCOMPARE(rig.window->findChildren<QMessageBox *>().size(), 1);
        QCOMPARE(rig.instrument->requests().size(), 3); // list, delete, list

        // A second delete addresses the new numbering.
        rig.tick(3);
        rig.erase->click();
        QTRY_VERIFY(rig.listed(3));
        QCOMPARE(rig.instrument->requests().at(3), SimulatedInstrument::deleteRequest(4));
        QCOMPARE(rig.cell(2, 1), QStringLiteral("trace3.sor"));
    }
    QVERIFY(runningQThreads() <= threads);
}

void TestListing::refresh_data()
{
    QTest::addColumn<bool>("duringARun");
    QTest::newRow("idle") << false;
    QTest::newRow("during a download") << true;
}

// F5 lists the instrument again when the link is idle, and does nothing during a run.
void TestListing::refresh()
{
    QFETCH(bool, duringARun);
    QTemporaryDir dir;
    SimulatedInstrument::Options options;
    options.replyPauseMs = duringARun ? 20 : 0;
    WindowRig rig(sampleFiles(3, 64 * 20), options);
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    rig.tick(0);
    ModalWatcher watcher;
    if (duringARun) {
        watcher.push(ModalWatcher::chooseFile(dir.filePath("a.sor")));
        rig.save->click();
        QTRY_COMPARE(rig.instrument->requests().size(), 2);
    }
    QList<StoredFile> files = sampleFiles(4, 64 * 20);
    files.removeAt(1);
    rig.instrument->setFiles(files);
    QTest::keyClick(rig.window.get(), Qt::Key_F5);
    if (duringARun) {
        QTRY_VERIFY_WITH_TIMEOUT(rig.save->isEnabled(), 10000);
        QCOMPARE(rig.instrument->requests().size(), 2);
        QCOMPARE(rig.cell(1, 1), QStringLiteral("trace1.sor"));
        return;
    }
    QTRY_VERIFY(rig.listed(3));
    QTRY_COMPARE(rig.cell(1, 1), QStringLiteral("trace2.sor"));
    QCOMPARE(rig.cell(2, 1), QStringLiteral("trace3.sor"));
    QCOMPARE(rig.cell(0, 0), QString());
    QCOMPARE(rig.instrument->requests(),
             QList<QByteArray>(
                 {SimulatedInstrument::listRequest(), SimulatedInstrument::listRequest()}));
    // The table's context menu offers the same.
    auto *action = rig.window->findChild<QAction *>(QStringLiteral("refreshAction"));
    QVERIFY(rig.table->actions().contains(action));
    QCOMPARE(action->text(), QStringLiteral("Atualizar lista"));
}

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
