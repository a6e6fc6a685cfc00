#include "linkmap/linkmap.h"
#include "linkmerge/linkmerge.h"
#include "linkmerge/linkoutput.h"
#include "linkmerge/splitters.h"
#include "sor/sorreader.h"
#include "sortoolrun.h"
#include "tracesim.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QSvgGenerator>
#include <QTemporaryDir>
#include <QtTest>

using SorWriter::TrueEvent;

// Shots of one fibre made one link: events once, each from the shot that resolves it,
// splitters named by ratio and judged by their own limit, the link map, and otdr-sor link.
class TestLinkMerge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void splitterRatio_data();
    void splitterRatio();
    void splitterJudgedByItsOwnLimit();
    void splitterLimitsFile_data();
    void splitterLimitsFile();
    void multiPulseMerged_data();
    void multiPulseMerged();
    void multiPulseEndAndBend();
    void ponSplitters_data();
    void ponSplitters();
    void notOneFibre_data();
    void notOneFibre();
    void unvouchedShots_data();
    void unvouchedShots();
    void disagreementSaid();
    void mapLayout_data();
    void mapLayout();
    void mapClickFindsSymbol();
    void mapWordsFitTheirCells();
    void mapColoursByVerdict_data();
    void mapColoursByVerdict();
    void commandOutputs();
    void commandRefuses_data();
    void commandRefuses();
    void builtToolWritesMap_data();
    void builtToolWritesMap();
    void readmeExamples_data();
    void readmeExamples();
    void reportAndCablePagesCarryMap();

private:
    QVector<LinkMerge::Shot> shotsOf(const QList<SorWriter::PulseShot> &shots) const;
    LinkMerge::Shot ponShot(const QList<double> &losses, quint32 seed) const;
    QString save(const QString &name, const SorWriter::Trace &trace) const;
    std::unique_ptr<QTemporaryDir> dir;
    QStringList shotFiles;
};

namespace {

LinkMerge::Shot shotFrom(const QString &name, const SorWriter::Trace &t)
{
    const Sor::Trace trace = Sor::openTrace(SorWriter::write(t)).trace;
    return LinkMerge::shotOf(name, trace, Analysis::analyze(trace));
}

const LinkMerge::LinkEvent *eventNear(const LinkMerge::Link &link, double m, double within)
{
    const LinkMerge::LinkEvent *found = nullptr;
    for (const LinkMerge::LinkEvent &e : link.events) {
        if (std::abs(e.distanceM - m) <= within) {
            if (found)
                return nullptr; // twice: not once
            found = &e;
        }
    }
    return found;
}

} // namespace

QVector<LinkMerge::Shot> TestLinkMerge::shotsOf(const QList<SorWriter::PulseShot> &shots) const
{
    QVector<LinkMerge::Shot> out;
    for (const SorWriter::PulseShot &s : shots)
        out.append(shotFrom(s.name, s.trace));
    return out;
}

LinkMerge::Shot TestLinkMerge::ponShot(const QList<double> &losses, quint32 seed) const
{
    return shotFrom(QStringLiteral("pon.sor"),
                    SorWriter::ponTrace(SorWriter::ponLink(losses, seed)));
}

QString TestLinkMerge::save(const QString &name, const SorWriter::Trace &trace) const
{
    return writeInto(*dir, name, SorWriter::write(trace));
}

void TestLinkMerge::initTestCase()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    for (const SorWriter::PulseShot &s : SorWriter::multiPulseShots())
        shotFiles << save(s.name, s.trace);
}

void TestLinkMerge::splitterRatio_data()
{
    QTest::addColumn<double>("lossDb");
    QTest::addColumn<int>("ways"); // 0: no splitter
    QTest::addColumn<QString>("why");
    QTest::newRow("1:2") << 3.4 << 2 << "";
    QTest::newRow("1:4 real PON step") << 5.7 << 4 << "";
    QTest::newRow("1:8") << 10.2 << 8 << "";
    QTest::newRow("1:16") << 13.0 << 16 << "";
    QTest::newRow("1:32") << 16.4 << 32 << "";
    QTest::newRow("1:64 real PON step") << 18.5 << 64 << "";
    QTest::newRow("1:32 and 1:64 overlap: nearer typical") << 17.6 << 32 << "";
    QTest::newRow("a splice") << 0.3 << 0 << "";
    QTest::newRow("between 1:2 and 1:4") << 4.9 << 0 << "4,900 dB: entre 1:2 (até 4,500 dB) e 1:4";
    QTest::newRow("past 1:64") << 23.0 << 0 << "23,000 dB: mais que um divisor 1:64";
}

// A step is named by the ratio whose losses hold it; a big step that fits none says why.
void TestLinkMerge::splitterRatio()
{
    QFETCH(double, lossDb);
    QFETCH(int, ways);
    QFETCH(QString, why);
    const auto ratio = LinkMerge::splitterFor(lossDb);
    QCOMPARE(ratio ? ratio->ways : 0, ways);
    const QString said = LinkMerge::whyNoSplitter(lossDb);
    QVERIFY2(why.isEmpty() ? said.isEmpty() : said.startsWith(why), qPrintable(said));
}

