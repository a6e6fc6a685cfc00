#include "widgets/checkedheader.h"

#include <QProxyStyle>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QtTest>

// A style whose check-box indicator is 13 pixels square, as in the common desktop styles.
class IndicatorStyle : public QProxyStyle
{
public:
    QRect subElementRect(SubElement element,
                         const QStyleOption *option,
                         const QWidget *widget) const override
    {
        if (element == SE_CheckBoxIndicator)
            return QRect(0, 0, 13, 13);
        return QProxyStyle::subElementRect(element, option, widget);
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
    CheckedHeader *header = nullptr;
    IndicatorStyle style;
};

void TestCheckedHeader::init()
{
    view = new QTableView;
    model = new QStandardItemModel(2, 3, view);
    view->setModel(model);
    header = new CheckedHeader(Qt::Horizontal, view);
    header->setStyle(&style);
    // QHeaderView's own press handling reports the press of a clickable section.
    header->setSectionsClickable(true);
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
    QSignalSpy basePressed(header, &QHeaderView::sectionPressed);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, sectionCentre(section));
    QCOMPARE(header->isChecked(), flips);
    QCOMPARE(toggled.count(), flips ? 1 : 0);
    if (flips)
        QCOMPARE(toggled.first().first().toBool(), true);
    // Only presses on the other sections go on to QHeaderView's own handling.
    QCOMPARE(basePressed.count(), flips ? 0 : 1);
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
    QTest::addColumn<QPoint>("corner");
    QTest::newRow("x 0, width 30") << QRect(0, 0, 30, 24) << QPoint(9, 6);
    QTest::newRow("offset section") << QRect(40, 3, 101, 17) << QPoint(84, 5);
}

// The indicator is centred: for a 13-pixel box in a 30-pixel section, its left edge is at 9.
void TestCheckedHeader::boxRect()
{
    QFETCH(QRect, section);
    QFETCH(QPoint, corner);
    QCOMPARE(header->checkBoxRect(section), QRect(corner, QSize(13, 13)));
}

QTEST_MAIN(TestCheckedHeader)
#include "tst_checkedheader.moc"
