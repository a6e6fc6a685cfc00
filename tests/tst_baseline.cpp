#include "baseline/baselineoutput.h"
#include "baseline/stepmeter.h"
#include "sor/sorreader.h"
#include "sortoolrun.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// A trace against its as-built, on generated fibres whose changes are known.
class TestBaseline : public QObject
{
    Q_OBJECT

private slots:
    void changes_data();
    void changes();
    void oneMeasurement_data();
    void oneMeasurement();
    void wavelengths();
    void notOneFibre_data();
    void notOneFibre();
    void noiseIsNoChange();
    void stepMeter_data();
    void stepMeter();
    void command();
};

namespace {

using SorWriter::TrueEvent;

// A 20 km fibre as built: splices at 4, 9 and 15 km, a connector at 12 km, measured with its
// own noise (the seed); `change` adds what happened since.
SorWriter::Simulation fibre(quint32 seed,
                            const std::function<void(SorWriter::Simulation &)> &change = {})
{
    SorWriter::Simulation s;
    s.spacingM = 2;
    s.points = 12000;
    s.pulseNs = 300;
    s.attenuationDbKm = 0.2;
    s.launchSnrDb = 36;
    s.seed = seed;
    s.events = {{TrueEvent::Step, 4000, 0.12},
                {TrueEvent::Step, 9000, 0.08},
                {TrueEvent::Reflection, 12000, 0.35, -50},
                {TrueEvent::Step, 15000, 0.10},
                {TrueEvent::End, 20000, 0, -14}};
    if (change)
        change(s);
    return s;
}

Sor::Trace traceOf(const SorWriter::Trace &t)
{
    return Sor::read(SorWriter::write(t));
}

// The file as the instrument stored it: the true events, but one below its threshold left out.
SorWriter::Trace stored(const SorWriter::Simulation &s, double leaveOutAtM = -1)
{
    SorWriter::Simulation shown = s;
    shown.events.erase(
        std::remove_if(shown.events.begin(),
                       shown.events.end(),
                       [&](const TrueEvent &e) { return std::abs(e.positionM - leaveOutAtM) < 1; }),
        shown.events.end());
    SorWriter::Trace t = SorWriter::simulatedTrace(shown, true);
    // The points are the fibre's, with every change in them.
    t.data = SorWriter::simulatedTrace(s, false).data;
    return t;
}

} // namespace

void TestBaseline::changes_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("kinds"); // the changes listed, in order
    QTest::addColumn<double>("atM");    // where the first is
    QTest::addColumn<double>("delta");  // its size
    QTest::newRow("nothing, measured again") << "none"
                                             << "" << 0.0 << 0.0;
    QTest::newRow("a 0.3 dB bend below the threshold: only the points show it")
        << "bend 0.3"
        << "trace" << 6500.0 << 0.3;
    QTest::newRow("a 0.5 dB bend") << "bend 0.5"
                                   << "trace" << 6500.0 << 0.5;
    QTest::newRow("a splice worse by 0.4 dB") << "splice"
                                              << "loss" << 9000.0 << 0.4;
    QTest::newRow("a new closure") << "new"
                                   << "new" << 17000.0 << 0.3;
    QTest::newRow("a break at 13.5 km") << "break"
                                        << "end" << 13500.0 << -6500.0;
    QTest::newRow("the connector reflects 8 dB more") << "reflect"
                                                      << "reflectance" << 12000.0 << 8.0;
    QTest::newRow("the as-built's receiver slow off the front connector") << "tail"
                                                                          << "" << 0.0 << 0.0;
    QTest::newRow("extended: a connector just before the old end") << "extended"
                                                                   << "new,end" << 19800.0 << 0.3;
    QTest::newRow("extended, the as-built storing its end as a plain event")
        << "extended, end unmarked"
        << "new,end" << 19800.0 << 0.3;
}