// A splitter is judged against its ratio's limit, never as a splice; a splice is still one.
void TestLinkMerge::splitterJudgedByItsOwnLimit()
{
    const Acceptance::Limits gpon = *Acceptance::preset(QStringLiteral("gpon-classe-b+"));
    QCOMPARE(gpon.splitterLossMaxDb.value(8), 10.7);
    Acceptance::Link link;
    link.lengthM = 5000;
    link.totalLossDb = 20;
    Acceptance::JudgedEvent splitter;
    splitter.number = 3;
    splitter.distanceM = 2000;
    splitter.lossDb = 10.2;
    splitter.splitterWays = 8;
    Acceptance::JudgedEvent lossy = splitter;
    lossy.number = 4;
    lossy.lossDb = 11.0;
    link.events = {splitter, lossy};
    Acceptance::Judgement j = Acceptance::judge(link, gpon);
    QCOMPARE(j.events.at(0).verdict, Acceptance::Verdict::Pass);
    QCOMPARE(j.events.at(1).verdict, Acceptance::Verdict::Fail);
    QCOMPARE(j.reasons,
             QStringList{"evento 4: perda do divisor 11,000 dB acima do limite (perda de divisor "
                         "1:8 máx. 10,700 dB)"});
    QCOMPARE(Acceptance::eventVerdictText(j.events.at(1), gpon, 1625.0),
             QStringLiteral("REPROVADO: perda de divisor 1:8 máx. 10,700 dB"));
    // Under a splice limit a splitter is not a 10 dB splice.
    Acceptance::Limits splices;
    splices.spliceLossMaxDb = 0.3;
    j = Acceptance::judge(link, splices);
    QCOMPARE(j.verdict, Acceptance::Verdict::Pass);
    link.events[0].splitterWays.reset();
    QCOMPARE(Acceptance::judge(link, splices).events.at(0).verdict, Acceptance::Verdict::Fail);
}

void TestLinkMerge::splitterLimitsFile_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error"); // empty: read
    QTest::newRow("by ways") << QByteArray(R"({"splitter_loss_max_db": {"4": 7.2, "32": 17}})")
                             << "";
    QTest::newRow("a number") << QByteArray(R"({"splitter_loss_max_db": 10})")
                              << "precisa de um objeto de divisores";
    QTest::newRow("a ratio written 1:8") << QByteArray(R"({"splitter_loss_max_db": {"1:8": 10}})")
                                         << "\"1:8\" precisa ser o número de saídas";
    QTest::newRow("1:1") << QByteArray(R"({"splitter_loss_max_db": {"1": 1}})")
                         << "\"1\" precisa ser o número de saídas";
    QTest::newRow("negative") << QByteArray(R"({"splitter_loss_max_db": {"8": -1}})")
                              << "o limite de 1:8 não pode ser negativo";
}

void TestLinkMerge::splitterLimitsFile()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    QString why;
    const std::optional<Acceptance::Limits> l = Acceptance::parseLimits(json, &why);
    QCOMPARE(bool(l), error.isEmpty());
    if (l) {
        QCOMPARE(l->splitterLossMaxDb.value(32), 17.0);
        QVERIFY(l->checksAnything());
    } else {
        QVERIFY2(why.contains(error), qPrintable(why));
    }
}

void TestLinkMerge::multiPulseMerged_data()
{
    QTest::addColumn<double>("trueM");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("loss1310");
    QTest::addColumn<double>("loss1550");
    // Near events only the 20 ns pulse tells apart (10 m); far ones past its 8 km.
    QTest::newRow("connector 400 m") << 400.0 << "1310_20ns.sor"
                                     << "conector" << 0.35 << 0.35;
    QTest::newRow("splice 1500 m") << 1500.0 << "1310_20ns.sor"
                                   << "emenda" << 0.15 << 0.15;
    QTest::newRow("splice 1510 m") << 1510.0 << "1310_20ns.sor"
                                   << "emenda" << 0.20 << 0.20;
    QTest::newRow("splice 5 km") << 5000.0 << "1310_20ns.sor"
                                 << "emenda" << 0.15 << 0.15;
    QTest::newRow("connector 16 km") << 16000.0 << "1310_200ns.sor"
                                     << "conector" << 0.50 << 0.50;
    QTest::newRow("bent splice 21 km") << 21000.0 << "1310_200ns.sor"
                                       << "emenda" << 0.25 << 1.05;
}

