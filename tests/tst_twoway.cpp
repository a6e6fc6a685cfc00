#include "acceptance/direction.h"
#include "acceptance/pairing.h"
#include "acceptance/twoway.h"
#include "analysis/analysis.h"
#include "sor/sorreader.h"
#include "tracesim.h"

#include <QtTest>

using SorWriter::Simulation;
using SorWriter::TrueEvent;

// One fibre from both ends and at two wavelengths: generated pairs whose truth is known.
class TestTwoWay : public QObject
{
    Q_OBJECT

private slots:
    void averagesAGainer_data();
    void averagesAGainer();
    void commonOffset();
    void sectionsAveraged();
    void refusedPairs_data();
    void refusedPairs();
    void differentFibresNamed_data();
    void differentFibresNamed();
    void bends();
    void pairsInABatch();
    void mirroredTrace();
    void launchReels();
    void totalFromBothEnds();
    void bendsMatchWithinTolerance();
    void endsFromTraces_data();
    void endsFromTraces();
};

namespace {

// A 27 km fibre: a splice between fibres of unlike backscatter (a gainer from A), a connector,
// a splice only one end can see, and the end.
Simulation fibreFromA()
{
    Simulation s;
    s.pulseNs = 100;
    s.spacingM = 1;
    s.points = 30000;
    s.launchSnrDb = 32;
    TrueEvent gainer{TrueEvent::Step, 8000, -0.05, 0};
    gainer.lossFromEndDb = 0.25;
    TrueEvent onlyFromA{TrueEvent::Step, 20000, 0.3, 0};
    onlyFromA.lossFromEndDb = 0.0;
    s.events = {gainer,
                {TrueEvent::Reflection, 14000, 0.5, -45},
                onlyFromA,
                {TrueEvent::End, 27000, 0, -14}};
    return s;
}

struct Measured
{
    Sor::Trace trace;
    Acceptance::Measurement measurement;
};

// The simulation written as a file, read back and analysed: events as a user's would be.
Measured measured(const Simulation &s, const QString &name)
{
    Measured m;
    m.trace = Sor::read(SorWriter::write(SorWriter::simulatedTrace(s)));
    Analysis::Thresholds thresholds;
    thresholds.lossDb = 0.03;
    const Analysis::Result found = Analysis::analyze(m.trace, thresholds);
    m.measurement
        = Acceptance::measurementOf(name, m.trace, Acceptance::analysedLink(m.trace, found));
    return m;
}

QString describe(const Acceptance::TwoWay &t)
{
    QStringList lines;
    for (const Acceptance::TwoWayEvent &e : t.events) {
        lines << QStringLiteral("%1 m: %2 / %3 → %4 (%5)")
                     .arg(e.distanceM)
                     .arg(e.lossAbDb.value_or(qQNaN()))
                     .arg(e.lossBaDb.value_or(qQNaN()))
                     .arg(e.lossDb.value_or(qQNaN()))
                     .arg(Acceptance::seenFromText(e.seenFrom));
    }
    return lines.join(QLatin1Char('\n'));
}

Acceptance::Measurement handMade(const QString &name,
                                 const QVector<double> &positions,
                                 double lengthM,
                                 int pulseNs = 1000,
                                 double wavelength = 1550,
                                 const QVector<double> &attenuations = {})
{
    Acceptance::Measurement m;
    m.name = name;
    m.pulseNs = pulseNs;
    m.spacingM = 41;
    m.link.wavelengthNm = wavelength;
    m.link.lengthM = lengthM;
    for (int i = 0; i <= positions.size(); ++i) {
        Acceptance::JudgedEvent e;
        e.end = i == positions.size();
        e.distanceM = e.end ? lengthM : positions.at(i);
        e.lossDb = e.end ? 0 : 0.1;
        if (i < attenuations.size())
            e.attenuationDbKm = attenuations.at(i);
        m.link.events << e;
    }
    return m;
}

} // namespace

