#include "analysis/analysis.h"
#include "analysis/unfound.h"
#include "sor/sorreader.h"
#include "tracesim.h"

#include <QtTest>

#include <cmath>
#include <limits>

using SorWriter::Simulation;
using SorWriter::TrueEvent;

Q_DECLARE_METATYPE(Simulation)
Q_DECLARE_METATYPE(SorWriter::Launch)

// The analysis against simulated traces whose events are known, and against input that no
// trace should have.
class TestAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void knownEvents_data();
    void knownEvents();
    void thresholds();
    void throughTheReader();
    void asRealTracesAre_data();
    void asRealTracesAre();
    void launchReel();
    void everyInstrument_data();
    void everyInstrument();
    void fileThresholds();
    void storedNotFound_data();
    void storedNotFound();
    void impossibleEvents_data();
    void impossibleEvents();
    void frontConnector();
    void impossibleValues();
    void hostileInput_data();
    void hostileInput();
};

namespace {

// 1 us pulses (102 m) on 5 m points, 0.2 dB/km, a clean trace: the events are exact.
Simulation fibre(const QList<TrueEvent> &events, double snrDb = 35)
{
    Simulation s;
    s.pulseNs = 1000;
    s.spacingM = 5;
    s.points = 12000;
    s.launchSnrDb = snrDb;
    s.events = events;
    return s;
}

Analysis::Result analyzed(const Simulation &s,
                          const std::vector<double> &levels,
                          const Analysis::Thresholds &thresholds = {})
{
    return Analysis::analyze(
        {levels.data(), levels.size(), s.spacingM, s.pulseNs, s.groupIndex, s.backscatterDb, 0, {}},
        thresholds);
}

QString describe(const Analysis::Result &r)
{
    QStringList events;
    for (const Analysis::Event &e : r.events) {
        events << QStringLiteral("%1 m %2 %3 dB")
                      .arg(e.distanceM)
                      .arg(Analysis::typeName(e.type))
                      .arg(e.lossDb);
    }
    return events.join(QStringLiteral("; "));
}

} // namespace

void TestAnalysis::knownEvents_data()
{
    QTest::addColumn<Simulation>("simulation");
    QTest::addColumn<int>("found"); // events the analysis must report, end included
    const TrueEvent end{TrueEvent::End, 40000, 0, -14};
    QTest::newRow("a splice") << fibre({{TrueEvent::Step, 12000, 0.3, 0}, end}) << 2;
    QTest::newRow("a connector") << fibre({{TrueEvent::Reflection, 15000, 0.5, -45}, end}) << 2;
    QTest::newRow("a gainer") << fibre({{TrueEvent::Step, 20000, -0.15, 0}, end}) << 2;
    QTest::newRow("one of each") << fibre({{TrueEvent::Step, 8000, 0.2, 0},
                                           {TrueEvent::Reflection, 16000, 0.4, -50},
                                           {TrueEvent::Step, 24000, -0.1, 0},
                                           end})
                                 << 4;
    QTest::newRow("an end without reflection")
        << fibre({{TrueEvent::Step, 10000, 0.25, 0}, {TrueEvent::End, 30000, 0, 0}}) << 2;
    QTest::newRow("a flat trace that ends in noise") << fibre({end}) << 1;
    QTest::newRow("no event, no end") << fibre({}) << 0;
}

