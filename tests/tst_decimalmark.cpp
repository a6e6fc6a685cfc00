#include "route/decimalmark.h"

#include <QtTest>

#include <cmath>

// How a route file's numbers are read by their decimal mark: known answers for each way a
// spreadsheet writes one, and the ones that are no number.
class TestDecimalMark : public QObject
{
    Q_OBJECT

private slots:
    void writtenAs_data();
    void writtenAs();
    void number_data();
    void number();
};

Q_DECLARE_METATYPE(Route::Mark)

void TestDecimalMark::writtenAs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Route::Mark>("decimal");
    QTest::addColumn<bool>("grouping");
    QTest::newRow("an integer: no mark") << "1250" << Route::Mark::Unknown << false;
    QTest::newRow("a decimal comma") << "1250,5" << Route::Mark::Comma << false;
    QTest::newRow("a decimal point") << "812.25" << Route::Mark::Point << false;
    QTest::newRow("two decimals after a comma: no group") << "12,50" << Route::Mark::Comma << false;
    // One group of three after a single mark: 1,5 or 1500, for the rest of the file to decide.
    QTest::newRow("1,500: either way") << "1,500" << Route::Mark::Comma << true;
    QTest::newRow("-1.500: either way, signed") << "-1.500" << Route::Mark::Point << true;
    // Several groups: the mark groups thousands, so the decimal one is the other.
    QTest::newRow("1.234.567: points group") << "1.234.567" << Route::Mark::Comma << false;
    QTest::newRow("1,234,567: commas group") << "1,234,567" << Route::Mark::Point << false;
    // Both marks: the last one is decimal.
    QTest::newRow("12.345,5") << "12.345,5" << Route::Mark::Comma << false;
    QTest::newRow("1,000.5") << "1,000.5" << Route::Mark::Point << false;
    QTest::newRow("spaces about it") << " 7,25 " << Route::Mark::Comma << false;
}

void TestDecimalMark::writtenAs()
{
    QFETCH(QString, text);
    QFETCH(Route::Mark, decimal);
    QFETCH(bool, grouping);
    const Route::Written w = Route::writtenAs(text);
    QCOMPARE(w.decimal, decimal);
    QCOMPARE(w.grouping, grouping);
}

void TestDecimalMark::number_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Route::Mark>("mark");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value"); // NaN: none
    const double none = std::nan("");
    QTest::newRow("grouped thousands, decimal comma")
        << "12.345,5" << Route::Mark::Comma << true << 12345.5;
    QTest::newRow("grouped thousands, decimal point")
        << "1,000.5" << Route::Mark::Point << true << 1000.5;
    QTest::newRow("1.500 with a decimal comma: 1500")
        << "1.500" << Route::Mark::Comma << true << 1500.0;
    QTest::newRow("1.500 with a decimal point: 1,5")
        << "1.500" << Route::Mark::Point << true << 1.5;
    QTest::newRow("a signed coordinate") << "-46,633" << Route::Mark::Comma << true << -46.633;
    QTest::newRow("an empty field: none, no mistake") << "  " << Route::Mark::Comma << true << none;
    // The grouping mark only before the decimal one.
    QTest::newRow("a group after the decimal mark")
        << "1,000.5" << Route::Mark::Comma << false << none;
    QTest::newRow("two decimal marks") << "12,5,3" << Route::Mark::Comma << false << none;
    QTest::newRow("a sign alone") << "-" << Route::Mark::Comma << false << none;
    QTest::newRow("an exponent") << "1e3" << Route::Mark::Point << false << none;
    QTest::newRow("a word") << "doze" << Route::Mark::Comma << false << none;
}

void TestDecimalMark::number()
{
    QFETCH(QString, text);
    QFETCH(Route::Mark, mark);
    QFETCH(bool, ok);
    QFETCH(double, value);
    bool read = !ok; // set by the call either way
    const std::optional<double> v = Route::number(text, mark, read);
    QCOMPARE(read, ok);
    QCOMPARE(v.has_value(), !std::isnan(value));
    if (v)
        QCOMPARE(*v, value);
}

QTEST_GUILESS_MAIN(TestDecimalMark)
#include "tst_decimalmark.moc"
