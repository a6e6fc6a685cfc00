#include "sor/linesums.h"

#include <QtTest>

#include <cmath>

// The sums of a line through a trace's levels, on a trace whose levels lie on a known line:
// which points they take (both ends in, "no data" out), the slope in dB per km and where the
// line crosses the stretch's origin.
class TestLineSums : public QObject
{
    Q_OBJECT

private slots:
    void levelSums_data();
    void levelSums();
};

namespace {

// 101 points 10 m apart, on 3 dB less 0.25 dB per km; "no data" at 700 m.
Sor::Trace slopingTrace()
{
    Sor::Trace t;
    for (int i = 0; i <= 100; ++i) {
        const double m = 10.0 * i;
        t.distanceM.push_back(m);
        t.levelDb.push_back(m == 700 ? std::numeric_limits<double>::quiet_NaN()
                                     : 3 - 0.25 * m / 1000);
    }
    return t;
}

} // namespace

void TestLineSums::levelSums_data()
{
    QTest::addColumn<double>("fromM");
    QTest::addColumn<double>("toM");
    QTest::addColumn<double>("originM");
    QTest::addColumn<int>("points");
    QTest::addColumn<double>("sumOfKm");
    QTest::newRow("the whole trace, no data left out") << 0.0 << 1000.0 << 0.0 << 100 << 49.8;
    QTest::newRow("both ends taken") << 100.0 << 200.0 << 0.0 << 11 << 1.65;
    QTest::newRow("ends between points") << 105.0 << 195.0 << 0.0 << 9 << 1.35;
    QTest::newRow("no data left out") << 650.0 << 750.0 << 0.0 << 10 << 7.0;
    QTest::newRow("from the stretch's start") << 500.0 << 1000.0 << 500.0 << 50 << 12.55;
    QTest::newRow("one point: no line") << 300.0 << 300.0 << 0.0 << 1 << 0.3;
    QTest::newRow("past the trace") << 2000.0 << 3000.0 << 0.0 << 0 << 0.0;
}

void TestLineSums::levelSums()
{
    QFETCH(double, fromM);
    QFETCH(double, toM);
    QFETCH(double, originM);
    QFETCH(int, points);
    QFETCH(double, sumOfKm);
    const Sor::LineSums sums = Sor::levelSums(slopingTrace(), fromM, toM, originM);
    QCOMPARE(int(sums.n), points);
    QVERIFY2(std::abs(sums.sx - sumOfKm) < 1e-9, qPrintable(QString::number(sums.sx)));
    // Points at distinct places make a line from two on.
    QCOMPARE(sums.determinant() > 0, points >= 2);
    if (points < 2)
        return;
    QVERIFY2(std::abs(sums.slope() + 0.25) < 1e-9, qPrintable(QString::number(sums.slope())));
    // The line crosses the stretch's origin at the level the trace has there.
    const double atOrigin = 3 - 0.25 * originM / 1000;
    QVERIFY2(std::abs(sums.intercept(sums.slope()) - atOrigin) < 1e-9,
             qPrintable(QString::number(sums.intercept(sums.slope()))));
}

QTEST_GUILESS_MAIN(TestLineSums)
#include "tst_linesums.moc"