// Each event where it is, of its kind, with its loss and reflectance; the fibre end within a
// point; nothing else.
void TestAnalysis::knownEvents()
{
    QFETCH(Simulation, simulation);
    QFETCH(int, found);
    const std::vector<double> levels = SorWriter::simulateLevels(simulation);
    const Analysis::Result r = analyzed(simulation, levels);
    QVERIFY2(int(r.events.size()) == found, qPrintable(describe(r)));
    for (int k = 0; k < found; ++k) {
        const TrueEvent &truth = simulation.events.at(k);
        const Analysis::Event &e = r.events.at(size_t(k));
        QVERIFY2(std::abs(e.distanceM - truth.positionM) <= simulation.spacingM,
                 qPrintable(describe(r)));
        if (truth.kind == TrueEvent::End) {
            QCOMPARE(e.type, Analysis::EventType::End);
            QVERIFY(r.fiberEndM && std::abs(*r.fiberEndM - truth.positionM) <= simulation.spacingM);
            QCOMPARE(e.reflectanceDb.has_value(), truth.reflectanceDb < 0);
            if (e.reflectanceDb)
                QVERIFY2(std::abs(*e.reflectanceDb - truth.reflectanceDb) <= 0.5,
                         qPrintable(QString::number(*e.reflectanceDb)));
            continue;
        }
        QCOMPARE(e.type,
                 truth.kind == TrueEvent::Reflection ? Analysis::EventType::Reflective
                                                     : Analysis::EventType::NonReflective);
        QVERIFY2(std::abs(e.lossDb - truth.lossDb) <= 0.01, qPrintable(describe(r)));
        if (truth.kind == TrueEvent::Reflection)
            QVERIFY2(std::abs(*e.reflectanceDb - truth.reflectanceDb) <= 0.5,
                     qPrintable(describe(r)));
        else
            QVERIFY(!e.reflectanceDb);
        QVERIFY(std::abs(*e.attenuationDbKm - simulation.attenuationDbKm) <= 0.01);
    }
    // The total loss: the fibre's attenuation to its end plus the events' losses.
    if (r.fiberEndM) {
        double total = simulation.attenuationDbKm * *r.fiberEndM / 1000;
        for (const TrueEvent &e : simulation.events)
            total += e.kind == TrueEvent::End ? 0 : e.lossDb;
        QVERIFY2(std::abs(*r.totalLossDb - total) <= 0.05,
                 qPrintable(QString::number(*r.totalLossDb)));
        // The backscatter of 40 km alone returns about -32 dB; a Fresnel end far more.
        QVERIFY(r.orlDb && *r.orlDb > 14 && *r.orlDb < 40);
    }
}

// Thresholds decide what is an event: a raised loss threshold drops a small splice, a raised
// reflectance threshold makes a weak connector a mere loss, and a reflection inside another's
// pulse length is one event.
void TestAnalysis::thresholds()
{
    const Simulation s = fibre({{TrueEvent::Step, 8000, 0.12, 0},
                                {TrueEvent::Reflection, 16000, 0.3, -55},
                                {TrueEvent::Reflection, 16060, 0.2, -50},
                                {TrueEvent::End, 30000, 0, -14}});
    const std::vector<double> levels = SorWriter::simulateLevels(s);
    const Analysis::Result plain = analyzed(s, levels);
    QVERIFY2(plain.events.size() == 3, qPrintable(describe(plain)));
    QCOMPARE(plain.events.at(1).type, Analysis::EventType::Reflective);
    // the two in one dead zone
    QVERIFY2(std::abs(plain.events.at(1).lossDb - 0.5) <= 0.02, qPrintable(describe(plain)));
    const Analysis::Result strict = analyzed(s, levels, {0.2, -45, 3});
    QVERIFY2(strict.events.size() == 2, qPrintable(describe(strict)));
    QCOMPARE(strict.events.at(0).type, Analysis::EventType::NonReflective);
    // Taken for a mere loss, the pair is placed within its dead zone.
    QVERIFY2(std::abs(strict.events.at(0).distanceM - 16000)
                 <= SorWriter::pulseLengthM(s.pulseNs, s.groupIndex),
             qPrintable(describe(strict)));
    QCOMPARE(strict.thresholds.lossDb, 0.2);
}

// Written as a file and read back: the file's scales, spacing and backscatter coefficient give
// the same events.
void TestAnalysis::throughTheReader()
{
    const Simulation s
        = fibre({{TrueEvent::Reflection, 15000, 0.5, -45}, {TrueEvent::End, 40000, 0, -14}});
    const Sor::Trace trace = Sor::read(SorWriter::write(SorWriter::simulatedTrace(s)));
    QVERIFY(!trace.damaged());
    QCOMPARE(trace.points(), s.points);
    QVERIFY(std::abs(*trace.spacingM - s.spacingM) < 1e-3);
    const Analysis::Result r = Analysis::analyze(trace);
    QVERIFY2(r.events.size() == 2, qPrintable(describe(r)));
    QVERIFY(std::abs(r.events.at(0).distanceM - 15000) <= s.spacingM);
    QVERIFY(std::abs(*r.events.at(0).reflectanceDb + 45) <= 0.5);
    QVERIFY(std::abs(*r.fiberEndM - 40000) <= s.spacingM);
}

