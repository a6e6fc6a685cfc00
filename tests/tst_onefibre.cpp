#include "onefibre/onefibre.h"
#include "sor/sorreader.h"
#include "tracesim.h"

#include <QtTest>

#include <deque>

using SorWriter::Simulation;
using SorWriter::TrueEvent;

// Several shots of one fibre told against each other: the pulse ladder, the same fibre at two
// wavelengths, a shot that misses an event, and shots that are not of one fibre.
class TestOneFibre : public QObject
{
    Q_OBJECT

private slots:
    void pulseLadder();
    void oneShotMissesAnEvent();
    void aBend();
    void shortRangeShot();
    void notOneFibre_data();
    void notOneFibre();

private:
    // The traces stay while their shots point to them.
    std::deque<Sor::Trace> traces;
    std::vector<OneFibre::Shot> shots(const QList<Simulation> &simulations, const QString &fibre);
};

namespace {

// One fibre measured as the instrument's pulse ladder does: six pulses on 2.84 m points, the
// longer pulses with more light and less noise; a 0.7 dB connector at 3 km, the end at 8 km.
QList<Simulation> ladder(int wavelengthNm)
{
    QList<Simulation> all;
    for (const int pulse : {20, 40, 150, 500, 1000, 3000}) {
        Simulation s;
        s.pulseNs = pulse;
        s.spacingM = 2.84;
        s.points = 4096;
        s.wavelengthNm = wavelengthNm;
        s.attenuationDbKm = wavelengthNm == 1310 ? 0.33 : 0.19;
        s.launchSnrDb = 14 + 5 * std::log10(pulse / 20.0);
        s.seed = quint32(pulse + wavelengthNm);
        s.events = {{TrueEvent::Reflection, 0, 0.2, -50},
                    {TrueEvent::Reflection, 3000, 0.7, -45},
                    {TrueEvent::End, 8020, 0, -14}};
        all << s;
    }
    return all;
}

} // namespace

std::vector<OneFibre::Shot> TestOneFibre::shots(const QList<Simulation> &simulations,
                                                const QString &fibre)
{
    std::vector<OneFibre::Shot> all;
    for (const Simulation &s : simulations) {
        SorWriter::Trace t = SorWriter::simulatedTrace(s);
        t.fiberId = fibre.toUtf8();
        traces.push_back(Sor::read(SorWriter::write(t)));
        all.push_back({QStringLiteral("%1_%2ns.sor").arg(s.wavelengthNm).arg(s.pulseNs),
                       &traces.back(),
                       Analysis::analyze(traces.back())});
    }
    return all;
}

// Twelve shots, one story: the connector in every shot, one end within the coarsest pulse's
// resolution.
void TestOneFibre::pulseLadder()
{
    const std::vector<OneFibre::Shot> all = shots(ladder(1310) + ladder(1550), "F07");
    QVERIFY(OneFibre::sameFibre(all));
    const OneFibre::Agreement a = OneFibre::compare(all);
    QVERIFY2(a.oneStory(), qPrintable(a.disagreements.join(QLatin1Char('\n'))));
    QCOMPARE(a.features.size(), size_t(1));
    QVERIFY(std::abs(a.features.front().distanceM - 3000) <= a.toleranceM);
    for (const OneFibre::Sighting &s : a.features.front().shots)
        QCOMPARE(s.seen, OneFibre::Seen::Found);
    QVERIFY(a.endsAgree);
    QVERIFY(a.endSpreadM <= a.toleranceM);
}

