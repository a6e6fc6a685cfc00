#include "acceptance/verdict.h"
#include "analysis/analysis.h"
#include "sor/sorreader.h"
#include "tracesim.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

using SorWriter::Simulation;
using SorWriter::TrueEvent;

Q_DECLARE_METATYPE(Simulation)
Q_DECLARE_METATYPE(SorWriter::Launch)

// The analysis explains a trace as a whole: what lies before the fibre (the instrument's inside,
// the launch and the receiver's recovery), the sections of fibre and the events between them,
// the end, and what follows it (a receiver's tail, ghosts, the floor). Each case is one the
// analysis once misread on real traces, written by the simulator.
class TestWholeTrace : public QObject
{
    Q_OBJECT

private slots:
    void misreadTraces_data();
    void misreadTraces();
    void sections();
    void repeatShots();
    void noiseIsNoReflection();
    void endInTheNoise();
    void rangeShortOfTheEnd_data();
    void rangeShortOfTheEnd();
    void connectorInTheLaunchsDeadZone_data();
    void connectorInTheLaunchsDeadZone();
};

namespace {

QString describe(const Analysis::Result &r)
{
    QStringList events;
    for (const Analysis::Event &e : r.events) {
        events << QStringLiteral("%1 m %2 %3 dB %4")
                      .arg(e.distanceM, 0, 'f', 1)
                      .arg(Analysis::typeName(e.type))
                      .arg(e.lossDb, 0, 'f', 3)
                      .arg(e.reflectanceDb ? QString::number(*e.reflectanceDb, 'f', 1) : QString());
    }
    QStringList sections;
    for (const Analysis::Section &s : r.sections)
        sections << QStringLiteral("%1 %2-%3 m")
                        .arg(Analysis::sectionName(s.kind))
                        .arg(s.startM, 0, 'f', 0)
                        .arg(s.endM, 0, 'f', 0);
    return events.join(QStringLiteral("; ")) + QStringLiteral(" | ")
           + r.warnings.join(QStringLiteral("; ")) + QStringLiteral(" | ")
           + sections.join(QStringLiteral(", "));
}

Sor::Trace written(const Simulation &s,
                   const SorWriter::Launch &launch = {},
                   quint16 reflectanceThreshold = 65000)
{
    SorWriter::Trace t = launch.spanStartM() > 0 ? SorWriter::launchedTrace(s, launch)
                                                 : SorWriter::simulatedTrace(s);
    t.reflectanceThreshold = reflectanceThreshold;
    return Sor::read(SorWriter::write(t));
}

double toleranceOf(const Simulation &s)
{
    return Sor::pulseLengthM(s.pulseNs, s.groupIndex) + 2 * s.spacingM;
}

// A fibre measured by an old instrument: 1,000 points 41 m apart, 1550 nm, 31 km, a 3 us pulse,
// its receiver blinded by the launch and rising from the floor over the first kilometre.
Simulation coarse()
{
    Simulation s;
    s.pulseNs = 3000;
    s.spacingM = 41;
    s.points = 1000;
    s.launchSnrDb = 14;
    s.launchRiseM = 1000;
    s.events = {{TrueEvent::Step, 11000, 0.5, 0},
                {TrueEvent::Step, 21000, 0.3, 0},
                {TrueEvent::End, 31000, 0, -20}};
    return s;
}

// A strong end reflection at 8.8 km that blinds the receiver: its tail falls for kilometres
// without reaching the floor, and the end is seen again at twice its distance.
Simulation longTail()
{
    Simulation s;
    s.pulseNs = 1000;
    s.spacingM = 4;
    s.points = 6000;
    s.launchSnrDb = 25;
    s.saturationDb = 4;
    s.saturationTailM = 300;
    s.noDataFloor = true;
    s.events = {{TrueEvent::Reflection, 0, 0.2, -45},
                {TrueEvent::End, 8800, 0, -14},
                {TrueEvent::Ghost, 17600, 0, -62}};
    return s;
}

// A drop fibre of tens of metres on 16,384 fine points, most of them past its end, where the
// front connector's tail, falling for a kilometre, hides the floor.
Simulation drop(double lengthM, int pulseNs, double spacingM)
{
    Simulation s;
    s.pulseNs = pulseNs;
    s.spacingM = spacingM;
    s.points = 16384;
    s.launchSnrDb = 24;
    s.noiseSpreadPoints = 4;
    s.saturationDb = 6;
    s.saturationTailM = 3;
    s.events = {{TrueEvent::Reflection, 0, 0.2, -45}, {TrueEvent::End, lengthM, 0, -16}};
    return s;
}

} // namespace