void TestAnalysis::hostileInput_data()
{
    QTest::addColumn<QVector<double>>("levels");
    QTest::addColumn<double>("spacing");
    QTest::addColumn<int>("pulse");
    QTest::addColumn<double>("groupIndex");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QVector<double> ramp(3000);
    for (int i = 0; i < ramp.size(); ++i)
        ramp[i] = -0.001 * i;
    QTest::newRow("one point") << QVector<double>{-1.0} << 1.0 << 100 << 1.468;
    QTest::newRow("all no data") << QVector<double>(3000, nan) << 1.0 << 100 << 1.468;
    QTest::newRow("constant") << QVector<double>(3000, -7.0) << 1.0 << 100 << 1.468;
    QTest::newRow("no spacing") << ramp << 0.0 << 100 << 1.468;
    QTest::newRow("negative spacing") << ramp << -5.0 << 100 << 1.468;
    QTest::newRow("a pulse longer than the trace") << ramp << 0.001 << 10000 << 1.468;
    QTest::newRow("no pulse") << ramp << 1.0 << 0 << 1.468;
    QTest::newRow("no group index") << ramp << 1.0 << 100 << 0.0;
    QTest::newRow("absurd spacing") << ramp << 1e12 << 100 << 1.468;
    QTest::newRow("absurd levels")
        << QVector<double>{0, 1e300, -1e300, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0} << 1.0
        << 10 << 1.468;
}

// Input no trace should have gives an empty result, never a crash or a made-up event.
void TestAnalysis::hostileInput()
{
    QFETCH(QVector<double>, levels);
    QFETCH(double, spacing);
    QFETCH(int, pulse);
    QFETCH(double, groupIndex);
    Analysis::Input input;
    input.levelsDb = levels.constData();
    input.count = size_t(levels.size());
    input.spacingM = spacing;
    input.pulseNs = pulse;
    input.groupIndex = groupIndex;
    const Analysis::Result r = Analysis::analyze(input);
    QVERIFY2(r.events.empty(), qPrintable(describe(r)));
    QVERIFY(!r.fiberEndM);
}

void TestAnalysis::asRealTracesAre_data()
{
    QTest::addColumn<Simulation>("simulation");
    const QList<TrueEvent> events{{TrueEvent::Step, 12000, 0.3, 0},
                                  {TrueEvent::Reflection, 20000, 0.5, -45},
                                  {TrueEvent::End, 40000, 0, -14}};
    Simulation s = fibre(events, 28);
    s.noiseSpreadPoints = 16;
    QTest::newRow("noise the instrument's filter spread over 16 points") << s;
    s = fibre(events, 30);
    s.noDataFloor = true;
    QTest::newRow("a floor stored as no data") << s;
    s = fibre({{TrueEvent::Reflection, 12000, 0.5, -30},
               {TrueEvent::End, 20000, 0, -14},
               {TrueEvent::Ghost, 24000, 0, -42}},
              30);
    s.noDataFloor = true;
    QTest::newRow("a ghost past the end") << s;
    s = fibre(events, 30);
    s.saturationDb = 3;
    s.recoveryPulses = 2;
    s.noDataFloor = true;
    QTest::newRow("a saturated end that recovers for long") << s;
    s = fibre({{TrueEvent::Step, 12000, 0.3, 0}, {TrueEvent::End, 40000, 0, 0}}, 30);
    s.noDataFloor = true;
    s.noiseSpreadPoints = 4;
    QTest::newRow("a silent end into no data, filtered noise") << s;
}