// Each change found where it is, its size within 0.05 dB, and nothing else listed.
void TestBaseline::changes()
{
    QFETCH(QString, what);
    QFETCH(QString, kinds);
    QFETCH(double, atM);
    QFETCH(double, delta);
    SorWriter::Trace built = stored(fibre(1, [&](SorWriter::Simulation &s) {
        if (what == "tail") {
            s.launchTailDb = 0.8;
            s.launchTailM = 300;
        }
    }));
    if (what.endsWith("end unmarked")) {
        // Some instruments store the end as a plain event with the fall's "loss".
        for (SorWriter::Event &e : built.events) {
            if (e.code.at(1) == 'E') {
                e.code[1] = 'D';
                e.loss = 3000;
            }
        }
    }
    const Sor::Trace base = traceOf(built);
    SorWriter::Trace later;
    if (what == "none" || what == "tail") {
        later = stored(fibre(2));
    } else if (what.startsWith("bend")) {
        const double db = what.mid(5).toDouble();
        later = stored(fibre(2,
                             [db](SorWriter::Simulation &s) {
                                 s.events.insert(1, TrueEvent(TrueEvent::Step, 6500, db));
                             }),
                       6500);
    } else if (what == "splice") {
        later = stored(fibre(2, [](SorWriter::Simulation &s) { s.events[1].lossDb = 0.48; }));
    } else if (what == "new") {
        later = stored(fibre(2, [](SorWriter::Simulation &s) {
            s.events.insert(4, TrueEvent(TrueEvent::Step, 17000, 0.3));
        }));
    } else if (what == "break") {
        later = stored(fibre(2, [](SorWriter::Simulation &s) {
            s.events = s.events.mid(0, 3);
            s.events << TrueEvent(TrueEvent::End, 13500, 0, -20);
        }));
    } else if (what.startsWith("extended")) {
        later = stored(fibre(2, [](SorWriter::Simulation &s) {
            s.events.last() = TrueEvent(TrueEvent::Reflection, 19800, 0.3, -50);
            s.events << TrueEvent(TrueEvent::End, 22000, 0, -14);
        }));
    } else if (what == "reflect") {
        later = stored(fibre(2, [](SorWriter::Simulation &s) { s.events[2].reflectanceDb = -42; }));
    }
    const Baseline::Comparison c = Baseline::compare(base, traceOf(later), {});
    QVERIFY2(c.problem.isEmpty(), qPrintable(c.problem));
    QVERIFY(!c.samePoints);
    QStringList found;
    for (const Baseline::Change &change : c.changes)
        found << Baseline::kindKey(change.kind);
    if (qEnvironmentVariableIsSet("BASELINE_SHOW"))
        qDebug().noquote() << Baseline::table("base", "agora", c);
    QVERIFY2(found.join(',') == kinds, qPrintable(Baseline::table("base", "agora", c)));
    QCOMPARE(c.verdict(),
             kinds.isEmpty() ? QStringLiteral("sem mudança") : QStringLiteral("mudou"));
    if (kinds.isEmpty())
        return;
    const Baseline::Change &first = c.changes.first();
    QVERIFY2(std::abs(first.distanceM - atM) <= c.toleranceM, qPrintable(first.text));
    const double within = what == "break" ? c.toleranceM : what == "reflect" ? 1.0 : 0.05;
    QVERIFY2(first.delta && std::abs(*first.delta - delta) <= within, qPrintable(first.text));
    if (what == "break")
        QVERIFY(first.text.startsWith("a fibra agora termina em 13,5"));
}

void TestBaseline::oneMeasurement_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("its axis moved by a user offset") << "offset";
    QTest::newRow("saved again by another program, without events") << "resaved";
}

// One measurement is never a change, whatever its axis or event table say.
void TestBaseline::oneMeasurement()
{
    QFETCH(QString, how);
    const SorWriter::Trace t = stored(fibre(1));
    SorWriter::Trace other = t;
    if (how == "offset") {
        other.userOffset = SorWriter::timeFor(500, other.groupIndex);
    } else {
        other.supplier = "Outro Programa";
        other.events.clear();
        other.withEvents = false;
    }
    const Baseline::Comparison c = Baseline::compare(traceOf(t), traceOf(other), {});
    QVERIFY(c.samePoints);
    QVERIFY(!c.changed());
    QVERIFY(Baseline::table("a", "b", c).contains("os pontos são iguais"));
}