void TestTwoWay::averagesAGainer_data()
{
    QTest::addColumn<double>("endApartM"); // B measures the fibre this much longer
    QTest::newRow("ends agree") << 0.0;
    QTest::newRow("B's end two samples further") << 2.0;
    QTest::newRow("B's end two samples nearer") << -2.0;
}

// The gainer and its exaggerated twin average to the splice's true loss; the connector is
// matched; the splice only A sees is reported as such, with its one-way loss.
void TestTwoWay::averagesAGainer()
{
    QFETCH(double, endApartM);
    const Simulation a = fibreFromA();
    Simulation b = SorWriter::fromOtherEnd(a);
    b.events.last().positionM += endApartM;
    for (TrueEvent &e : b.events) {
        if (e.kind != TrueEvent::End)
            e.positionM += endApartM;
    }
    const Measured ma = measured(a, "A.sor");
    const Measured mb = measured(b, "B.sor");
    const QString problem = Acceptance::directionsProblem(ma.measurement, mb.measurement);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const Acceptance::TwoWay t = Acceptance::averageDirections(ma.measurement, mb.measurement);
    QVERIFY2(t.events.size() == 3, qPrintable(describe(t)));
    const Acceptance::TwoWayEvent &splice = t.events.at(0);
    QCOMPARE(splice.seenFrom, Acceptance::SeenFrom::Both);
    QVERIFY2(std::abs(*splice.lossAbDb + 0.05) < 0.02, qPrintable(describe(t)));
    QVERIFY2(std::abs(*splice.lossBaDb - 0.25) < 0.02, qPrintable(describe(t)));
    QVERIFY2(std::abs(*splice.lossDb - 0.10) <= 0.01, qPrintable(describe(t)));
    QVERIFY(std::abs(splice.distanceM - 8000) <= 2);
    const Acceptance::TwoWayEvent &connector = t.events.at(1);
    QCOMPARE(connector.seenFrom, Acceptance::SeenFrom::Both);
    QVERIFY(connector.reflective);
    QVERIFY(std::abs(*connector.lossDb - 0.5) <= 0.02);
    QVERIFY(connector.reflectanceDb && std::abs(*connector.reflectanceDb + 45) < 1);
    // The splice B's file does not store: measured on B's own points at A's place (it loses
    // nothing seen from there), not averaged in as a stored 0 nor left one-sided.
    const Acceptance::TwoWayEvent &one = t.events.at(2);
    QCOMPARE(one.seenFrom, Acceptance::SeenFrom::Both);
    QVERIFY(one.measuredB && !one.measuredA);
    QVERIFY2(one.lossBaDb && std::abs(*one.lossBaDb) <= 0.03, qPrintable(describe(t)));
    QVERIFY(std::abs(*one.lossAbDb - 0.3) <= 0.02);
    QVERIFY(std::abs(*one.lossDb - (*one.lossAbDb + *one.lossBaDb) / 2) < 1e-9);
    QCOMPARE(*t.fiberLengthM, std::max(*ma.measurement.link.lengthM, *mb.measurement.link.lengthM));
    QVERIFY(std::abs(*t.fiberLengthM - 27000 - std::max(0.0, endApartM)) <= 1);
}