// Each true event once, placed and measured by the shortest pulse that resolves it with signal
// to spare, each band's loss within 0.05 dB.
void TestLinkMerge::multiPulseMerged()
{
    QFETCH(double, trueM);
    QFETCH(QString, source);
    QFETCH(QString, kind);
    QFETCH(double, loss1310);
    QFETCH(double, loss1550);
    const QVector<LinkMerge::Shot> shots = shotsOf(SorWriter::multiPulseShots());
    QCOMPARE(LinkMerge::oneFibreProblem(shots, false), QString());
    const LinkMerge::Link link = LinkMerge::mergeShots(shots, Acceptance::Limits());
    QCOMPARE(link.bands, (QVector<int>{1310, 1550}));
    const LinkMerge::LinkEvent *e = eventNear(link, trueM, 6);
    QVERIFY2(e, "not found exactly once");
    QCOMPARE(link.shots.at(e->placeShot).name, source);
    QCOMPARE(LinkMerge::kindText(*e), kind);
    QVERIFY(e->valueAt(1310) && e->valueAt(1550));
    QVERIFY2(std::abs(*e->valueAt(1310)->lossDb - loss1310) <= 0.05,
             qPrintable(QString::number(*e->valueAt(1310)->lossDb)));
    QVERIFY2(std::abs(*e->valueAt(1550)->lossDb - loss1550) <= 0.05,
             qPrintable(QString::number(*e->valueAt(1550)->lossDb)));
    // Each band's value says which of its own shots it came from.
    QVERIFY(link.shots.at(e->valueAt(1550)->shot).name.startsWith("1550_"));
}

// The end from the pulses that reach it (the 20 ns shots stop at 8 km and say so), one launch,
// the bend that loses 0.8 dB more at 1550 nm, no disagreement on a sound set.
void TestLinkMerge::multiPulseEndAndBend()
{
    const LinkMerge::Link link
        = LinkMerge::mergeShots(shotsOf(SorWriter::multiPulseShots()), Acceptance::Limits());
    QCOMPARE(link.events.size(), 8);
    QCOMPARE(link.events.first().kind, LinkMerge::Kind::Launch);
    QCOMPARE(link.events.last().kind, LinkMerge::Kind::End);
    QVERIFY(link.endM && std::abs(*link.endM - 26000) <= 5);
    QVERIFY(link.shots.at(link.endShot).name.endsWith("_200ns.sor"));
    QCOMPARE(link.bends(), 1);
    QVERIFY(eventNear(link, 21000, 6)->bend);
    QVERIFY2(link.disagreements.isEmpty(), qPrintable(link.disagreements.value(0).text));
    QCOMPARE(link.splitters(), 0);
    for (const LinkMerge::Shot &s : link.shots)
        QCOMPARE(s.endFound, !s.name.endsWith("_20ns.sor"));
}

void TestLinkMerge::ponSplitters_data()
{
    QTest::addColumn<QList<double>>("losses");
    QTest::addColumn<QList<int>>("ways");
    QTest::addColumn<bool>("passes");
    QTest::newRow("1:4") << QList<double>{6.7} << QList<int>{4} << true;
    QTest::newRow("1:8") << QList<double>{9.8} << QList<int>{8} << true;
    QTest::newRow("1:32") << QList<double>{16.2} << QList<int>{32} << true;
    QTest::newRow("1:4 + 1:8 in cascade") << QList<double>{6.6, 9.9} << QList<int>{4, 8} << true;
    QTest::newRow("a lossy 1:8 fails its limit") << QList<double>{11.0} << QList<int>{8} << false;
}

// Each splitter named by its ratio, never the end; judged by the GPON preset's splitter limits.
void TestLinkMerge::ponSplitters()
{
    QFETCH(QList<double>, losses);
    QFETCH(QList<int>, ways);
    QFETCH(bool, passes);
    const LinkMerge::Link link = LinkMerge::mergeShots(
        {ponShot(losses, 7)}, *Acceptance::preset(QStringLiteral("gpon-classe-c+")));
    QList<int> named;
    for (const LinkMerge::LinkEvent &e : link.events) {
        if (e.kind == LinkMerge::Kind::Splitter)
            named << *e.splitterWays;
    }
    QCOMPARE(named, ways);
    for (int i = 0; i < ways.size(); ++i)
        QVERIFY(eventNear(link, SorWriter::ponSplitterM(i), 6));
    QVERIFY(link.endM && *link.endM > SorWriter::ponSplitterM(int(ways.size()) - 1) + 1000);
    QCOMPARE(link.verdict == Acceptance::Verdict::Pass, passes);
    if (!passes)
        QVERIFY2(link.reasons.join("\n").contains("perda de divisor 1:8 máx. 10,700 dB"),
                 qPrintable(link.reasons.join("\n")));
}

void TestLinkMerge::notOneFibre_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("sameFibre");
    QTest::addColumn<QString>("problem");
    QTest::newRow("another fibre's id") << "id" << false << "são fibras diferentes";
    QTest::newRow("--same-fibre overrides the ids") << "id" << true << "";
    QTest::newRow("an end where the other sees nothing")
        << "end" << true << "não são a mesma fibra";
}

