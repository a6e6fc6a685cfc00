#include "analysis/analysis.h"
#include "analysis/eventaxis.h"
#include "sor/sorexport.h"
#include "sor/sorreader.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(SorWriter::Case)

// A file's events and its points on one axis, whatever offsets the maker stored: every stored
// reflection lies on the trace's reflection, and the analysis measures on the same axis.
class TestEventAxis : public QObject
{
    Q_OBJECT

private slots:
    void reflectionsUnderTheirEvents_data();
    void reflectionsUnderTheirEvents();
    void aShiftedTableIsFound();
    void analysisOnTheSameAxis_data();
    void analysisOnTheSameAxis();
    void exportedPoints();
};

namespace {

constexpr double SearchM = 1500;

void offsetRows()
{
    QTest::addColumn<SorWriter::Case>("c");
    for (const SorWriter::Case &c : SorWriter::offsetCases())
        QTest::newRow(qPrintable(c.name)) << c;
    SorWriter::Case plain = SorWriter::sampleTraces().first();
    QTest::newRow("no offsets") << plain;
}

} // namespace

void TestEventAxis::reflectionsUnderTheirEvents_data()
{
    offsetRows();
}

// Read back, each stored reflective event sits on its reflection: the whole table would have
// to move by no more than the pulse's length and two samples to lie better.
void TestEventAxis::reflectionsUnderTheirEvents()
{
    QFETCH(SorWriter::Case, c);
    const Sor::Trace t = Sor::read(SorWriter::write(c.trace));
    QVERIFY(t.warnings.isEmpty());
    const std::optional<double> shift = Analysis::eventAxisShiftM(t, SearchM);
    QVERIFY(shift);
    QVERIFY2(std::abs(*shift) <= Sor::eventToleranceM(t),
             qPrintable(QStringLiteral("shift %1 m").arg(*shift)));
    // The points reach back over the launch: the first lies at minus the span's start.
    QVERIFY(std::abs(t.distanceM.front() + c.spanStartM) < 0.05);
}

// The check itself tells a table that is off: events moved by 300 m are found 300 m off.
void TestEventAxis::aShiftedTableIsFound()
{
    const SorWriter::Case c = SorWriter::offsetCases().last();
    Sor::Trace t = Sor::read(SorWriter::write(c.trace));
    for (Sor::Event &e : t.keyEvents->events)
        e.distanceM += 300;
    const std::optional<double> shift = Analysis::eventAxisShiftM(t, SearchM);
    QVERIFY(shift);
    QVERIFY2(std::abs(*shift + 300) <= Sor::eventToleranceM(t),
             qPrintable(QStringLiteral("shift %1 m").arg(*shift)));
}

void TestEventAxis::analysisOnTheSameAxis_data()
{
    offsetRows();
}

// The analysis' events lie where the file's own do: each stored reflection past the span's
// start is found within the tolerance, and the fibre's end at the stored end.
void TestEventAxis::analysisOnTheSameAxis()
{
    QFETCH(SorWriter::Case, c);
    const Sor::Trace t = Sor::read(SorWriter::write(c.trace));
    const Analysis::Result r = Analysis::analyze(t);
    const double tolerance = Sor::eventToleranceM(t);
    for (const Sor::Event &stored : t.keyEvents->events) {
        if (!stored.reflective() || stored.distanceM <= tolerance)
            continue;
        bool found = false;
        for (const Analysis::Event &e : r.events)
            found = found || std::abs(e.distanceM - stored.distanceM) <= tolerance;
        QVERIFY2(found,
                 qPrintable(
                     QStringLiteral("event %1 at %2 m").arg(stored.number).arg(stored.distanceM)));
    }
    QVERIFY(r.fiberEndM);
    QVERIFY2(std::abs(*r.fiberEndM - t.keyEvents->events.last().distanceM) <= tolerance,
             qPrintable(QString::number(*r.fiberEndM)));
}

// The export gives the offsets and the points on the events' axis, the launch at negative
// distances.
void TestEventAxis::exportedPoints()
{
    const SorWriter::Case c = SorWriter::offsetCases().at(2); // a launch reel of 1,004.4 m
    QCOMPARE(c.name, QStringLiteral("user offset"));
    const Sor::Trace t = Sor::read(SorWriter::write(c.trace));
    const QJsonObject json = Sor::toJson(t, true);
    QVERIFY(std::abs(json.value("user_offset_m").toDouble() - 1004.4) < 0.05);
    QCOMPARE(json.value("front_panel_offset_m").toDouble(), 0.0);
    QCOMPARE(json.value("acquisition_offset_m").toDouble(), 0.0);
    QVERIFY(std::abs(json.value("span_start_m").toDouble() - 1004.4) < 0.05);
    QCOMPARE(json.value("offsets_applied").toBool(), true);
    QCOMPARE(json.value("offsets_stored").toObject().value("user").toInt(), c.trace.userOffset);
    QCOMPARE(json.value("offsets_stored").toObject().value("user_distance").toInt(), 10044);
    const QJsonArray distance = json.value("trace").toObject().value("distance_m").toArray();
    QVERIFY(std::abs(distance.first().toDouble() + 1004.4) < 0.05);
    // The reel's end, event 1, at 0 m: the point nearest 0 is the reflection's foot.
    QCOMPARE(json.value("events").toArray().first().toObject().value("distance_m").toDouble(), 0.0);
}

QTEST_GUILESS_MAIN(TestEventAxis)
#include "tst_eventaxis.moc"