// What real traces have and the plain simulation lacks: the events found are the true ones,
// each within the pulse's length and two samples, the fibre's end among them, nothing past it.
void TestAnalysis::asRealTracesAre()
{
    QFETCH(Simulation, simulation);
    const Sor::Trace trace = Sor::read(SorWriter::write(SorWriter::simulatedTrace(simulation)));
    const Analysis::Result r = Analysis::analyze(trace);
    const double tolerance
        = Sor::pulseLengthM(simulation.pulseNs, simulation.groupIndex) + 2 * simulation.spacingM;
    QList<TrueEvent> truth;
    for (const TrueEvent &e : simulation.events) {
        if (e.kind != TrueEvent::Ghost)
            truth << e;
    }
    QVERIFY2(int(r.events.size()) == truth.size(), qPrintable(describe(r)));
    for (int k = 0; k < truth.size(); ++k) {
        QVERIFY2(std::abs(r.events.at(size_t(k)).distanceM - truth.at(k).positionM) <= tolerance,
                 qPrintable(describe(r)));
    }
    QCOMPARE(r.events.back().type, Analysis::EventType::End);
    QVERIFY(r.fiberEndM && std::abs(*r.fiberEndM - truth.last().positionM) <= tolerance);
    QVERIFY2(r.warnings.isEmpty(), qPrintable(r.warnings.join(QStringLiteral("; "))));
}

// Measured through a 1,000 m launch reel with a user offset: the span starts at the reel's
// end, the analysis' first event is that connector at 0 m, nothing in the reel is an event, and
// the total loss is the span's.
void TestAnalysis::launchReel()
{
    Simulation span = fibre({{TrueEvent::Step, 12000, 0.3, 0},
                             {TrueEvent::Reflection, 20000, 0.5, -45},
                             {TrueEvent::End, 30000, 0, -14}});
    span.points = 7000;
    const Sor::Trace trace
        = Sor::read(SorWriter::write(SorWriter::launchedTrace(span, {0, 0, 1000})));
    const Analysis::Result r = Analysis::analyze(trace);
    const double tolerance = Sor::pulseLengthM(span.pulseNs, span.groupIndex) + 2 * span.spacingM;
    QVERIFY2(r.events.size() == 4, qPrintable(describe(r)));
    QVERIFY2(std::abs(r.events.front().distanceM) <= tolerance, qPrintable(describe(r)));
    QCOMPARE(r.events.front().type, Analysis::EventType::Reflective);
    QVERIFY(r.fiberEndM && std::abs(*r.fiberEndM - 30000) <= tolerance);
    // The reel's end connector (0.3 dB), the splice, the connector and 30 km of fibre.
    const double total = 0.3 + 0.3 + 0.5 + 30 * span.attenuationDbKm;
    QVERIFY2(r.totalLossDb && std::abs(*r.totalLossDb - total) <= 0.1,
             qPrintable(QString::number(r.totalLossDb.value_or(-1))));
}