void TestWholeTrace::misreadTraces_data()
{
    QTest::addColumn<Simulation>("simulation");
    QTest::addColumn<SorWriter::Launch>("launch");
    QTest::addColumn<int>("reflectanceThreshold"); // as the file stores it, 0.001 dB
    const SorWriter::Launch none;
    Simulation s = coarse();
    for (const quint32 seed : {2, 3, 6}) {
        s.seed = seed;
        QTest::addRow("blinded by the launch, 1,000 points 41 m apart, seed %u", seed)
            << s << none << 65000;
    }
    s.events.last() = {TrueEvent::End, 31000, 0, 0};
    s.seed = 3;
    QTest::newRow("blinded by the launch, a silent end") << s << none << 65000;
    s = longTail();
    QTest::newRow("a strong end, its long tail and its ghost") << s << none << 65000;
    s.noDataFloor = false;
    s.launchSnrDb = 18;
    QTest::newRow("the same, the floor's noise higher") << s << none << 65000;
    QTest::newRow("a drop fibre of 60 m, 30 ns on 13 cm") << drop(60, 30, 0.13) << none << 65000;
    QTest::newRow("a drop fibre of 270 m, 160 ns on 26 cm")
        << drop(270, 160, 0.26) << none << 65000;
    // 77 km of points with a kilometre of the instrument's inside before them; reflections of
    // -54 to -58 dB past 26 km, where the noise of each point is a good part of their height.
    s = Simulation();
    s.pulseNs = 1000;
    s.spacingM = 4;
    s.points = 19000;
    s.launchSnrDb = 14;
    s.noiseSpreadPoints = 3;
    s.noDataFloor = true;
    s.events = {{TrueEvent::Reflection, 26000, 0.15, -55},
                {TrueEvent::Reflection, 29000, 0.15, -58},
                {TrueEvent::Reflection, 32000, 0.15, -54},
                {TrueEvent::Reflection, 35000, 0.15, -57},
                {TrueEvent::End, 41000, 0, -30}};
    for (const quint32 seed : {4, 5}) {
        s.seed = seed;
        QTest::addRow("weak reflections past 26 km, seed %u", seed)
            << s << SorWriter::Launch{1071, 0, 0, true} << 60000;
    }
    // A passive network: a 1:2 and a 1:64 splitter, backscatter past each.
    s = Simulation();
    s.pulseNs = 100;
    s.spacingM = 2.55;
    s.points = 4084;
    s.wavelengthNm = 1625;
    s.attenuationDbKm = 0.25;
    s.launchSnrDb = 48;
    s.events = {{TrueEvent::Step, 1500, 3.5, 0},
                {TrueEvent::Step, 3000, 20.5, 0},
                {TrueEvent::End, 5000, 0, -14}};
    QTest::newRow("a 1:64 splitter's 20.5 dB step") << s << none << 65000;
    // A splitter that reflects a little and loses more than the end threshold, a drop fibre of
    // 170 m past it, its reflecting end: the fibre past the splitter is no receiver's tail.
    s.launchSnrDb = 30;
    s.points = 2000;
    s.events = {{TrueEvent::Reflection, 0, 0.2, -50},
                {TrueEvent::Reflection, 3130, 6.8, -52},
                {TrueEvent::End, 3300, 0, -30}};
    for (const quint32 seed : {1, 2}) {
        s.seed = seed;
        QTest::addRow("a reflecting 1:4 splitter, a drop fibre of 170 m, seed %u", seed)
            << s << none << 65000;
    }
    // Short pulses on coarse points, noisy: a reflecting connector, then the fibre goes on to a
    // saturating end; the file's reflectance threshold is -40 dB.
    s = Simulation();
    s.pulseNs = 20;
    s.spacingM = 2.84;
    s.points = 4096;
    s.wavelengthNm = 1310;
    s.attenuationDbKm = 0.33;
    s.launchSnrDb = 8.5;
    s.saturationDb = 13;
    s.saturationTailM = 4;
    s.clippedFloor = true;
    s.seed = 1;
    s.events = {{TrueEvent::Reflection, 0, 0.2, -50},
                {TrueEvent::Reflection, 3000, 0.75, -42},
                {TrueEvent::End, 8020, 0, -14}};
    QTest::newRow("a 20 ns pulse on 2.84 m points") << s << none << 40000;
}

