#include "linkmapwidget.h"
#include "plotwidget.h"
#include "sorwriter.h"
#include "tracesim.h"
#include "viewerwindow.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// The viewer's link map: the open shots of one fibre as symbols above the plot, a click on one
// choosing its event on the plot, and why there is no map when the traces are two fibres.
class TestViewLinkMap : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void clickChoosesEvent_data();
    void clickChoosesEvent();
    void twoFibresSayWhy_data();
    void twoFibresSayWhy();

private:
    QTemporaryDir dir;
    QStringList shots;
    QString save(const QString &name, const SorWriter::Trace &trace);
};

QString TestViewLinkMap::save(const QString &name, const SorWriter::Trace &trace)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(SorWriter::write(trace));
    return file.fileName();
}

void TestViewLinkMap::initTestCase()
{
    QVERIFY(dir.isValid());
    for (const SorWriter::PulseShot &s : SorWriter::multiPulseShots())
        shots << save(s.name, s.trace);
}

void TestViewLinkMap::clickChoosesEvent_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<double>("distanceM");
    QTest::addColumn<QString>("label");
    QTest::newRow("the near connector") << 1 << 400.0 << "conector";
    QTest::newRow("one of the splices 10 m apart") << 3 << 1510.0 << "emenda";
    QTest::newRow("the far connector") << 5 << 16000.0 << "conector";
    QTest::newRow("the bend") << 6 << 21000.0 << "curvatura";
    QTest::newRow("the end") << 7 << 26000.0 << "fim";
}

// Six shots of one fibre make one map of eight symbols; a click on one puts marker A on its
// event.
void TestViewLinkMap::clickChoosesEvent()
{
    QFETCH(int, item);
    QFETCH(double, distanceM);
    QFETCH(QString, label);
    ViewerWindow window;
    window.show();
    QCOMPARE(window.openFiles(shots), 6);
    auto *map = window.findChild<LinkMapWidget *>("linkMap");
    QVERIFY(map);
    QTRY_VERIFY(map->isVisible());
    QVERIFY(map->map());
    QCOMPARE(map->map()->items.size(), 8);
    QCOMPARE(map->map()->items.at(item).label, label);
    QTest::mouseClick(map, Qt::LeftButton, {}, map->symbolCentre(item).toPoint());
    QCOMPARE(map->selected(), std::optional<int>(item));
    QVERIFY(window.plot()->markers().a);
    QVERIFY2(std::abs(*window.plot()->markers().a - distanceM) <= 3,
             qPrintable(QString::number(*window.plot()->markers().a)));
    // The map sits above the plot, as wide as it.
    QTRY_VERIFY2(map->geometry().bottom() < window.plot()->geometry().top()
                     && map->height() > 4 * map->unit(),
                 qPrintable(QStringLiteral("map %1..%2, plot from %3")
                                .arg(map->geometry().top())
                                .arg(map->geometry().bottom())
                                .arg(window.plot()->geometry().top())));
}

void TestViewLinkMap::twoFibresSayWhy_data()
{
    QTest::addColumn<QString>("cable"); // the first two shots' ids
    QTest::addColumn<QString>("fibre");
    QTest::addColumn<QString>("otherCable"); // the third's
    QTest::addColumn<QString>("otherFibre");
    QTest::addColumn<QString>("ids"); // how the reason names the first shot's and the third's
    QTest::newRow("another fibre of the cable") << "CABO"
                                                << "F01"
                                                << "CABO"
                                                << "F07"
                                                << "CABO / F01 em %1, CABO / F07 em outra.sor";
    QTest::newRow("no cable ids") << ""
                                  << "F01"
                                  << ""
                                  << "F07"
                                  << "fibra F01 em %1, fibra F07 em outra.sor";
    QTest::newRow("no fibre ids") << "CB-1"
                                  << ""
                                  << "CB-2"
                                  << ""
                                  << "cabo CB-1 em %1, cabo CB-2 em outra.sor";
    QTest::newRow("one without its cable id") << "CABO"
                                              << "F01"
                                              << ""
                                              << "F07"
                                              << "CABO / F01 em %1, fibra F07 em outra.sor";
}

// Another fibre's trace among them: no map, the reason in its place, naming only the ids the
// files have (no command-line option: the viewer has none); closed, the map is back.
void TestViewLinkMap::twoFibresSayWhy()
{
    QFETCH(QString, cable);
    QFETCH(QString, fibre);
    QFETCH(QString, otherCable);
    QFETCH(QString, otherFibre);
    QFETCH(QString, ids);
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        SorWriter::PulseShot s = SorWriter::multiPulseShots().at(i);
        s.trace.cableId = (i < 2 ? cable : otherCable).toUtf8();
        s.trace.fiberId = (i < 2 ? fibre : otherFibre).toUtf8();
        files << save(i < 2 ? QStringLiteral("ids-") + s.name : QStringLiteral("outra.sor"),
                      s.trace);
    }
    ViewerWindow window;
    window.show();
    QCOMPARE(window.openFiles(files), 3);
    auto *map = window.findChild<LinkMapWidget *>("linkMap");
    QVERIFY(map->isVisible());
    QVERIFY(!map->map());
    QCOMPARE(map->why(),
             QStringLiteral("são fibras diferentes: ")
                 + ids.arg(QStringLiteral("ids-") + SorWriter::multiPulseShots().at(0).name));
    window.removeTrace(2);
    QVERIFY(map->map());
    QVERIFY(map->why().isEmpty());
}

QTEST_MAIN(TestViewLinkMap)
#include "tst_viewlinkmap.moc"