// Shots of two fibres are refused with the reason; the ids give way to the user's word, an end
// that the other shot passes in the clear does not.
void TestLinkMerge::notOneFibre()
{
    QFETCH(QString, change);
    QFETCH(bool, sameFibre);
    QFETCH(QString, problem);
    const QList<SorWriter::PulseShot> set = SorWriter::multiPulseShots();
    SorWriter::PulseShot other = set.at(1); // 1310 nm, 200 ns
    if (change == "id") {
        other.trace.fiberId = "F06";
    } else {
        other.simulation.events
            = {{TrueEvent::Reflection, 0, 0, -45}, {TrueEvent::End, 12000, 0, -14}};
        other.trace = SorWriter::simulatedTrace(other.simulation);
        other.trace.cableId = "CB-50";
        other.trace.fiberId = "F05";
    }
    const QVector<LinkMerge::Shot> shots = shotsOf({set.at(2), other});
    const QString said = LinkMerge::oneFibreProblem(shots, sameFibre);
    QVERIFY2(problem.isEmpty() ? said.isEmpty() : said.contains(problem), qPrintable(said));
}

void TestLinkMerge::unvouchedShots_data()
{
    QTest::addColumn<QStringList>("idsA"); // cable, fibre
    QTest::addColumn<QStringList>("idsB");
    QTest::addColumn<QString>("placeB");  // the other fibre's place A; empty: the same as A's
    QTest::addColumn<QString>("serialB"); // its instrument's serial; empty: the same
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("refused"); // part of the message; empty: merged
    QTest::addColumn<bool>("doubted");    // merged with a note that asks the user to make sure
    const QStringList cable{"CB-50", ""};
    const QStringList fibre{"", "F06"};
    const QStringList none{"", ""};
    QTest::newRow("a cable id against a fibre id") << cable << fibre << ""
                                                   << "" << QStringList() << 0 << "" << true;
    QTest::newRow("a cable id against a fibre id, taken from elsewhere")
        << cable << fibre << "POSTE 12"
        << "" << QStringList() << 2
        << "são fibras diferentes: não há identificação comum (cabo CB-50 em 1310_200ns.sor, "
           "fibra F06 em outra.sor) e os locais diferem (CENTRAL–CAIXA em 1310_200ns.sor, "
           "POSTE 12–CAIXA em outra.sor) (--same-fibre junta assim mesmo)"
        << false;
    QTest::newRow("a cable id against a fibre id, by another instrument")
        << cable << fibre << ""
        << "000777" << QStringList() << 2 << "os instrumentos diferem" << false;
    QTest::newRow("both ids against none")
        << QStringList{"CB-50", "F05"} << none << "POSTE 12"
        << "" << QStringList() << 2 << "os locais diferem" << false;
    QTest::newRow("--same-fibre joins them all the same")
        << cable << fibre << "POSTE 12"
        << "000777" << QStringList{"--same-fibre"} << 0 << "" << false;
    // As before: files that name nothing are the user's word; a shared id vouches.
    QTest::newRow("no ids at all") << none << none << "POSTE 12"
                                   << "" << QStringList() << 0 << "" << false;
    QTest::newRow("a cable id in both") << cable << QStringList{"CB-50", "F06"} << "POSTE 12"
                                        << "" << QStringList() << 0 << "" << false;
}

// Two fibres of one length, whose files each name only one kind of id: nothing compares them,
// so the places and the instrument must agree, and where they do the link says to make sure.
void TestLinkMerge::unvouchedShots()
{
    QFETCH(QStringList, idsA);
    QFETCH(QStringList, idsB);
    QFETCH(QString, placeB);
    QFETCH(QString, serialB);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, refused);
    QFETCH(bool, doubted);
    const QList<SorWriter::PulseShot> set = SorWriter::multiPulseShots();
    SorWriter::Trace a = set.at(1).trace; // 1310 nm, 200 ns: 26 km
    a.cableId = idsA.at(0).toUtf8();
    a.fiberId = idsA.at(1).toUtf8();
    // Another fibre of the cable: its own splices, its end 10 m from the first one's.
    SorWriter::Simulation otherFibre = set.at(2).simulation; // 1310 nm, 2000 ns
    otherFibre.events = {{TrueEvent::Reflection, 0, 0, -45},
                         {TrueEvent::Step, 7000, 0.30},
                         {TrueEvent::Step, 18000, 0.20},
                         {TrueEvent::End, 26010, 0, -14}};
    SorWriter::Trace b = SorWriter::simulatedTrace(otherFibre);
    b.lossThreshold = 50;
    b.cableId = idsB.at(0).toUtf8();
    b.fiberId = idsB.at(1).toUtf8();
    if (!placeB.isEmpty())
        b.locationA = placeB.toUtf8();
    if (!serialB.isEmpty())
        b.mainframeSerial = serialB.toUtf8();
    // Apart from the set's own files, which other tests read.
    QTemporaryDir here;
    const QStringList files{writeInto(here, "1310_200ns.sor", SorWriter::write(a)),
                            writeInto(here, "outra.sor", SorWriter::write(b))};
    const QString doubt
        = QString::fromUtf8("não há identificação comum: confira que é a mesma fibra");
    for (const QStringList &format : {QStringList(), QStringList{"--json"}}) {
        QString out, err;
        QCOMPARE(runCapturing(QStringList{"link"} + options + format + files, out, err), status);
        if (!refused.isEmpty()) {
            QVERIFY2(err.contains(refused), qPrintable(err));
            QVERIFY(out.isEmpty());
            continue;
        }
        QVERIFY2(err.isEmpty(), qPrintable(err));
        if (format.isEmpty()) {
            QCOMPARE(out.contains("Nota: " + doubt), doubted);
        } else {
            const QStringList notes = QJsonDocument::fromJson(out.toUtf8())
                                          .object()
                                          .value("notes")
                                          .toVariant()
                                          .toStringList();
            QCOMPARE(notes.filter(doubt).size(), doubted ? 1 : 0);
        }
    }
}