// A short pulse whose trace stops before the fibre's end finds no end and does not disagree;
// its range is said. A shot that reaches past the end and finds none does disagree.
void TestOneFibre::shortRangeShot()
{
    QList<Simulation> all = ladder(1310).mid(2, 3);
    Simulation shortRange = ladder(1310).first();
    shortRange.points = 1400; // 3.98 km of 8 km
    all << shortRange;
    const std::vector<OneFibre::Shot> set = shots(all, "F07");
    QVERIFY(!set.back().result.fiberEndM);
    const OneFibre::Agreement a = OneFibre::compare(set);
    QVERIFY2(a.endsAgree, qPrintable(a.disagreements.join(QLatin1Char('\n'))));
    // The same shot, its end said not to be found, where its trace reaches past it.
    std::vector<OneFibre::Shot> reaching = set;
    Sor::Trace longer = *reaching.back().trace;
    longer.rangeM = 9000;
    traces.push_back(longer);
    reaching.back().trace = &traces.back();
    const OneFibre::Agreement b = OneFibre::compare(reaching);
    QVERIFY(!b.endsAgree);
    QVERIFY2(b.disagreements.join(QLatin1Char('\n')).contains("não encontrado"),
             qPrintable(b.disagreements.join(QLatin1Char('\n'))));
}

// A splice of 0.5 dB that one shot does not show while its pulse resolves it: that shot is
// named, and the story is not one.
void TestOneFibre::oneShotMissesAnEvent()
{
    QList<Simulation> set = ladder(1550).mid(2, 3);
    for (int k = 1; k < set.size(); ++k)
        set[k].events.insert(2, {TrueEvent::Step, 5500, 0.5, 0});
    const std::vector<OneFibre::Shot> all = shots(set, "F07");
    const OneFibre::Agreement a = OneFibre::compare(all);
    QVERIFY(!a.oneStory());
    QCOMPARE(a.disagreements.size(), 1);
    QVERIFY2(a.disagreements.first().contains(all.front().name)
                 && a.disagreements.first().contains(QStringLiteral("5,5")),
             qPrintable(a.disagreements.first()));
}

// A bend loses 0.8 dB at 1550 nm and little at 1310 nm: the shorter wavelength not showing it
// is a bend's story, not a disagreement; the other way round it is one.
void TestOneFibre::aBend()
{
    QList<Simulation> set = ladder(1310).mid(3, 1) + ladder(1550).mid(3, 1);
    set[0].events.insert(2, {TrueEvent::Step, 5500, 0.05, 0});
    set[1].events.insert(2, {TrueEvent::Step, 5500, 0.8, 0});
    const OneFibre::Agreement bend = OneFibre::compare(shots(set, "F07"));
    QVERIFY2(bend.oneStory(), qPrintable(bend.disagreements.join(QLatin1Char('\n'))));
    QCOMPARE(bend.features.size(), size_t(2));
    QVERIFY(bend.features.back().shots.front().why.contains(QStringLiteral("curvatura")));
    std::swap(set[0].events[2], set[1].events[2]);
    QVERIFY(!OneFibre::compare(shots(set, "F07")).oneStory());
}

void TestOneFibre::notOneFibre_data()
{
    QTest::addColumn<bool>("otherId");
    QTest::addColumn<double>("otherEndM");
    QTest::addColumn<bool>("ignoreIds");
    QTest::addColumn<QString>("why");
    QTest::newRow("another fibre's id") << true << 8020.0 << false << "cabo/fibra";
    QTest::newRow("another id, told they are one") << true << 8020.0 << true << "";
    QTest::newRow("an end 1.5 km short") << false << 6500.0 << true << "fins da fibra";
}

// Told apart by their ids, unless told they are one fibre, and by ends no pulse explains.
void TestOneFibre::notOneFibre()
{
    QFETCH(bool, otherId);
    QFETCH(double, otherEndM);
    QFETCH(bool, ignoreIds);
    QFETCH(QString, why);
    QList<Simulation> set = ladder(1550).mid(3, 2);
    set[1].events.last().positionM = otherEndM;
    std::vector<OneFibre::Shot> all = shots(set.mid(0, 1), "F07");
    const std::vector<OneFibre::Shot> other = shots(set.mid(1, 1), otherId ? "F08" : "F07");
    all.push_back(other.front());
    const QString found = OneFibre::notOneFibre(all, ignoreIds);
    QVERIFY2(why.isEmpty() ? found.isEmpty() : found.contains(why), qPrintable(found));
    QVERIFY(!OneFibre::sameFibre(all));
}

QTEST_APPLESS_MAIN(TestOneFibre)
#include "tst_onefibre.moc"