void TestAnalysis::everyInstrument_data()
{
    QTest::addColumn<Simulation>("simulation");
    QTest::addColumn<SorWriter::Launch>("launch");
    const SorWriter::Launch none;
    // A maker that stores the instrument's inside: 1,071 m of points at the floor before the
    // front panel, whose offset says where the span starts.
    Simulation s = fibre({{TrueEvent::Step, 12000, 0.3, 0},
                          {TrueEvent::Reflection, 20000, 0.5, -45},
                          {TrueEvent::End, 30000, 0, -14}});
    s.points = 7000;
    s.noDataFloor = true;
    QTest::newRow("a kilometre of floor before the front panel")
        << s << SorWriter::Launch{1071, 0, 0, true};
    // A receiver that takes hundreds of metres to recover from the front connector.
    s = Simulation();
    s.pulseNs = 10;
    s.spacingM = 0.5;
    s.points = 4000;
    s.launchSnrDb = 30;
    s.launchTailDb = 25;
    s.launchTailM = 80;
    s.events = {{TrueEvent::Reflection, 0, 0.2, -30},
                {TrueEvent::Step, 1200, 0.4, 0},
                {TrueEvent::End, 1700, 0, -30}};
    QTest::newRow("a slow recovery from the front connector") << s << none;
    // A receiver slower than its 10 ns pulse, whose reflections rise and fall over ten points
    // and whose strong end reflection saturates it: the front connector's top is well past the
    // first point.
    s = Simulation();
    s.pulseNs = 10;
    s.spacingM = 0.43;
    s.points = 6000;
    s.launchSnrDb = 22;
    s.receiverM = 2;
    s.saturationDb = 12;
    s.recoveryPulses = 30;
    s.events = {{TrueEvent::Reflection, 0, 0.2, -30},
                {TrueEvent::Reflection, 1010, 0.5, -55},
                {TrueEvent::End, 2176, 0, -14}};
    QTest::newRow("a receiver slower than the pulse") << s << none;
    // An old instrument: 1,000 points 41 m apart.
    s = fibre({{TrueEvent::Step, 12000, 0.4, 0},
               {TrueEvent::Reflection, 22000, 0.5, -45},
               {TrueEvent::End, 32000, 0, -14}});
    s.spacingM = 41;
    s.points = 1000;
    QTest::newRow("1,000 points 41 m apart") << s << none;
    // A fine one: 125,000 points 8 cm apart, 5 ns.
    s = Simulation();
    s.pulseNs = 5;
    s.spacingM = 0.08;
    s.points = 125000;
    s.launchSnrDb = 25;
    s.events = {{TrueEvent::Reflection, 1000, 0.3, -50},
                {TrueEvent::Step, 2500, 0.5, 0},
                {TrueEvent::End, 6000, 0, -14}};
    QTest::newRow("125,000 points 8 cm apart") << s << none;
    // A 20 us pulse, and steps of 2, 5 and 12 dB (splitters, a crushed fibre) with backscatter
    // past each: events, not the end.
    s = Simulation();
    s.pulseNs = 20000;
    s.spacingM = 32.85;
    s.points = 3125;
    s.attenuationDbKm = 0.35;
    s.launchSnrDb = 45;
    s.events = {{TrueEvent::Step, 21000, 2, 0},
                {TrueEvent::Step, 29500, 5, 0},
                {TrueEvent::Step, 36000, 12, 0},
                {TrueEvent::End, 45000, 0, -14}};
    QTest::newRow("a 20 us pulse with steps of 2, 5 and 12 dB") << s << none;
    // A floor the instrument cut at one level, with the noise peaking above it.
    s = fibre({{TrueEvent::Step, 12000, 0.3, 0},
               {TrueEvent::Reflection, 20000, 0.5, -45},
               {TrueEvent::End, 40000, 0, -14}},
              30);
    s.clippedFloor = true;
    QTest::newRow("a floor cut at one level") << s << none;
}

// The kinds of trace other makers write: the events found are the true ones, each within the
// pulse's length and two samples; the fibre's end is found; nothing lies before the span's start
// or past the end.
void TestAnalysis::everyInstrument()
{
    QFETCH(Simulation, simulation);
    QFETCH(SorWriter::Launch, launch);
    const SorWriter::Trace written = launch.spanStartM() > 0
                                         ? SorWriter::launchedTrace(simulation, launch)
                                         : SorWriter::simulatedTrace(simulation);
    const Sor::Trace trace = Sor::read(SorWriter::write(written));
    QVERIFY(!trace.damaged());
    const Analysis::Result r = Analysis::analyze(trace);
    const double tolerance
        = Sor::pulseLengthM(simulation.pulseNs, simulation.groupIndex) + 2 * simulation.spacingM;
    QList<TrueEvent> truth;
    for (const TrueEvent &e : simulation.events) {
        if (e.kind != TrueEvent::Ghost)
            truth << e;
    }
    // The front panel's own connector is the launch's, at the span's start.
    if (launch.spanStartM() > 0)
        truth.prepend({TrueEvent::Reflection, 0, 0.2, -50});
    QVERIFY2(int(r.events.size()) == truth.size(), qPrintable(describe(r)));
    for (int k = 0; k < truth.size(); ++k) {
        QVERIFY2(std::abs(r.events.at(size_t(k)).distanceM - truth.at(k).positionM) <= tolerance,
                 qPrintable(describe(r)));
    }
    QCOMPARE(r.events.back().type, Analysis::EventType::End);
    QVERIFY2(r.fiberEndM && std::abs(*r.fiberEndM - truth.last().positionM) <= tolerance,
             qPrintable(describe(r)));
    for (const Analysis::Event &e : r.events)
        QVERIFY2(e.distanceM >= -tolerance, qPrintable(describe(r)));
}

