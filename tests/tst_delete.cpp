#include "windowrig.h"

#include <QLabel>

class TestDelete : public QObject
{
    Q_OBJECT

private slots:
    void ticked_data();
    void ticked();
    void otherMarksAreNotTicks();
    void wrongAcknowledgements_data();
    void wrongAcknowledgements();
    void nothingTicked();
    void beforeTheFirstListing();
};

void TestDelete::ticked_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("rows 1 and 3") << QList<int>{1, 3}
                                  << QList<QByteArray>{SimulatedInstrument::deleteRequest(2),
                                                       SimulatedInstrument::deleteRequest(4)}
                                  << QStringList{"trace0.sor", "trace2.sor", "trace4.sor"};
    QTest::newRow("one row") << QList<int>{4}
                             << QList<QByteArray>{SimulatedInstrument::deleteRequest(5)}
                             << QStringList{"trace0.sor", "trace1.sor", "trace2.sor", "trace3.sor"};
    QTest::newRow("all rows") << QList<int>{0, 1, 2, 3, 4}
                              << QList<QByteArray>{SimulatedInstrument::deleteRequest(1),
                                                   SimulatedInstrument::deleteRequest(2),
                                                   SimulatedInstrument::deleteRequest(3),
                                                   SimulatedInstrument::deleteRequest(4),
                                                   SimulatedInstrument::deleteRequest(5)}
                              << QStringList{};
}

void TestDelete::ticked()
{
    QFETCH(QList<int>, rows);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QStringList, left);
    WindowRig rig(sampleFiles(5));
    QList<bool> settledAtRequest;
    QList<bool> dialogAtRequest;
    connect(rig.instrument.get(), &SimulatedInstrument::requestReceived, this, [&] {
        settledAtRequest.append(rig.instrument->settled());
        dialogAtRequest.append(rig.deleteDialog()->isVisible());
    });
    for (int row : rows)
        rig.tick(row);
    // The dialog: its text, a busy bar half the window wide, and a blank line.
    QStringList texts;
    for (const QLabel *label : rig.deleteDialog()->findChildren<QLabel *>())
        texts.append(label->text());
    QCOMPARE(texts, QStringList({"Apagando arquivo, por favor aguarde.", " "}));
    const auto *busy = rig.deleteDialog()->findChild<QProgressBar *>();
    QCOMPARE(busy->minimum(), 0);
    QCOMPARE(busy->maximum(), 0);
    QCOMPARE(busy->minimumWidth(), rig.window->width() / 2);
    ModalWatcher watcher;
    rig.erase->click();
    QTRY_VERIFY(rig.listed(left.size()));
    QVERIFY(!rig.deleteDialog()->isVisible());
    QVERIFY(watcher.seen().isEmpty()); // no confirmation, no report

    requests.prepend(SimulatedInstrument::listRequest());
    requests.append(SimulatedInstrument::listRequest());
    QCOMPARE(rig.instrument->requests(), requests);
    for (bool settled : qAsConst(settledAtRequest))
        QVERIFY(settled);
    // Shown while each delete request is out, closed before the listing request.
    QCOMPARE(dialogAtRequest.size(), rows.size() + 1);
    QCOMPARE(dialogAtRequest.count(true), rows.size());
    QCOMPARE(dialogAtRequest.last(), false);
    for (int row = 0; row < left.size(); ++row) {
        QCOMPARE(rig.cell(row, 1), left.at(row));
        QCOMPARE(rig.cell(row, 0), QString());
    }
}

void TestDelete::otherMarksAreNotTicks()
{
    WindowRig rig(sampleFiles(4));
    rig.table->item(0, 0)->setText(QStringLiteral(" "));
    rig.table->item(1, 0)->setText(QStringLiteral("x"));
    rig.tick(2);
    rig.erase->click();
    QTRY_VERIFY(rig.listed(3));
    QCOMPARE(rig.instrument->requests().at(1), SimulatedInstrument::deleteRequest(3));
    QCOMPARE(rig.instrument->requests().size(), 3);
}

void TestDelete::wrongAcknowledgements_data()
{
    QTest::addColumn<QByteArray>("ack");
    QTest::newRow("lower case") << QByteArray("ok");
    QTest::newRow("line end") << QByteArray("OK\r\n");
    QTest::newRow("zero byte") << QByteArray("OK\0", 3);
}

void TestDelete::wrongAcknowledgements()
{
    QFETCH(QByteArray, ack);
    SimulatedInstrument::Options options;
    options.ackReply = ack;
    WindowRig rig(sampleFiles(4), options);
    rig.tick(0);
    rig.tick(1);
    rig.erase->click();
    QTRY_COMPARE(rig.instrument->requests().size(), 2);
    QTRY_VERIFY(rig.instrument->settled());
    QTest::qWait(300);
    // The run is still waiting for its "OK".
    QCOMPARE(rig.instrument->requests().size(), 2);
    QVERIFY(rig.deleteDialog()->isVisible());
    QVERIFY(!rig.erase->isEnabled());
}

void TestDelete::nothingTicked()
{
    QTemporaryDir dir;
    WindowRig rig(sampleFiles(3));
    rig.erase->click();
    QTest::qWait(300);
    QCOMPARE(rig.instrument->requests().size(), 1);
    QVERIFY(!rig.deleteDialog()->isVisible());
    QVERIFY(rig.erase->isEnabled());
    // The worker thread is ready for the next action.
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(dir.filePath("next.sor")));
    rig.tick(0);
    rig.save->click();
    QTRY_VERIFY(QFile::exists(dir.filePath("next.sor")));
    rig.tick(1);
    rig.erase->click();
    QTRY_VERIFY(rig.listed(2));
}

void TestDelete::beforeTheFirstListing()
{
    SimulatedInstrument::Options options;
    options.stopAfterRequests = 0;
    WindowRig rig(sampleFiles(3), options, WindowRig::Unlisted);
    QTRY_COMPARE(rig.instrument->requests().size(), 1);
    rig.erase->click();
    QTest::qWait(200);
    QCOMPARE(rig.instrument->requests().size(), 1);
    QVERIFY(!rig.deleteDialog()->isVisible());
}

QTEST_MAIN(TestDelete)
#include "tst_delete.moc"
