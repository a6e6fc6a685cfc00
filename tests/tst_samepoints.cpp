#include "sor/samepoints.h"

#include <QtTest>

#include <limits>

// Whether two traces are one measurement saved twice: every point within the margin, "no data"
// only against "no data".
class TestSamePoints : public QObject
{
    Q_OBJECT

private slots:
    void samePoints_data();
    void samePoints();
};

namespace {

constexpr double NoData = std::numeric_limits<double>::quiet_NaN();

Sor::Trace levels(const std::vector<double> &db)
{
    Sor::Trace t;
    t.levelDb = db;
    for (size_t i = 0; i < db.size(); ++i)
        t.distanceM.push_back(10.0 * double(i));
    return t;
}

} // namespace

void TestSamePoints::samePoints_data()
{
    QTest::addColumn<std::vector<double>>("a");
    QTest::addColumn<std::vector<double>>("b");
    QTest::addColumn<bool>("same");
    const std::vector<double> trace{3.0, 2.5, NoData, 1.0};
    QTest::newRow("the same points") << trace << trace << true;
    QTest::newRow("within the margin")
        << trace << std::vector<double>{3.0, 2.509, NoData, 0.991} << true;
    QTest::newRow("one point beyond it")
        << trace << std::vector<double>{3.0, 2.52, NoData, 1.0} << false;
    QTest::newRow("no data against a level")
        << trace << std::vector<double>{3.0, 2.5, 2.0, 1.0} << false;
    QTest::newRow("a level against no data")
        << std::vector<double>{3.0, 2.5, 2.0, 1.0} << trace << false;
    QTest::newRow("one point more")
        << trace << std::vector<double>{3.0, 2.5, NoData, 1.0, 0.5} << false;
    QTest::newRow("no points") << std::vector<double>{} << std::vector<double>{} << false;
}

void TestSamePoints::samePoints()
{
    QFETCH(std::vector<double>, a);
    QFETCH(std::vector<double>, b);
    QFETCH(bool, same);
    QCOMPARE(Sor::samePoints(levels(a), levels(b), 0.01), same);
    QCOMPARE(Sor::samePoints(levels(b), levels(a), 0.01), same);
}

QTEST_GUILESS_MAIN(TestSamePoints)
#include "tst_samepoints.moc"