// By default the file's own thresholds decide, as they did on the instrument; each one chosen
// overrides; a value no instrument offers is no setting.
void TestAnalysis::fileThresholds()
{
    const Simulation s = fibre({{TrueEvent::Step, 8000, 0.12, 0},
                                {TrueEvent::Reflection, 16000, 0.4, -45},
                                {TrueEvent::End, 30000, 0, -14}});
    SorWriter::Trace written = SorWriter::simulatedTrace(s);
    written.lossThreshold = 200;
    written.reflectanceThreshold = 65535;
    written.endOfFiberThreshold = 65000;
    const Sor::Trace trace = Sor::read(SorWriter::write(written));
    const Analysis::Thresholds fromFile = Analysis::thresholdsFor(trace);
    QCOMPARE(fromFile.lossDb, 0.2);
    QCOMPARE(fromFile.reflectanceDb, Analysis::Thresholds().reflectanceDb);
    QCOMPARE(fromFile.endDb, Analysis::Thresholds().endDb);
    const Analysis::Result instruments = Analysis::analyze(trace);
    QVERIFY2(instruments.events.size() == 2, qPrintable(describe(instruments)));
    QCOMPARE(instruments.thresholds.lossDb, 0.2);
    Analysis::ThresholdChoice choice;
    choice.lossDb = 0.05;
    const Analysis::Result chosen
        = Analysis::analyze(trace, Analysis::thresholdsFor(trace, choice));
    QVERIFY2(chosen.events.size() == 3, qPrintable(describe(chosen)));
    QVERIFY(std::abs(chosen.events.front().distanceM - 8000) <= s.spacingM);
}

void TestAnalysis::storedNotFound_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("lossThresholdDb"); // 0: the file's own (0.2 dB)
    QTest::addColumn<QList<double>>("left");
    QTest::newRow("1550 nm from A") << "1550-ab.sor" << 0.0 << QList<double>{4000, 15000};
    QTest::newRow("1550 nm from B") << "1550-ba.sor" << 0.0 << QList<double>{9002};
    QTest::newRow("1310 nm from A") << "1310-ab.sor" << 0.0 << QList<double>{4000, 15000, 19000};
    QTest::newRow("1550 nm from A, a 0.1 dB threshold")
        << "1550-ab.sor" << 0.1 << QList<double>{4000};
}

// Both ends' files store their splices (0.14 dB from A and 0.08 dB from B at 15 km) under the
// 0.2 dB loss threshold they also store: the analysis honours the threshold, and says which of
// the file's events it left out, with the loss the points give there and why.
void TestAnalysis::storedNotFound()
{
    QFETCH(QString, file);
    QFETCH(double, lossThresholdDb);
    QFETCH(QList<double>, left);
    Sor::Trace trace;
    for (const SorWriter::Case &c : SorWriter::twoEndedSamples()) {
        if (c.name == file)
            trace = Sor::read(SorWriter::write(c.trace));
    }
    QVERIFY(trace.keyEvents);
    Analysis::ThresholdChoice choice;
    if (lossThresholdDb > 0)
        choice.lossDb = lossThresholdDb;
    const Analysis::Result r = Analysis::analyze(trace, Analysis::thresholdsFor(trace, choice));
    const std::vector<Analysis::Unfound> found = Analysis::storedNotFound(trace, r);
    QStringList said;
    for (const Analysis::Unfound &u : found)
        said << QStringLiteral("%1 m %2 %3").arg(u.distanceM).arg(u.lossDb.value_or(99)).arg(u.why);
    QVERIFY2(int(found.size()) == left.size(), qPrintable(said.join("; ") + " | " + describe(r)));
    for (int i = 0; i < left.size(); ++i) {
        const Analysis::Unfound &u = found.at(size_t(i));
        QVERIFY2(std::abs(u.distanceM - left.at(i)) < 1, qPrintable(said.join("; ")));
        const auto stored = std::find_if(
            trace.keyEvents->events.begin(),
            trace.keyEvents->events.end(),
            [&](const Sor::Event &e) { return std::abs(e.distanceM - u.distanceM) < 1; });
        QVERIFY(stored != trace.keyEvents->events.end());
        QVERIFY2(u.lossDb && std::abs(*u.lossDb - stored->lossDb) <= 0.02,
                 qPrintable(said.join("; ")));
        QVERIFY2(u.why.startsWith(QStringLiteral("abaixo do limiar de perda")),
                 qPrintable(said.join("; ")));
    }
}

