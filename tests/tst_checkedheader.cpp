#include "widgets/checkedheader.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QtTest>

// Counts the presses that reach QHeaderView's own handling.
class ProbeHeader : public CheckedHeader
{
public:
    using CheckedHeader::CheckedHeader;
    int basePresses = 0;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        const bool wasChecked = isChecked();
        CheckedHeader::mousePressEvent(event);
        if (isChecked() == wasChecked)
            ++basePresses;
    }
};

class TestCheckedHeader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void press_data();
    void press();
    void twoPresses();
    void disabled();
    void setChecked();
    void boxRect_data();
    void boxRect();

private:
    QPoint sectionCentre(int section) const;

    QTableView *view = nullptr;
    QStandardItemModel *model = nullptr;
    ProbeHeader *header = nullptr;
};

void TestCheckedHeader::init()
{
    view = new QTableView;
    model = new QStandardItemModel(2, 3, view);
    view->setModel(model);
    header = new ProbeHeader(Qt::Horizontal, view);
    view->setHorizontalHeader(header);
    header->resizeSection(0, 30);
    header->resizeSection(1, 100);
    header->resizeSection(2, 80);
    view->resize(400, 200);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
}

void TestCheckedHeader::cleanup()
{
    delete view;
    view = nullptr;
}

QPoint TestCheckedHeader::sectionCentre(int section) const
{
    if (section >= header->count())
        return QPoint(header->length() + 20, header->height() / 2);
    return QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                  header->height() / 2);
}

void TestCheckedHeader::press_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<bool>("flips");
    QTest::newRow("section 0") << 0 << true;
    QTest::newRow("section 1") << 1 << false;
    QTest::newRow("section 2") << 2 << false;
    QTest::newRow("past the last") << 3 << false;
}

void TestCheckedHeader::press()
{
    QFETCH(int, section);
    QFETCH(bool, flips);
    QSignalSpy toggled(header, &CheckedHeader::toggled);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, sectionCentre(section));
    QCOMPARE(header->isChecked(), flips);
    QCOMPARE(toggled.count(), flips ? 1 : 0);
    if (flips)
        QCOMPARE(toggled.first().first().toBool(), true);
    // Only presses elsewhere go on to the base class.
    QCOMPARE(header->basePresses, flips ? 0 : 1);
}

void TestCheckedHeader::twoPresses()
{
    QSignalSpy toggled(header, &CheckedHeader::toggled);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, sectionCentre(0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, sectionCentre(0));
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, sectionCentre(0));
    QCOMPARE(toggled.count(), 2);
    QCOMPARE(toggled.at(0).first().toBool(), true);
    QCOMPARE(toggled.at(1).first().toBool(), false);
}

void TestCheckedHeader::disabled()
{
    header->setEnabled(false);
    QSignalSpy toggled(header, &CheckedHeader::toggled);
    header->setChecked(true);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, sectionCentre(0));
    QCOMPARE(header->isChecked(), false);
    QCOMPARE(toggled.count(), 0);
}

void TestCheckedHeader::setChecked()
{
    QSignalSpy toggled(header, &CheckedHeader::toggled);
    header->setChecked(false);
    QCOMPARE(toggled.count(), 0);
    header->setChecked(true);
    header->setChecked(true);
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.first().first().toBool(), true);
}

void TestCheckedHeader::boxRect_data()
{
    QTest::addColumn<QRect>("section");
    QTest::newRow("x 0, width 30") << QRect(0, 0, 30, 24);
    QTest::newRow("offset section") << QRect(40, 3, 101, 17);
}

void TestCheckedHeader::boxRect()
{
    QFETCH(QRect, section);
    QStyleOptionButton option;
    const QRect indicator = header->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option);
    const QRect box = header->checkBoxRect(section);
    QCOMPARE(box.size(), indicator.size());
    QCOMPARE(box.x(), section.x() + section.width() / 2 - indicator.width() / 2);
    QCOMPARE(box.y(), section.y() + section.height() / 2 - indicator.height() / 2);
    if (indicator.width() == 13 && section.x() == 0 && section.width() == 30)
        QCOMPARE(box.x(), 9);
}

QTEST_MAIN(TestCheckedHeader)
#include "tst_checkedheader.moc"