// A shot that reads a step no other shot reaching it sees is a disagreement, not a silent choice.
void TestLinkMerge::disagreementSaid()
{
    QList<SorWriter::PulseShot> set = SorWriter::multiPulseShots();
    SorWriter::PulseShot &odd = set[1]; // 1310 nm, 200 ns
    odd.simulation.events.insert(5, {TrueEvent::Step, 10000, 1.0});
    odd.trace = SorWriter::simulatedTrace(odd.simulation);
    odd.trace.lossThreshold = 50;
    odd.trace.cableId = "CB-50";
    odd.trace.fiberId = "F05";
    const LinkMerge::Link link = LinkMerge::mergeShots(shotsOf(set), Acceptance::Limits());
    QStringList texts;
    for (const LinkMerge::Disagreement &d : link.disagreements)
        texts << d.text;
    QVERIFY2(texts.join("\n").contains(
                 QRegularExpression("1310 nm, 10,00[0-9]{2} km: 1310_200ns.sor \\(200 ns\\) vê um "
                                    "evento \\(1,0[0-9]{2} dB\\)")),
             qPrintable(texts.join("\n")));
    QVERIFY2(texts.join("\n").contains("que 1310_2000ns.sor (2000 ns) não vê"),
             qPrintable(texts.join("\n")));
}

void TestLinkMerge::mapLayout_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("widthUnits");
    QTest::addColumn<int>("rows");
    QTest::newRow("8 events in one row") << 8 << 100.0 << 1;
    // 18 cm of text at 7 pt: nine symbols to a row.
    QTest::newRow("40 events at A4 width") << 40 << 180.0 / 25.4 * 72 / 7 << 5;
    QTest::newRow("a narrow window: half a cell kept at each row's end") << 12 << 30.0 << 4;
}

// Every symbol keeps a cell wide enough for its words; the rows share them evenly.
void TestLinkMerge::mapLayout()
{
    QFETCH(int, count);
    QFETCH(double, widthUnits);
    QFETCH(int, rows);
    const LinkMap::Layout l = LinkMap::layout(count, widthUnits);
    QCOMPARE(l.rows, rows);
    QVERIFY(l.cellUnits >= LinkMap::MinCellUnits);
    QVERIFY(l.perRow * l.rows >= count);
    QVERIFY((l.perRow - 1) * l.rows < count);
    QVERIFY(l.x(count - 1) < widthUnits);
}

// A click on a symbol finds its item, on the first row and the last; between rows, none.
void TestLinkMerge::mapClickFindsSymbol()
{
    LinkMap::Map map;
    for (int i = 0; i < 40; ++i)
        map.items.append({LinkMap::Symbol::Splice, i + 1, 100.0 * i, "emenda", "", "", {}});
    const QRectF area(10, 20, 700, 400);
    const double unit = 12;
    const LinkMap::Layout l = LinkMap::layout(40, area.width() / unit);
    for (int i : {0, 5, l.perRow, 39}) {
        const QPointF at(area.left() + l.x(i) * unit, area.top() + l.y(i) * unit);
        QCOMPARE(LinkMap::itemAt(map, area, unit, at), std::optional<int>(i));
    }
    QCOMPARE(LinkMap::itemAt(map, area, unit, QPointF(5, 5)), std::nullopt);
}