// The events found are the true ones and nothing else, each within the pulse's length and two
// samples; the end is found; no value is one a fibre cannot have.
void TestWholeTrace::misreadTraces()
{
    QFETCH(Simulation, simulation);
    QFETCH(SorWriter::Launch, launch);
    QFETCH(int, reflectanceThreshold);
    const Sor::Trace trace = written(simulation, launch, quint16(reflectanceThreshold));
    QVERIFY(!trace.damaged());
    const Analysis::Result r = Analysis::analyze(trace);
    const double tolerance = toleranceOf(simulation);
    QList<TrueEvent> truth;
    for (const TrueEvent &e : simulation.events) {
        if (e.kind != TrueEvent::Ghost)
            truth << e;
    }
    if (launch.spanStartM() > 0)
        truth.prepend({TrueEvent::Reflection, 0, 0.2, -50});
    QVERIFY2(int(r.events.size()) == truth.size(), qPrintable(describe(r)));
    for (int k = 0; k < truth.size(); ++k) {
        const Analysis::Event &e = r.events.at(size_t(k));
        QVERIFY2(std::abs(e.distanceM - truth.at(k).positionM) <= tolerance,
                 qPrintable(describe(r)));
        QVERIFY2(!e.reflectanceDb || *e.reflectanceDb < 0, qPrintable(describe(r)));
        if (truth.at(k).kind == TrueEvent::Step)
            QVERIFY2(std::abs(e.lossDb - truth.at(k).lossDb) <= 0.1, qPrintable(describe(r)));
    }
    QVERIFY2(r.fiberEndM && std::abs(*r.fiberEndM - truth.last().positionM) <= tolerance,
             qPrintable(describe(r)));
    QVERIFY2(r.totalLossDb && *r.totalLossDb > 0, qPrintable(describe(r)));
}

// What the trace is made of, in order: the launch where the receiver climbs from the floor, a
// section of fibre between each two events with the fibre's attenuation, the receiver's tail
// past the end with the end's ghost in it, at twice its distance.
void TestWholeTrace::sections()
{
    Simulation s = coarse();
    s.seed = 2;
    const Analysis::Result blinded = Analysis::analyze(written(s));
    QVERIFY2(blinded.events.size() == 3, qPrintable(describe(blinded)));
    const std::vector<Analysis::Section> &parts = blinded.sections;
    QVERIFY(!parts.empty());
    QCOMPARE(parts.front().kind, Analysis::SectionKind::Launch);
    QVERIFY2(parts.front().endM >= 500 && parts.front().endM <= 2000,
             qPrintable(QString::number(parts.front().endM)));
    std::vector<Analysis::Section> fibre;
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k > 0)
            QVERIFY(parts[k].startM >= parts[k - 1].startM);
        if (parts[k].kind == Analysis::SectionKind::Fibre)
            fibre.push_back(parts[k]);
    }
    // One before each event; each event between two sections.
    QCOMPARE(fibre.size(), blinded.events.size());
    for (size_t k = 0; k < fibre.size(); ++k) {
        QVERIFY(fibre[k].endM <= blinded.events[k].distanceM + 1);
        QVERIFY2(std::abs(*fibre[k].attenuationDbKm - s.attenuationDbKm) <= 0.02,
                 qPrintable(QString::number(*fibre[k].attenuationDbKm)));
        QVERIFY(fibre[k].noiseDb && *fibre[k].noiseDb > 0 && *fibre[k].noiseDb < 0.5);
    }
    const Analysis::Result tail = Analysis::analyze(written(longTail()));
    const auto ghost = std::find_if(tail.sections.begin(), tail.sections.end(), [](const auto &p) {
        return p.kind == Analysis::SectionKind::Ghost;
    });
    QVERIFY2(ghost != tail.sections.end(), qPrintable(describe(tail)));
    QVERIFY2(std::abs(ghost->startM - 17600) <= toleranceOf(longTail()),
             qPrintable(QString::number(ghost->startM)));
    QVERIFY(std::any_of(tail.sections.begin(), tail.sections.end(), [](const auto &p) {
        return p.kind == Analysis::SectionKind::Tail && p.startM > 8800;
    }));
    // How sure: the splices stand clear of their error, the end far more.
    QVERIFY(blinded.events.front().confidence.sure());
    QVERIFY(blinded.endConfidence && blinded.endConfidence->sigmas > 20);
}