void TestBaseline::wavelengths()
{
    const SorWriter::Trace t = stored(fibre(1));
    SorWriter::Trace other = stored(fibre(2));
    other.wavelength = 13100;
    Baseline::Options o;
    QVERIFY(
        Baseline::compare(traceOf(t), traceOf(other), o).problem.contains("comprimentos de onda"));
    o.force = true;
    const Baseline::Comparison forced = Baseline::compare(traceOf(t), traceOf(other), o);
    QVERIFY(forced.problem.isEmpty());
    QVERIFY(forced.notes.join('\n').contains("--force"));
}

void TestBaseline::notOneFibre_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("problem"); // part of the refusal; empty: compared
    QTest::newRow("another fibre by its id") << "fibre"
                                             << "são fibras diferentes (fibra F01 e fibra F02)";
    QTest::newRow("another cable by its id") << "cable"
                                             << "são fibras diferentes (cabo CABO e cabo OUTRO)";
    QTest::newRow("the other end by its ids")
        << "ids"
        << "são as duas pontas de uma fibra (ELMMIL0001 e MILELM0001)";
    QTest::newRow("the other end by the traces")
        << "mirrored"
        << "são as duas pontas pelos traços (eventos casados espelhados, 4";
    QTest::newRow("a fibre more than twice as long") << "longer"
                                                     << "mais que o dobro";
    QTest::newRow("a short fibre whose events are elsewhere") << "elsewhere"
                                                              << "seus eventos não estão";
    QTest::newRow("a break at 6 km: one fibre") << "break"
                                                << "";
}

// compare refuses what is not one fibre measured from one end, saying why; --force compares
// it anyway and says so.
void TestBaseline::notOneFibre()
{
    QFETCH(QString, what);
    QFETCH(QString, problem);
    SorWriter::Trace base = stored(fibre(1));
    SorWriter::Trace now;
    if (what == "mirrored") {
        now = stored(SorWriter::fromOtherEnd(fibre(2)));
    } else if (what == "longer" || what == "elsewhere") {
        SorWriter::Simulation other = fibre(2);
        other.points = what == "longer" ? 24000 : 4000;
        other.events = what == "longer" ? QList<TrueEvent>{{TrueEvent::Step, 7000, 0.2},
                                                           {TrueEvent::Step, 26000, 0.2},
                                                           {TrueEvent::End, 45000, 0, -14}}
                                        : QList<TrueEvent>{{TrueEvent::Step, 1500, 0.2},
                                                           {TrueEvent::Step, 3000, 0.2},
                                                           {TrueEvent::Step, 4500, 0.2},
                                                           {TrueEvent::End, 6000, 0, -14}};
        now = stored(other);
    } else if (what == "break") {
        now = stored(fibre(2, [](SorWriter::Simulation &s) {
            s.events = {s.events.first(), TrueEvent(TrueEvent::End, 6000, 0, -20)};
        }));
    } else {
        now = stored(fibre(2));
    }
    if (what == "fibre")
        now.fiberId = "F02";
    if (what == "cable")
        now.cableId = "OUTRO";
    if (what == "ids") {
        base.fiberId = "ELMMIL0001";
        now.fiberId = "MILELM0001";
    }
    const Baseline::Comparison c = Baseline::compare(traceOf(base), traceOf(now), {});
    if (problem.isEmpty()) {
        QVERIFY2(c.problem.isEmpty(), qPrintable(c.problem));
        QCOMPARE(c.verdict(), QStringLiteral("mudou"));
        return;
    }
    QVERIFY2(c.problem.contains(problem) && c.problem.endsWith("--force compara assim mesmo"),
             qPrintable(c.problem));
    QVERIFY(c.changes.isEmpty());
    Baseline::Options forced;
    forced.force = true;
    const Baseline::Comparison anyway = Baseline::compare(traceOf(base), traceOf(now), forced);
    QVERIFY(anyway.problem.isEmpty());
    QVERIFY2(anyway.notes.join('\n').contains("comparados por --force"),
             qPrintable(anyway.notes.join('\n')));
}