// Forty events across an A4 page at 7 pt: every word under a symbol and every section's words
// fit their cell, so none overprints its neighbour.
void TestLinkMerge::mapWordsFitTheirCells()
{
    LinkMap::Map map;
    for (int i = 0; i < 40; ++i) {
        map.items.append({i == 0    ? LinkMap::Symbol::Launch
                          : i == 39 ? LinkMap::Symbol::End
                                    : LinkMap::Symbol::Splitter,
                          i + 1,
                          12345.6 + 1000.0 * i,
                          i == 0 ? "lançamento" : "curvatura",
                          QStringLiteral("%1 km").arg(123.456 + i, 0, 'f', 3).replace('.', ','),
                          "10,25 | 10,31 dB",
                          Acceptance::Verdict::Unknown});
        if (i > 0)
            map.gaps.append(LinkMap::Gap{"12,345 km", "0,33 | 0,19 dB/km"});
    }
    const double unit = 7 * 150 / 72.0;      // 7 pt on a page of 150 dots per inch
    const double width = 180 / 25.4 * 150.0; // 18 cm of text
    const LinkMap::Layout l = LinkMap::layout(40, width / unit);
    QFont font;
    font.setPixelSize(int(std::lround(unit * 0.9)));
    font.setBold(true);
    QFont small = font;
    small.setBold(false);
    small.setPixelSize(int(std::lround(unit * 0.8)));
    const double cell = l.cellUnits * unit;
    for (const LinkMap::Item &item : map.items) {
        QVERIFY(QFontMetricsF(font).horizontalAdvance(item.label) < cell);
        QVERIFY(QFontMetricsF(small).horizontalAdvance(item.distance) < cell);
        QVERIFY2(QFontMetricsF(small).horizontalAdvance(item.loss) < cell,
                 qPrintable(QStringLiteral("%1 in %2")
                                .arg(QFontMetricsF(small).horizontalAdvance(item.loss))
                                .arg(cell)));
    }
    for (const LinkMap::Gap &g : map.gaps)
        QVERIFY(QFontMetricsF(small).horizontalAdvance(g.attenuation) < cell);
    QCOMPARE(l.rows, 5);
    QImage image(int(width), int(LinkMap::heightFor(map, width, unit)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    LinkMap::paint(painter, QRectF(image.rect()), map, unit);
    painter.end();
}

void TestLinkMerge::mapColoursByVerdict_data()
{
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QString>("word");
    QTest::newRow("pass") << int(Acceptance::Verdict::Pass) << QColor(0x2e, 0x7d, 0x32) << "";
    QTest::newRow("fail") << int(Acceptance::Verdict::Fail) << QColor(0xc6, 0x28, 0x28)
                          << "REPROVADO";
    QTest::newRow("unknown") << int(Acceptance::Verdict::Unknown) << QColor(0xe6, 0x8a, 0x00)
                             << "INDETERM.";
}

// Each symbol takes its verdict's colour, and a failing or unknown one also says so in words.
void TestLinkMerge::mapColoursByVerdict()
{
    QFETCH(int, verdict);
    QFETCH(QColor, colour);
    QFETCH(QString, word);
    LinkMap::Map map;
    for (int i = 0; i < 3; ++i)
        map.items.append({LinkMap::Symbol::Connector,
                          i + 1,
                          1000.0 * i,
                          "conector",
                          "",
                          "",
                          Acceptance::Verdict::NoLimits});
    map.items[1].verdict = Acceptance::Verdict(verdict);
    QImage image(600, 160, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    LinkMap::paint(painter, QRectF(0, 0, 600, 160), map, 14);
    painter.end();
    // Count the colour within the middle symbol's cell and outside it.
    int inside = 0, outside = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (QColor(image.pixel(x, y)) == colour)
                ++(x >= 200 && x < 400 ? inside : outside);
        }
    }
    QVERIFY2(inside > 50, qPrintable(QString::number(inside)));
    QCOMPARE(outside, 0);
    QCOMPARE(LinkMap::verdictColour(Acceptance::Verdict(verdict)), colour);
    // In words too, for a page printed in black and white.
    QBuffer svg;
    QSvgGenerator generator;
    generator.setOutputDevice(&svg);
    generator.setSize(QSize(600, 160));
    QPainter words(&generator);
    LinkMap::paint(words, QRectF(0, 0, 600, 160), map, 14);
    words.end();
    for (const QString &w : {QStringLiteral("REPROVADO"), QStringLiteral("INDETERM.")})
        QCOMPARE(svg.data().contains(w.toUtf8()), w == word);
}

// otdr-sor link: the table, JSON with each event's source shot and the splitters with their
// ratio, CSV rows, the map as SVG.
void TestLinkMerge::commandOutputs()
{
    QString out, err;
    QCOMPARE(runCapturing(QStringList{"link"} + shotFiles, out, err), 0);
    QVERIFY2(out.contains("21,0000  emenda"), qPrintable(out));
    QVERIFY2(out.contains("Curvaturas: 1") && out.contains("Divisores: 0"), qPrintable(out));
    QVERIFY2(out.contains("Os traços concordam dentro da resolução de cada um."), qPrintable(out));

    const QString pon = save("pon.sor", SorWriter::ponTrace(SorWriter::ponLink({6.6, 9.9}, 3)));
    QCOMPARE(runCapturing({"link", pon, "--json", "--preset", "gpon-classe-b+"}, out, err), 0);
    const QJsonObject o = QJsonDocument::fromJson(out.toUtf8()).object();
    const QJsonArray splitters = o["splitters"].toArray();
    QCOMPARE(splitters.size(), 2);
    QCOMPARE(splitters.at(0)["ratio"].toString(), QStringLiteral("1:4"));
    QCOMPARE(splitters.at(1)["ratio"].toString(), QStringLiteral("1:8"));
    for (const QJsonValue &e : o["events"].toArray())
        QCOMPARE(e["place_from"].toString(), QStringLiteral("pon.sor"));
    QCOMPARE(o["verdict"].toString(), QStringLiteral("APROVADO"));

    QCOMPARE(runCapturing({"link", pon, "--csv"}, out, err), 0);
    const QStringList lines = out.trimmed().split('\n');
    // In the CSV style of the locale the test runs in.
    const Sor::CsvStyle style = Sor::CsvStyle::ofUser();
    const QString s = style.separator;
    QVERIFY2(
        lines.first().startsWith("evento" + s + "distancia_km" + s + "tipo" + s + "divisor" + s),
        qPrintable(out));
    QVERIFY2(out.contains(s + "splitter" + s + "1:8" + s + "1625" + s + "9" + style.decimalPoint),
             qPrintable(out));

    // A big step that fits no ratio says why it is no splitter.
    const QString odd = save("odd.sor", SorWriter::ponTrace(SorWriter::ponLink({4.9}, 5)));
    QCOMPARE(runCapturing({"link", odd}, out, err), 0);
    QVERIFY2(
        out.contains(QRegularExpression("Não é divisor, em 2,0[0-9]+ km: 4,9[0-9]+ dB: entre "
                                        "1:2 \\(até 4,500 dB\\) e 1:4 \\(a partir de 5,521 dB\\)")),
        qPrintable(out));

    const QString svg = dir->filePath("mapa.svg");
    QCOMPARE(runCapturing({"link", pon, "-o", svg}, out, err), 0);
    QFile file(svg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("<svg") && text.contains("1:4") && text.contains("1:8"));
}

void TestLinkMerge::commandRefuses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("--json and --csv")
        << QStringList{"--json", "--csv"} << 2 << "escolha --json ou --csv";
    QTest::newRow("a map that is no image")
        << QStringList{"-o", "mapa.pdf"} << 2 << "o mapa é .svg ou .png";
    QTest::newRow("a map over a trace") << QStringList{"-o", "x.sor"} << 2 << ".sor";
    QTest::newRow("a file that is not there") << QStringList{"nada.sor"} << 2 << "nada.sor";
    QTest::newRow("a folder") << QStringList{"."} << 2 << "";
    QTest::newRow("an empty file") << QStringList{"vazio.sor"} << 1 << "vazio.sor";
    QTest::newRow("a cut file") << QStringList{"cortado.sor"} << 1 << "cortado.sor";
    QTest::newRow("another fibre") << QStringList{"outra.sor"} << 2 << "são fibras diferentes";
    QTest::newRow("a shot given twice")
        << QStringList{"1310_20ns.sor"} << 2 << "foi dado duas vezes";
    QTest::newRow("an image") << QStringList{"imagem.png"} << 1 << "não é um traço SOR";
    // Said in the user's words, not the system's ("Is a directory").
    QTest::newRow("a PNG map onto a folder")
        << QStringList{"-o", "mapa-pasta.png"} << 2 << "mapa-pasta.png: é uma pasta";
    QTest::newRow("an SVG map onto a folder")
        << QStringList{"-o", "mapa-pasta.svg"} << 2 << "mapa-pasta.svg: é uma pasta";
    QTest::newRow("a map into a folder that is not there")
        << QStringList{"-o", "mapas/nada/mapa.png"} << 2 << "mapa.png: a pasta não existe";
}