// Shots of one fibre 30 s apart differ only by their noise: the same events and the same end,
// within the pulse's resolution.
void TestWholeTrace::repeatShots()
{
    Simulation s = coarse();
    s.events = {{TrueEvent::Step, 9000, 0.7, 0},
                {TrueEvent::Step, 15000, 0.25, 0},
                {TrueEvent::End, 27000, 0, 0}};
    std::vector<Analysis::Result> shots;
    for (quint32 seed = 1; seed <= 6; ++seed) {
        s.seed = seed;
        shots.push_back(Analysis::analyze(written(s)));
    }
    const double tolerance = toleranceOf(s);
    for (const Analysis::Result &r : shots) {
        QVERIFY2(r.events.size() == shots.front().events.size(),
                 qPrintable(describe(r) + QStringLiteral(" against ") + describe(shots.front())));
        for (size_t k = 0; k < r.events.size(); ++k)
            QVERIFY2(
                std::abs(r.events[k].distanceM - shots.front().events[k].distanceM) <= tolerance,
                qPrintable(describe(r) + QStringLiteral(" against ") + describe(shots.front())));
        QCOMPARE(r.fiberEndM.has_value(), shots.front().fiberEndM.has_value());
    }
}

// A noisy trace whose detector's noise comes in bursts: single points standing eight times the
// noise above the backscatter, more than any threshold of a few deviations allows, and none of
// them is a reflection, which lifts a whole pulse length of points.
void TestWholeTrace::noiseIsNoReflection()
{
    for (quint32 seed = 1; seed <= 8; ++seed) {
        Simulation s;
        s.pulseNs = 300;
        s.spacingM = 1;
        s.points = 12000;
        s.launchSnrDb = 9;
        s.burstShare = 0.002;
        s.burstScale = 8;
        s.seed = seed;
        s.events = {{TrueEvent::Step, 4000, 0.4, 0}, {TrueEvent::End, 8000, 0, -20}};
        const Analysis::Result r = Analysis::analyze(written(s));
        for (const Analysis::Event &e : r.events)
            QVERIFY2(e.type != Analysis::EventType::Reflective,
                     qPrintable(QStringLiteral("seed %1: ").arg(seed) + describe(r)));
        QVERIFY2(r.fiberEndM && std::abs(*r.fiberEndM - 8000) <= toleranceOf(s),
                 qPrintable(describe(r)));
    }
}

// A fibre longer than the trace can see: its backscatter fades into the noise long before it
// ends. No end is given, never the place where the noise swallows the trace, and the verdict
// cannot be reached, saying why.
void TestWholeTrace::endInTheNoise()
{
    for (quint32 seed = 1; seed <= 4; ++seed) {
        Simulation s;
        s.pulseNs = 1000;
        s.spacingM = 5;
        s.points = 14000;
        s.launchSnrDb = 10;
        s.seed = seed;
        s.events = {{TrueEvent::End, 60000, 0, 0}};
        const Sor::Trace trace = written(s);
        const Analysis::Result r = Analysis::analyze(trace);
        QVERIFY2(!r.fiberEndM, qPrintable(describe(r)));
        QVERIFY(!r.endDoubt.isEmpty());
        Acceptance::Limits limits;
        limits.totalLossMaxDb = 20;
        const Acceptance::Judgement j
            = Acceptance::judge(Acceptance::analysedLink(trace, r), limits);
        QCOMPARE(j.verdict, Acceptance::Verdict::Unknown);
        QVERIFY2(j.reasons.join(QLatin1Char(' ')).contains(r.endDoubt),
                 qPrintable(j.reasons.join(QLatin1Char('|'))));
    }
}

void TestWholeTrace::rangeShortOfTheEnd_data()
{
    QTest::addColumn<int>("wavelength");
    QTest::addColumn<double>("shiftM");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("1310 nm, seed 150") << 1310 << 396.0 << quint32(150);
    QTest::newRow("1550 nm, seed 153") << 1550 << 396.0 << quint32(153);
    QTest::newRow("1310 nm, seed 160") << 1310 << 446.0 << quint32(160);
}

