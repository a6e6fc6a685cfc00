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

// Another fibre's trace among them: no map, the reason in its place; closed, the map is back.
void TestViewLinkMap::twoFibresSayWhy()
{
    ViewerWindow window;
    window.show();
    SorWriter::Trace other = SorWriter::multiPulseShots().at(1).trace;
    other.fiberId = "F07";
    QCOMPARE(window.openFiles(shots.mid(0, 2) + QStringList{save("outra.sor", other)}), 3);
    auto *map = window.findChild<LinkMapWidget *>("linkMap");
    QVERIFY(map->isVisible());
    QVERIFY(!map->map());
    QVERIFY2(map->why().contains("são fibras diferentes"), qPrintable(map->why()));
    window.removeTrace(2);
    QVERIFY(map->map());
    QVERIFY(map->why().isEmpty());
}

QTEST_MAIN(TestViewLinkMap)
#include "tst_viewlinkmap.moc"