// What cannot make a link is refused with a clear message and status, never a crash.
void TestLinkMerge::commandRefuses()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    writeInto(*dir, "vazio.sor", QByteArray());
    QVERIFY(QDir(dir->path()).mkpath("mapa-pasta.png"));
    QVERIFY(QDir(dir->path()).mkpath("mapa-pasta.svg"));
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.save(dir->filePath("imagem.png"));
    QFile whole(shotFiles.first());
    QVERIFY(whole.open(QIODevice::ReadOnly));
    writeInto(*dir, "cortado.sor", whole.readAll().left(3000));
    SorWriter::Trace other = SorWriter::multiPulseShots().at(2).trace;
    other.fiberId = "F09";
    save("outra.sor", other);
    QStringList args{"link", shotFiles.at(0), shotFiles.at(1)};
    for (const QString &a : arguments)
        args << (a.endsWith(".sor") || a.endsWith(".png") || a == "." || a.startsWith("mapa")
                     ? dir->filePath(a)
                     : a);
    QString out, err;
    QCOMPARE(runCapturing(args, out, err), status);
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY(!err.isEmpty());
}

void TestLinkMerge::builtToolWritesMap_data()
{
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QString>("name");
    QTest::newRow("link's map as PNG") << "link"
                                       << "mapa.png";
    QTest::newRow("link's map as SVG") << "link"
                                       << "mapa.svg";
    // The same start of the tool draws a comparison's PDF.
    QTest::newRow("a comparison's PDF") << "compare"
                                        << "comparacao.pdf";
}