// A short pulse whose 8 km range stops long before the fibre's end: past a reflecting
// connector the fibre runs on, steps on it, to the last point. Its steps bend a line through
// each half of what follows, but it is no receiver's tail: no end, and every event kept.
void TestWholeTrace::rangeShortOfTheEnd()
{
    QFETCH(int, wavelength);
    QFETCH(double, shiftM);
    QFETCH(quint32, seed);
    Simulation s;
    s.wavelengthNm = wavelength;
    s.attenuationDbKm = wavelength == 1310 ? 0.33 : 0.19;
    s.pulseNs = 20;
    s.spacingM = 0.5;
    s.points = 16000;
    s.launchSnrDb = 13;
    s.seed = seed;
    QList<TrueEvent> within;
    for (TrueEvent e : SorWriter::multiPulseTruth(wavelength)) {
        if (e.positionM > 0)
            e.positionM += shiftM;
        s.events << e;
        if (e.positionM > 0 && e.positionM < 7900)
            within << e;
    }
    // A technician's own thresholds: splices of 0.05 dB are events.
    SorWriter::Trace trace = SorWriter::simulatedTrace(s);
    trace.lossThreshold = 50;
    const Analysis::Result r = Analysis::analyze(Sor::read(SorWriter::write(trace)));
    QVERIFY2(!r.fiberEndM, qPrintable(describe(r)));
    for (const TrueEvent &e : within) {
        QVERIFY2(std::any_of(r.events.begin(),
                             r.events.end(),
                             [&](const Analysis::Event &f) {
                                 return std::abs(f.distanceM - e.positionM) <= toleranceOf(s)
                                        && f.type != Analysis::EventType::End;
                             }),
                 qPrintable(QStringLiteral("%1 m: ").arg(e.positionM) + describe(r)));
    }
}

void TestWholeTrace::connectorInTheLaunchsDeadZone_data()
{
    QTest::addColumn<Simulation>("simulation");
    for (const SorWriter::PulseShot &shot : SorWriter::multiPulseShots()) {
        if (shot.simulation.pulseNs == 2000)
            QTest::newRow(qPrintable(QStringLiteral("the generated ") + shot.name))
                << shot.simulation;
    }
    // The same fibre, its connector elsewhere within two pulse lengths of the launch.
    Simulation s = SorWriter::multiPulseShots().at(2).simulation;
    for (const double atM : {300.0, 480.0}) {
        s.events[1].positionM = atM;
        QTest::addRow("2000 ns, a connector at %d m", int(atM)) << s;
    }
}

// A long pulse smears the launch and a connector a few hundred metres past it, and the
// connector's reflection hides the section after it: the connector is seen where it begins,
// reflecting, and its loss read between the backscatter before it and past its dead zone, not
// across its smear; the front connector's reflectance from the backscatter before the
// connector rises; the slope of that backscatter, still the launch's recovery, is no
// attenuation.
void TestWholeTrace::connectorInTheLaunchsDeadZone()
{
    QFETCH(Simulation, simulation);
    const Analysis::Result r = Analysis::analyze(written(simulation));
    const TrueEvent connector = simulation.events.at(1);
    const double tolerance = toleranceOf(simulation);
    std::vector<Analysis::Event> near;
    for (const Analysis::Event &e : r.events) {
        if (e.distanceM > 100 && e.distanceM < connector.positionM + 2 * tolerance)
            near.push_back(e);
    }
    QVERIFY2(near.size() == 1, qPrintable(describe(r)));
    QVERIFY2(std::abs(near.front().distanceM - connector.positionM) <= tolerance,
             qPrintable(describe(r)));
    QCOMPARE(near.front().type, Analysis::EventType::Reflective);
    // Before it the receiver still recovers from the launch: no fibre's attenuation (a bend
    // would be read there between two wavelengths).
    if (connector.positionM < 2 * Sor::pulseLengthM(simulation.pulseNs, simulation.groupIndex))
        QVERIFY2(!near.front().attenuationDbKm, qPrintable(describe(r)));
    QVERIFY2(std::abs(near.front().lossDb - connector.lossDb) <= 0.05, qPrintable(describe(r)));
    QVERIFY2(near.front().reflectanceDb
                 && std::abs(*near.front().reflectanceDb - connector.reflectanceDb) <= 1,
             qPrintable(describe(r)));
    QVERIFY2(
        r.events.front().distanceM < 1 && r.events.front().reflectanceDb
            && std::abs(*r.events.front().reflectanceDb - simulation.events.at(0).reflectanceDb)
                   <= 1,
        qPrintable(describe(r)));
}

QTEST_APPLESS_MAIN(TestWholeTrace)
#include "tst_wholetrace.moc"
