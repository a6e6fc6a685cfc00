#include "windowrig.h"

class TestSelection : public QObject
{
    Q_OBJECT

private slots:
    void clickTogglesItsRow_data();
    void clickTogglesItsRow();
    void selectAll();
    void selectAllStateOutlivesARebuild();
    void clickAfterRelisting();
};

void TestSelection::clickTogglesItsRow_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("before");
    QTest::newRow("tick cell") << 0 << QString();
    QTest::newRow("name cell") << 1 << QString();
    QTest::newRow("size cell") << 2 << QString();
    QTest::newRow("cleared by select-all") << 1 << QStringLiteral(" ");
}

void TestSelection::clickTogglesItsRow()
{
    QFETCH(int, column);
    QFETCH(QString, before);
    WindowRig rig(sampleFiles(3));
    rig.table->item(1, 0)->setText(before);
    const QRect rect = rig.table->visualRect(rig.table->model()->index(1, column));
    QTest::mouseClick(rig.table->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(rig.cell(1, 0), QStringLiteral("X"));
    QCOMPARE(rig.cell(0, 0), QString());
    QCOMPARE(rig.cell(2, 0), QString());
    QTest::mouseClick(rig.table->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(rig.cell(1, 0), QString());
    QCOMPARE(rig.table->item(1, 0)->data(Qt::TextAlignmentRole).toInt(), 0x84);
}

void TestSelection::selectAll()
{
    WindowRig rig(sampleFiles(3));
    rig.selectAll->click();
    for (int row = 0; row < 3; ++row)
        QCOMPARE(rig.cell(row, 0), QStringLiteral("X"));
    QCOMPARE(rig.selectAll->text(), QStringLiteral("Desselecionar todos"));
    // The longer caption is shown whole.
    QTRY_VERIFY(rig.selectAll->width() >= rig.selectAll->sizeHint().width());
    // Unticking one row by hand leaves the button as it is.
    rig.tick(1);
    QCOMPARE(rig.cell(1, 0), QString());
    QCOMPARE(rig.selectAll->text(), QStringLiteral("Desselecionar todos"));
    rig.selectAll->click();
    for (int row = 0; row < 3; ++row)
        QCOMPARE(rig.cell(row, 0), QStringLiteral(" "));
    QCOMPARE(rig.selectAll->text(), QStringLiteral("Selecionar todos"));
    QTRY_VERIFY(rig.selectAll->width() >= rig.selectAll->sizeHint().width());
}

void TestSelection::selectAllStateOutlivesARebuild()
{
    QTemporaryDir dir;
    WindowRig rig(sampleFiles(3));
    rig.selectAll->click();
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseDirectory(dir.path()));
    rig.save->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.save->isEnabled() && rig.instrument->requests().size() == 4,
                             10000);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(rig.cell(row, 0), QString());
    QCOMPARE(rig.selectAll->text(), QStringLiteral("Desselecionar todos"));
    rig.selectAll->click();
    for (int row = 0; row < 3; ++row)
        QCOMPARE(rig.cell(row, 0), QStringLiteral(" "));
    QCOMPARE(rig.selectAll->text(), QStringLiteral("Selecionar todos"));
    rig.selectAll->click();
    QCOMPARE(rig.cell(2, 0), QStringLiteral("X"));
}

void TestSelection::clickAfterRelisting()
{
    WindowRig rig(sampleFiles(4));
    rig.tick(0);
    rig.erase->click();
    QTRY_VERIFY(rig.listed(3));
    rig.tick(1);
    QCOMPARE(rig.cell(1, 0), QStringLiteral("X"));
    rig.tick(1);
    QCOMPARE(rig.cell(1, 0), QString());
}

QTEST_MAIN(TestSelection)
#include "tst_selection.moc"