// The built tool draws without a display, as a technician's laptop or a server runs it.
void TestLinkMerge::builtToolWritesMap()
{
    QFETCH(QString, verb);
    QFETCH(QString, name);
    const QString path = dir->filePath(name);
    QFile::remove(path);
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    tool.setProcessEnvironment(env);
    const QStringList files
        = verb == "link" ? shotFiles : shotFiles.mid(1, 1) + shotFiles.mid(1, 1);
    tool.start(OTDR_SOR, QStringList{verb} + files + QStringList{"-o", path});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QVERIFY2(tool.exitCode() == 0 || verb == "compare", tool.readAllStandardError().constData());
    QVERIFY(QFileInfo(path).size() > 1000);
    if (name.endsWith(".png")) {
        const QImage image(path);
        QCOMPARE(image.width(), 1400);
        QVERIFY(image.height() > 80);
    }
}

void TestLinkMerge::readmeExamples_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("six shots")
        << "otdr-sor link build/samples/link/*.sor --preset monomodo-generico";
    QTest::newRow("a PON link")
        << "otdr-sor link build/samples/pon/pon-1x4-1x8.sor --preset gpon-classe-b+";
}

// What the README shows `link` printing on the project's own samples is what it prints.
void TestLinkMerge::readmeExamples()
{
    QFETCH(QString, command);
    QFile readme(QStringLiteral(OTDR_SOURCE_DIR "/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const int at = text.indexOf(QStringLiteral("$ ") + command + QLatin1Char('\n'));
    QVERIFY2(at >= 0, qPrintable(command));
    const int from = text.indexOf(QLatin1Char('\n'), at) + 1;
    const QString shown = text.mid(from, text.indexOf(QStringLiteral("```"), from) - from);
    QStringList args;
    for (const QString &word : command.split(' ').mid(1)) {
        QString w = word;
        w.replace(QStringLiteral("build/samples/"), QStringLiteral(OTDR_SAMPLES_DIR "/"));
        if (!w.contains('*')) {
            args << w;
            continue;
        }
        const QFileInfo glob(w);
        for (const QString &name :
             QDir(glob.path()).entryList({glob.fileName()}, QDir::Files, QDir::Name))
            args << glob.path() + '/' + name;
    }
    QString out, err;
    runCapturing(args, out, err);
    QCOMPARE(out, shown);
}

namespace {

QString pdfText(const QString &pdf)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    text.waitForFinished(30000);
    return QString::fromUtf8(text.readAllStandardOutput());
}

} // namespace

// Each trace's page of a report carries its fibre's link map (its shots from its end merged),
// and each fibre's page of a cable's PDF its A end's.
void TestLinkMerge::reportAndCablePagesCarryMap()
{
    QTemporaryDir here;
    const QString pon = writeInto(
        here, "pon.sor", SorWriter::write(SorWriter::ponTrace(SorWriter::ponLink({6.6, 9.9}, 11))));
    const QString report = here.filePath("relatorio.pdf");
    QString out, err;
    QCOMPARE(runCapturing({"report",
                           shotFiles.at(1),
                           shotFiles.at(4),
                           pon,
                           "-o",
                           report,
                           "--preset",
                           "gpon-classe-b+",
                           "--reanalyze"},
                          out,
                          err),
             0);
    const QString pages = pdfText(report);
    QVERIFY2(pages.count("Mapa do enlace (eventos achados nos pontos de 2 traços): 1310_200ns.sor,"
                         " 1550_200ns.sor")
                 == 2,
             qPrintable(pages));
    QVERIFY2(pages.contains("Mapa do enlace (eventos achados nos pontos de 1 traço): pon.sor"),
             qPrintable(pages));
    QVERIFY(pages.contains("1:4") && pages.contains("1:8") && pages.contains("curvatura"));

    QTemporaryDir cable;
    for (int i = 1; i <= 2; ++i) {
        const SorWriter::CableEnds ends = SorWriter::cableFibre(i);
        writeInto(cable, QStringLiteral("F0%1-a.sor").arg(i), SorWriter::write(ends.a));
        writeInto(cable, QStringLiteral("F0%1-b.sor").arg(i), SorWriter::write(ends.b));
    }
    const QString job = here.filePath("cabo.pdf");
    QCOMPARE(runCapturing({"cable", cable.path(), "-o", job}, out, err), 0);
    const QString jobPages = pdfText(job);
    for (int i = 1; i <= 2; ++i)
        QVERIFY2(jobPages.contains(
                     QStringLiteral("Mapa do enlace (eventos achados nos pontos de 1 traço): "
                                    "F0%1-a.sor")
                         .arg(i)),
                 qPrintable(jobPages));
}

QTEST_MAIN(TestLinkMerge)
#include "tst_linkmerge.moc"