void TestAnalysis::impossibleEvents_data()
{
    QTest::addColumn<double>("stepDb");
    QTest::addColumn<QString>("word");
    QTest::newRow("gaining 8 dB") << -8.0 << "ganha";
    QTest::newRow("gaining 12 dB") << -12.0 << "ganha";
}

// No event gains more than 5 dB with backscatter on both sides: such a step is left out with
// the reason, the rest of the trace analysed as it stands. (A deep loss with backscatter past
// it is a splitter's: tst_wholetrace.)
void TestAnalysis::impossibleEvents()
{
    QFETCH(double, stepDb);
    QFETCH(QString, word);
    std::vector<double> levels(12000);
    for (size_t i = 0; i < levels.size(); ++i)
        levels[i] = -0.001 * double(i) - (i >= 6000 ? stepDb : 0.0) + (i % 2 ? 0.003 : -0.003);
    Analysis::Input input;
    input.levelsDb = levels.data();
    input.count = levels.size();
    input.spacingM = 5;
    input.pulseNs = 100;
    const Analysis::Result r = Analysis::analyze(input);
    for (const Analysis::Event &e : r.events) {
        QVERIFY2(e.lossDb <= Analysis::HighestEventLossDb
                     && e.lossDb >= -Analysis::HighestEventGainDb,
                 qPrintable(describe(r)));
    }
    QVERIFY2(r.warnings.join(QLatin1Char(' ')).contains(word), qPrintable(r.warnings.join('|')));
}

// Without a launch cable, the front connector the trace starts on is event 1 at the span's start,
// with its reflectance and no loss (nothing before it to measure one by); nothing in its dead
// zone is an event.
void TestAnalysis::frontConnector()
{
    const Simulation s = fibre({{TrueEvent::Reflection, 0, 0.3, -50},
                                {TrueEvent::Step, 12000, 0.3, 0},
                                {TrueEvent::End, 30000, 0, -14}});
    const Sor::Trace trace = Sor::read(SorWriter::write(SorWriter::simulatedTrace(s)));
    const Analysis::Result r = Analysis::analyze(trace);
    QVERIFY2(r.events.size() == 3, qPrintable(describe(r)));
    const Analysis::Event &launch = r.events.front();
    QCOMPARE(launch.distanceM, 0.0);
    QCOMPARE(launch.type, Analysis::EventType::Reflective);
    QVERIFY(!launch.lossMeasured);
    QVERIFY2(launch.reflectanceDb && std::abs(*launch.reflectanceDb + 50) <= 1.5,
             qPrintable(QString::number(launch.reflectanceDb.value_or(0))));
    QVERIFY(std::abs(r.events.at(1).distanceM - 12000) <= s.spacingM);
}

// A value no fibre has is left out with the reason, never given: here a trace that rises along
// its length, whose total loss and sections' attenuation would come out negative.
void TestAnalysis::impossibleValues()
{
    std::vector<double> levels(12000);
    for (size_t i = 0; i < levels.size(); ++i)
        levels[i] = -20 + 0.0003 * double(i) + (i >= 6000 ? -0.5 : 0.0) + (i % 2 ? 0.002 : -0.002);
    Analysis::Input input;
    input.levelsDb = levels.data();
    input.count = levels.size();
    input.spacingM = 5;
    input.pulseNs = 1000;
    const Analysis::Result r = Analysis::analyze(input);
    QVERIFY2(!r.totalLossDb || *r.totalLossDb >= 0, qPrintable(describe(r)));
    for (const Analysis::Event &e : r.events)
        QVERIFY(!e.attenuationDbKm || *e.attenuationDbKm >= Analysis::LowestAttenuationDbKm);
    QVERIFY(!r.events.empty());
    QVERIFY2(!r.warnings.isEmpty(), qPrintable(describe(r)));
    QVERIFY(r.warnings.join(QLatin1Char(' ')).contains(QStringLiteral("não determinad")));
}

QTEST_APPLESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