// As two real ends disagree: every event 150 m off (±40 m) after mirroring, a 1 µs pulse at
// 41 m spacing. The common shift is found, every event matched once, in order.
void TestTwoWay::commonOffset()
{
    const QVector<double> splices{3000, 7400, 7600, 15000, 22000, 29500};
    const double length = 31391;
    const QVector<double> jitter{40, -35, 10, -20, 30, 0};
    QVector<double> fromB;
    for (int i = 0; i < splices.size(); ++i)
        fromB.prepend(length + 41 - (splices.at(i) - 150 + jitter.at(i)) * (length + 41) / length);
    const Acceptance::Measurement a = handMade("A.sor", splices, length);
    const Acceptance::Measurement b = handMade("B.sor", fromB, length + 41);
    const Acceptance::TwoWay t = Acceptance::averageDirections(a, b);
    QVERIFY2(t.events.size() == splices.size(), qPrintable(describe(t)));
    for (int i = 0; i < splices.size(); ++i) {
        QCOMPARE(t.events.at(i).seenFrom, Acceptance::SeenFrom::Both);
        QCOMPARE(t.events.at(i).distanceM, splices.at(i));
    }
    QVERIFY2(std::abs(t.shiftM - 150) < 20, qPrintable(QString::number(t.shiftM)));
    // A tolerance narrower than the ends' disagreement, with no shift allowed to mend it, leaves
    // the events apart: the shift, not the tolerance, is what matched them.
    const Acceptance::Matching unshifted = Acceptance::matchPositions(
        splices, QVector<double>{2850, 7250, 7450, 14850, 21850, 29350}, 40, 0);
    QCOMPARE(unshifted.matches.size(), 2 * splices.size());
}

// Each end stores a section's attenuation at the event that closes it as that end sees it: the
// same stretch of fibre is averaged, not neighbouring ones.
void TestTwoWay::sectionsAveraged()
{
    // A's sections: 0–1 km, 1–3 km, 3–5 km; B's, in its own order: A's 3–5, 1–3, 0–1 km.
    const Acceptance::Measurement a
        = handMade("A.sor", {1000, 3000}, 5000, 1000, 1550, {0.30, 0.40, 0.50});
    const Acceptance::Measurement b
        = handMade("B.sor", {2000, 4000}, 5000, 1000, 1550, {0.52, 0.38, 0.32});
    const Acceptance::TwoWay t = Acceptance::averageDirections(a, b);
    QCOMPARE(t.events.size(), 2);
    QVERIFY(std::abs(*t.events.at(0).attenuationDbKm - 0.31) < 1e-9);
    QVERIFY(std::abs(*t.events.at(1).attenuationDbKm - 0.39) < 1e-9);
    QVERIFY(std::abs(*t.lastSectionDbKm - 0.51) < 1e-9);
    const Acceptance::Link averaged = Acceptance::averagedLink(t, a.link, b.link);
    QCOMPARE(averaged.events.size(), 3);
    QVERIFY(averaged.events.last().end);
    QCOMPARE(averaged.events.last().attenuationDbKm, t.lastSectionDbKm);
}

void TestTwoWay::refusedPairs_data()
{
    QTest::addColumn<double>("wavelengthB");
    QTest::addColumn<int>("pulseB");
    QTest::addColumn<QString>("problem");
    QTest::newRow("wavelengths") << 1310.0 << 1000
                                 << "os comprimentos de onda diferem: 1550 nm em A.sor, "
                                    "1310 nm em B.sor";
    QTest::newRow("pulses") << 1550.0 << 300
                            << "as larguras de pulso diferem: 1000 ns em A.sor, 300 ns em B.sor";
    QTest::newRow("a pair") << 1550.0 << 1000 << QString();
}

void TestTwoWay::refusedPairs()
{
    QFETCH(double, wavelengthB);
    QFETCH(int, pulseB);
    QFETCH(QString, problem);
    const Acceptance::Measurement a = handMade("A.sor", {1000}, 5000);
    const Acceptance::Measurement b = handMade("B.sor", {4000}, 5000, pulseB, wavelengthB);
    QCOMPARE(Acceptance::directionsProblem(a, b), problem);
}