// Two measurements of one unchanged fibre, each with its own noise, deep in the noise at the
// far end: nothing is listed, for a step of the difference must stand out of its own noise,
// not only reach the threshold.
// A difference of no noise that falls by 0.5 dB at 1 km: the step measured there and nowhere
// else, over the window either side of each point, and only between the settled launch and
// the reach.
void TestBaseline::stepMeter_data()
{
    QTest::addColumn<int>("point");
    QTest::addColumn<double>("step"); // NaN: not measured there
    QTest::addColumn<bool>("shown");

    QTest::newRow("on the step") << 1000 << -0.5 << true;
    QTest::newRow("half a window before it") << 990 << -0.25 << true;
    QTest::newRow("a window before it") << 980 << 0.0 << true;
    QTest::newRow("on the flat") << 500 << 0.0 << false;
    QTest::newRow("within the launch") << 39 << std::nan("") << false;
    QTest::newRow("on the flat near the reach") << 2960 << 0.0 << false;
    // Past the reach less the tolerance and a window: no step, and none to refute an event.
    QTest::newRow("past the reach") << 2975 << std::nan("") << true;
}

void TestBaseline::stepMeter()
{
    QFETCH(int, point);
    QFETCH(double, step);
    QFETCH(bool, shown);
    Baseline::Difference d;
    for (int i = 0; i < 3000; ++i) {
        d.distanceM.push_back(i);
        d.deltaDb.push_back(i < 1000 ? 0 : -0.5);
    }
    Baseline::Scope s;
    s.thresholdDb = 0.1;
    s.toleranceM = 10;
    s.spacingM = 1;
    s.window = 20;
    s.reachM = 3000;
    s.settledM = 20;
    const Baseline::StepMeter meter(d, s);
    QCOMPARE(meter.least(point), 0.1); // no noise: the threshold
    const std::vector<double> steps = meter.stepsAlong();
    QCOMPARE(int(steps.size()), 3000);
    if (std::isnan(step))
        QVERIFY(std::isnan(steps[size_t(point)]));
    else
        QVERIFY2(std::abs(steps[size_t(point)] - step) < 1e-12,
                 qPrintable(QString::number(steps[size_t(point)])));
    // An event there shows where the points after it, clear of its pulse, differ from before.
    QCOMPARE(meter.shown(point), shown);
    // A mean over half a window of points or fewer is none.
    QVERIFY(std::isnan(meter.mean(0, 10)));
    QCOMPARE(meter.mean(990, 1010), -0.25);
}

void TestBaseline::noiseIsNoChange()
{
    const auto noisy = [](quint32 seed) {
        SorWriter::Simulation s = fibre(seed);
        s.launchSnrDb = 8;
        return traceOf(stored(s));
    };
    for (quint32 seed : {2u, 3u, 4u}) {
        const Baseline::Comparison c = Baseline::compare(noisy(1), noisy(seed), {});
        QVERIFY2(c.problem.isEmpty(), qPrintable(c.problem));
        QVERIFY(!c.samePoints);
        QVERIFY2(c.changes.isEmpty(), qPrintable(Baseline::table("1", QString::number(seed), c)));
        QCOMPARE(c.verdict(), QStringLiteral("sem mudança"));
    }
}