void TestTwoWay::differentFibresNamed_data()
{
    QTest::addColumn<QStringList>("idsA"); // cable, fibre
    QTest::addColumn<QStringList>("idsB");
    QTest::addColumn<QString>("problem");
    QTest::newRow("both ids in both files")
        << QStringList{"CB-12", "07"} << QStringList{"CB-12", "08"}
        << "são fibras diferentes: CB-12 / 07 em A.sor, CB-12 / 08 em B.sor";
    QTest::newRow("no fibre id in one file")
        << QStringList{"CB-12", ""} << QStringList{"CB-13", "07"}
        << "são fibras diferentes: cabo CB-12 em A.sor, CB-13 / 07 em B.sor";
    QTest::newRow("no cable id in either file")
        << QStringList{"", "07"} << QStringList{"", "08"}
        << "são fibras diferentes: fibra 07 em A.sor, fibra 08 em B.sor";
    QTest::newRow("ids named from the other end")
        << QStringList{"", "ELMMIL0007"} << QStringList{"", "MILELM0007"} << QString();
}

// Two fibres are named by the ids each file has: an id a file lacks is no empty side of a "/".
void TestTwoWay::differentFibresNamed()
{
    QFETCH(QStringList, idsA);
    QFETCH(QStringList, idsB);
    QFETCH(QString, problem);
    Acceptance::Measurement a = handMade("A.sor", {1000}, 5000);
    Acceptance::Measurement b = handMade("B.sor", {4000}, 5000);
    a.cableId = idsA.at(0);
    a.fiberId = idsA.at(1);
    b.cableId = idsB.at(0);
    b.fiberId = idsB.at(1);
    a.locationA = "CENTRAL";
    b.locationA = "CAIXA";
    QCOMPARE(Acceptance::identityProblem("A.sor", a, "B.sor", b), problem);
}

// 1310 and 1550 nm of one fibre, a bend adding 1.2 dB at 1550 nm to the second of three
// events: that event, and no other, is flagged; so is a bend 1310 nm does not see at all.
void TestTwoWay::bends()
{
    Simulation s;
    s.pulseNs = 100;
    s.spacingM = 1;
    s.points = 30000;
    s.launchSnrDb = 32;
    s.wavelengthNm = 1310;
    s.attenuationDbKm = 0.33;
    s.events = {{TrueEvent::Step, 5000, 0.15, 0},
                {TrueEvent::Step, 11000, 0.2, 0},
                {TrueEvent::Reflection, 17000, 0.4, -50},
                {TrueEvent::End, 25000, 0, -14}};
    Simulation l = s;
    l.wavelengthNm = 1550;
    l.attenuationDbKm = 0.19;
    l.events[1].lossDb += 1.2;
    l.events.insert(3, {TrueEvent::Step, 21000, 0.9, 0});
    l.seed = 7;
    const Measured shorter = measured(s, "1310.sor");
    const Measured longer = measured(l, "1550.sor");
    QVERIFY(Acceptance::wavelengthsProblem(shorter.measurement, longer.measurement).isEmpty());
    QVERIFY(!Acceptance::wavelengthsProblem(longer.measurement, shorter.measurement).isEmpty());
    const Acceptance::Wavelengths w
        = Acceptance::compareWavelengths(shorter.measurement, longer.measurement);
    QStringList flagged;
    for (const Acceptance::WavelengthEvent &e : w.events) {
        if (e.bend)
            flagged << QString::number(std::lround(e.distanceM / 1000.0));
    }
    QCOMPARE(w.events.size(), 4);
    QCOMPARE(flagged, QStringList({"11", "21"}));
    QVERIFY(!w.events.at(3).lossShortDb);
    QVERIFY(std::abs(*w.events.at(1).lossLongDb - *w.events.at(1).lossShortDb - 1.2) < 0.05);
    QVERIFY(!w.events.at(0).sectionBend);

    // A section losing more per km at the longer wavelength is flagged, whatever its events.
    const Acceptance::Measurement a
        = handMade("1310.sor", {2000, 6000}, 9000, 1000, 1310, {0.34, 0.34});
    const Acceptance::Measurement b
        = handMade("1550.sor", {2000, 6000}, 9000, 1000, 1550, {0.2, 0.41});
    const Acceptance::Wavelengths section = Acceptance::compareWavelengths(a, b);
    QCOMPARE(section.events.size(), 2);
    QVERIFY(!section.events.at(0).sectionBend);
    QVERIFY(section.events.at(1).sectionBend);
    QVERIFY(!section.events.at(1).bend);
    QCOMPARE(section.bends(), 1);
}

void TestTwoWay::pairsInABatch()
{
    const auto trace
        = [](const QString &a, const QString &b, double wavelength, const QString &fiber) {
              Sor::Trace t;
              t.general = Sor::GeneralParameters();
              t.general->cableId = QStringLiteral("CB-7");
              t.general->fiberId = fiber;
              t.general->locationA = a;
              t.general->locationB = b;
              t.wavelengthNm = wavelength;
              return t;
          };
    const QVector<Sor::Trace> batch{trace("CENTRAL", "POSTE", 1550, "01"),
                                    trace("CENTRAL", "POSTE", 1310, "01"),
                                    trace("POSTE", "CENTRAL", 1310, "01"),
                                    trace("POSTE", "CENTRAL", 1550, "02"),
                                    trace("POSTE", "CENTRAL", 1550, "01"),
                                    trace("", "", 1550, ""),
                                    trace("", "", 1550, "")};
    QVector<const Sor::Trace *> pointers;
    for (const Sor::Trace &t : batch)
        pointers << &t;
    const QStringList names{
        "a.sor", "b.sor", "c.sor", "d.sor", "e.sor", "F03_je.sor", "F03_jo.sor"};
    const QVector<Acceptance::Pair> byIds = Acceptance::pairDirections(pointers, names);
    QCOMPARE(byIds.size(), 2);
    QCOMPARE(byIds.at(0).first, 0);
    QCOMPARE(byIds.at(0).second, 4);
    QCOMPARE(byIds.at(1).first, 1);
    QCOMPARE(byIds.at(1).second, 2);
    const QVector<Acceptance::Pair> byNames
        = Acceptance::pairDirections(pointers, names, {"jo", "je"});
    QCOMPARE(byNames.size(), 3);
    QCOMPARE(byNames.at(2).first, 6);
    QCOMPARE(byNames.at(2).second, 5);
    const QVector<Acceptance::Pair> wavelengths = Acceptance::pairWavelengths(pointers);
    QCOMPARE(wavelengths.size(), 2);
    QCOMPARE(wavelengths.at(0).first, 1);
    QCOMPARE(wavelengths.at(0).second, 0);
    QCOMPARE(wavelengths.at(1).first, 2);
    QCOMPARE(wavelengths.at(1).second, 4);
    // Ids that swap the places' codes name the ends themselves, without a cable id or the
    // locations; two lasers of one band (1548 and 1539.8 nm) are one band, 1310 nm another.
    QVector<Sor::Trace> codes{trace("", "", 1548, "ELMMIL0001"),
                              trace("", "", 1310, "MILELM0001"),
                              trace("", "", 1539.8, "MILELM0001"),
                              trace("", "", 1550, "MILELM0002")};
    for (Sor::Trace &t : codes)
        t.general->cableId.clear();
    QVector<const Sor::Trace *> codePointers;
    for (const Sor::Trace &t : codes)
        codePointers << &t;
    const QVector<Acceptance::Pair> byCodes
        = Acceptance::pairDirections(codePointers, {"1.sor", "2.sor", "3.sor", "4.sor"});
    QCOMPARE(byCodes.size(), 1);
    QCOMPARE(byCodes.at(0).first, 0);
    QCOMPARE(byCodes.at(0).second, 2);
}