// The command on two files and on two folders (paired by fibre and band, the as-built chosen
// by its build condition), its JSON, its PDF, its exit status.
void TestBaseline::command()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("base");
    QDir(dir.path()).mkdir("agora");
    const auto save = [&](const QString &name, SorWriter::Trace t) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(SorWriter::write(t));
    };
    for (int i = 1; i <= 3; ++i) {
        SorWriter::Trace b = stored(fibre(10 + i));
        b.fiberId = QByteArray("F0") + QByteArray::number(i);
        save(QStringLiteral("base/f%1.sor").arg(i), b);
        SorWriter::Trace n
            = i == 2 ? stored(
                  fibre(20 + i, [](SorWriter::Simulation &s) { s.events[1].lossDb = 0.6; }))
                     : stored(fibre(20 + i));
        n.fiberId = b.fiberId;
        n.buildCondition = "CC";
        save(QStringLiteral("agora/f%1.sor").arg(i), n);
    }
    // A later re-shoot in the baseline folder, not as built: the BC one is the baseline.
    SorWriter::Trace reshoot
        = stored(fibre(30, [](SorWriter::Simulation &s) { s.events[0].lossDb = 0.9; }));
    reshoot.fiberId = "F01";
    reshoot.buildCondition = "RC";
    save("base/f1-reparo.sor", reshoot);
    QString out;
    QString err;
    QCOMPARE(runCapturing(
                 {"compare", dir.filePath("base/f1.sor"), dir.filePath("agora/f1.sor")}, out, err),
             0);
    QVERIFY2(out.contains("Veredito: sem mudança"), qPrintable(out));
    QCOMPARE(runCapturing(
                 {"compare", dir.filePath("base/f2.sor"), dir.filePath("agora/f2.sor"), "--json"},
                 out,
                 err),
             1);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    QCOMPARE(json.value("verdict").toString(), QStringLiteral("mudou"));
    QCOMPARE(json.value("same_points").toBool(), false);
    const QJsonObject change = json.value("changes").toArray().first().toObject();
    for (const char *key : {"distance_m", "kind", "before", "after", "delta"})
        QVERIFY2(change.contains(key), key);
    QCOMPARE(change.value("kind").toString(), QStringLiteral("loss"));
    const QString pdf = dir.filePath("mudancas.pdf");
    QCOMPARE(
        runCapturing({"compare", dir.filePath("base"), dir.filePath("agora"), "-o", pdf}, out, err),
        1);
    QVERIFY2(out.contains("3 pares: 2 sem mudança, 1 mudaram"), qPrintable(out));
    QVERIFY2(!out.contains("f1-reparo"), qPrintable(out));
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    QVERIFY(text.waitForFinished(30000));
    const QString pages = QString::fromUtf8(text.readAllStandardOutput());
    QCOMPARE(pages.count(QStringLiteral("Veredito: ")), 3);
    QVERIFY2(pages.contains("evento a 9,0") && pages.contains("diferença (agora − base)"),
             qPrintable(pages));
    // A pair that is not one fibre is not compared, and counted as such, not as a change.
    QDir(dir.path()).mkdir("outro");
    for (int i = 1; i <= 2; ++i) {
        SorWriter::Trace n = stored(fibre(40 + i));
        n.fiberId = QByteArray("F0") + QByteArray::number(i);
        n.buildCondition = "CC";
        if (i == 2)
            n.cableId = "OUTRO";
        save(QStringLiteral("outro/f%1.sor").arg(i), n);
    }
    QCOMPARE(runCapturing({"compare", dir.filePath("base"), dir.filePath("outro")}, out, err), 1);
    QVERIFY2(out.contains("Não comparados: são fibras diferentes (cabo CABO e cabo OUTRO)")
                 && out.contains("2 pares: 1 sem mudança, 0 mudaram, 1 não comparados"),
             qPrintable(out));
    QCOMPARE(runCapturing({"compare", dir.filePath("base/f1.sor")}, out, err), 2);
    QCOMPARE(
        runCapturing({"compare", dir.filePath("base/f1.sor"), dir.filePath("nada.sor")}, out, err),
        2);
    QCOMPARE(
        runCapturing({"compare", dir.filePath("base"), dir.filePath("agora/f1.sor")}, out, err), 2);
}

QTEST_MAIN(TestBaseline)
#include "tst_baseline.moc"