// B's trace on A's axis: its launch at A's end, its end at A's launch, levels in order.
void TestTwoWay::mirroredTrace()
{
    Sor::Trace b;
    b.distanceM = {0, 1000, 2000, 3000, 4000};
    b.levelDb = {0, -1, -2, -3, -30};
    Acceptance::TwoWay t;
    t.lengthAM = 2500;
    t.lengthBM = 3000;
    t.shiftM = 10;
    const Sor::Trace m = Acceptance::mirroredTrace(b, t);
    const std::vector<double> expected{
        -2500.0 / 3 + 10, 10, 2500.0 / 3 + 10, 5000.0 / 3 + 10, 2510};
    QCOMPARE(m.distanceM.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        QVERIFY(std::abs(m.distanceM.at(i) - expected.at(i)) < 1e-9);
    QCOMPARE(m.levelDb, (std::vector<double>{-30, -3, -2, -1, 0}));
}

// Each end measured through its own launch reel (1,000 m at A, 500 m at B), with the events the
// instruments stored: the span's length, not the reels', mirrors B, so the events meet and B's
// reel lies past A's end.
void TestTwoWay::launchReels()
{
    const Simulation a = fibreFromA();
    const Simulation b = SorWriter::fromOtherEnd(a);
    const Sor::Trace ta = Sor::read(SorWriter::write(SorWriter::launchedTrace(a, {0, 0, 1000})));
    const Sor::Trace tb = Sor::read(SorWriter::write(SorWriter::launchedTrace(b, {0, 0, 500})));
    const Acceptance::Measurement ma
        = Acceptance::measurementOf("A.sor", ta, Acceptance::fileLink(ta));
    const Acceptance::Measurement mb
        = Acceptance::measurementOf("B.sor", tb, Acceptance::fileLink(tb));
    const Acceptance::TwoWay t = Acceptance::averageDirections(ma, mb);
    // The splices and the connector met from both ends, where A has them; each reel's end
    // connector is seen by its own end only, the other end's fibre end.
    const QVector<QPair<double, Acceptance::SeenFrom>> expected{{0, Acceptance::SeenFrom::A},
                                                                {8000, Acceptance::SeenFrom::Both},
                                                                {14000, Acceptance::SeenFrom::Both},
                                                                {20000, Acceptance::SeenFrom::Both},
                                                                {27000, Acceptance::SeenFrom::B}};
    QVERIFY2(t.events.size() == expected.size(), qPrintable(describe(t)));
    for (int i = 0; i < expected.size(); ++i) {
        QVERIFY2(std::abs(t.events.at(i).distanceM - expected.at(i).first) <= 2,
                 qPrintable(describe(t)));
        QCOMPARE(t.events.at(i).seenFrom, expected.at(i).second);
    }
    QVERIFY(std::abs(t.shiftM) <= 2);
    QVERIFY(std::abs(*t.fiberLengthM - 27000) <= 1);
    const Sor::Trace m = Acceptance::mirroredTrace(tb, t);
    // B's first point, 500 m before its span's start, lies 500 m past A's end.
    QVERIFY2(std::abs(m.distanceM.back() - 27500) <= 2,
             qPrintable(QString::number(m.distanceM.back())));
    // B's span's start lies on A's end.
    const auto startOfB = std::lower_bound(tb.distanceM.begin(), tb.distanceM.end(), 0.0);
    const size_t k = size_t(startOfB - tb.distanceM.begin());
    QVERIFY(std::abs(m.distanceM.at(m.distanceM.size() - 1 - k) - 27000) <= 2);
}

// The fibre's total loss is the mean of both ends' totals, never one end's alone; one end
// without a total leaves the fibre's unknown.
void TestTwoWay::totalFromBothEnds()
{
    Acceptance::Measurement a = handMade("A.sor", {3000, 9000}, 20000);
    Acceptance::Measurement b = handMade("B.sor", {11000, 17000}, 20000);
    a.link.totalLossDb = 10.0;
    b.link.totalLossDb = 12.5;
    QCOMPARE(*Acceptance::averageDirections(a, b).totalLossDb, 11.25);
    QCOMPARE(*Acceptance::averageDirections(b, a).totalLossDb, 11.25);
    b.link.totalLossDb.reset();
    QVERIFY(!Acceptance::averageDirections(a, b).totalLossDb);
}

// Two wavelengths' events that lie within the tolerance the comparison reports are one event,
// however the two differ: one a little before, the next a little after.
void TestTwoWay::bendsMatchWithinTolerance()
{
    const Acceptance::Measurement shorter
        = handMade("1310.sor", {5000, 12000, 20000}, 30000, 1000, 1310);
    const double tolerance = Acceptance::defaultToleranceM(shorter, shorter);
    const Acceptance::Measurement longer = handMade(
        "1550.sor", {5000 + 0.95 * tolerance, 12000 - 0.95 * tolerance, 20000}, 30000, 1000, 1550);
    const Acceptance::Wavelengths w = Acceptance::compareWavelengths(shorter, longer);
    QCOMPARE(w.toleranceM, tolerance);
    QCOMPARE(w.events.size(), 3);
    for (const Acceptance::WavelengthEvent &e : w.events)
        QVERIFY(e.lossShortDb && e.lossLongDb);
}

void TestTwoWay::endsFromTraces_data()
{
    QTest::addColumn<QString>("other"); // how the second trace was taken
    QTest::addColumn<int>("ends");
    QTest::addColumn<QString>("problem"); // part of why they are refused; empty: accepted
    QTest::newRow("the far end, a template's places")
        << "far" << int(Acceptance::Ends::Two) << QString();
    QTest::newRow("the far end, 0.4 % longer (another fibre's helix)")
        << "far-longer" << int(Acceptance::Ends::Two) << QString();
    QTest::newRow("the same end again")
        << "same" << int(Acceptance::Ends::Same) << "partem da mesma ponta";
    QTest::newRow("the same file saved twice")
        << "copy" << int(Acceptance::Ends::Unknown) << "mesma medida salva duas vezes";
}

// Two traces of one fibre whose files both say they start at "A" (the template the
// instrument kept) and give the fibre id "1": the traces tell the far end from the same end
// again, whatever the labels; one file saved twice is never two ends.
void TestTwoWay::endsFromTraces()
{
    QFETCH(QString, other);
    QFETCH(int, ends);
    QFETCH(QString, problem);
    const Simulation fromA = fibreFromA();
    Simulation second = other.startsWith("far") ? SorWriter::fromOtherEnd(fromA) : fromA;
    if (other == "far-longer") {
        for (TrueEvent &e : second.events)
            e.positionM *= 1.004;
    }
    if (other == "same")
        second.seed = 77;
    const auto file = [](const Simulation &s) {
        SorWriter::Trace t = SorWriter::simulatedTrace(s, true);
        t.fiberId = "1";
        t.locationA = "A";
        t.locationB = "B";
        return Sor::read(SorWriter::write(t));
    };
    const Sor::Trace a = file(fromA);
    const Sor::Trace b = other == "copy" ? a : file(second);
    const Acceptance::Measurement ma
        = Acceptance::measurementOf("a.sor", a, Acceptance::fileLink(a));
    const Acceptance::Measurement mb
        = Acceptance::measurementOf("b.sor", b, Acceptance::fileLink(b));
    QString why;
    const Acceptance::EndsEvidence e = Acceptance::endsOf("a.sor", ma, "b.sor", mb, 0, why);
    QCOMPARE(int(e.ends), ends);
    if (problem.isEmpty()) {
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(e.decidedBy, QStringLiteral("traces"));
        QVERIFY(e.mirroredMatched >= 2 && e.mirroredFitM);
        // The labels said one place: the traces win, and say so.
        QVERIFY(e.warning.contains(QStringLiteral("mesmo local (A)")));
    } else {
        QVERIFY2(why.contains(problem), qPrintable(why));
    }
}

QTEST_GUILESS_MAIN(TestTwoWay)
#include "tst_twoway.moc"
