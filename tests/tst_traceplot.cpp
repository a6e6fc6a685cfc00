#include "sor/sorreader.h"
#include "sorwriter.h"
#include "traceplot/eventflags.h"
#include "traceplot/markers.h"
#include "traceplot/plotmath.h"
#include "traceplot/plotpainter.h"
#include "tracesim.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

// The plot's arithmetic, checked by what it must guarantee rather than by how it works.
class TestTracePlot : public QObject
{
    Q_OBJECT

private slots:
    void thinning_data();
    void thinning();
    void ticks_data();
    void ticks();
    void mapping();
    void legend();
    void launchBeforeZero_data();
    void launchBeforeZero();
    void flagsNeverOverprint_data();
    void flagsNeverOverprint();
    void legendClearOfTraces_data();
    void legendClearOfTraces();
    void levelsFollowTheZoom();
    void endInView();
    void legendClearOfFlags_data();
    void legendClearOfFlags();
    void flagsClearOfTheirTrace_data();
    void flagsClearOfTheirTrace();
    void legendClearOfSectionWords_data();
    void legendClearOfSectionWords();
};

void TestTracePlot::thinning_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("columns");
    QTest::addColumn<double>("from"); // shares of the trace's length shown
    QTest::addColumn<double>("to");
    QTest::newRow("more points than columns") << 10000 << 37 << 0.0 << 1.0;
    QTest::newRow("fewer points than columns") << 20 << 100 << 0.0 << 1.0;
    QTest::newRow("one column") << 500 << 1 << 0.0 << 1.0;
    QTest::newRow("a window inside the trace") << 5000 << 64 << 0.2 << 0.6;
}

// Every column's level range holds exactly the levels of the points that fall in it: each
// point lies within its column, each column's extremes are levels of its points, and "no
// data" is never a level.
void TestTracePlot::thinning()
{
    QFETCH(int, points);
    QFETCH(int, columns);
    QFETCH(double, from);
    QFETCH(double, to);
    QRandomGenerator random(20261207);
    std::vector<double> x(static_cast<size_t>(points)), y(static_cast<size_t>(points));
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = double(i) * 0.5;
        y[i] = -0.001 * double(i) + (random.bounded(40) == 0 ? random.bounded(8.0) - 4 : 0);
        if (random.bounded(30) == 0)
            y[i] = std::nan("");
    }
    const double x0 = x.back() * from;
    const double x1 = x.back() * to + 0.25;
    const QVector<TracePlot::Column> thinned
        = TracePlot::thin(x.data(), y.data(), x.size(), x0, x1, columns);
    QCOMPARE(thinned.size(), columns);
    const double width = (x1 - x0) / columns;
    QVector<bool> minSeen(columns), maxSeen(columns), anyLevel(columns), anyNoData(columns);
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i] < x0 || x[i] >= x1)
            continue;
        const int c = qMin(columns - 1, int((x[i] - x0) / width));
        const TracePlot::Column &column = thinned.at(c);
        if (std::isnan(y[i])) {
            anyNoData[c] = true;
            continue;
        }
        anyLevel[c] = true;
        QVERIFY(!column.empty);
        QVERIFY(column.min <= y[i] && y[i] <= column.max);
        minSeen[c] = minSeen[c] || column.min == y[i];
        maxSeen[c] = maxSeen[c] || column.max == y[i];
    }
    for (int c = 0; c < columns; ++c) {
        QCOMPARE(thinned.at(c).empty, !anyLevel.at(c));
        QCOMPARE(thinned.at(c).noData, anyNoData.at(c));
        if (anyLevel.at(c)) {
            QVERIFY(std::isfinite(thinned.at(c).min) && std::isfinite(thinned.at(c).max));
            QVERIFY2(minSeen.at(c) && maxSeen.at(c), qPrintable(QString::number(c)));
        }
    }
}

void TestTracePlot::ticks_data()
{
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<int>("wanted");
    QTest::newRow("0 to 13.7 km") << 0.0 << 13.7 << 7;
    QTest::newRow("dB, negative") << -28.3 << 1.2 << 7;
    QTest::newRow("zoomed to metres") << 1203.5 << 1211.0 << 7;
    QTest::newRow("tiny span") << -0.0032 << -0.0011 << 5;
    QTest::newRow("long fibre") << 0.0 << 120000.0 << 12;
    QTest::newRow("two wanted") << 3.0 << 4.0 << 2;
    // 816 m between round steps of 200 and 500: asked as it is, one tick only.
    QTest::newRow("a closure's few hundred metres") << 6.605 << 7.421 << 4;
}

// Ticks are round (1, 2 or 5 times a power of ten), evenly stepped, inside the range, and
// cover it: no gap at either end wider than a step.
void TestTracePlot::ticks()
{
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(int, wanted);
    // As the plots ask: raised where fewer than two would show.
    wanted = TracePlot::readableTicks(lo, hi, wanted);
    const QVector<double> got = TracePlot::ticks(lo, hi, wanted);
    const double step = TracePlot::tickStep(lo, hi, wanted);
    QVERIFY(got.size() >= 2);
    QVERIFY(got.size() <= 2 * wanted + 1);
    const double exponent = std::floor(std::log10(step));
    const double mantissa = step / std::pow(10.0, exponent);
    QVERIFY2(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9
                 || std::abs(mantissa - 5) < 1e-9,
             qPrintable(QString::number(step)));
    for (int i = 0; i < got.size(); ++i) {
        QVERIFY(got.at(i) >= lo - 1e-9 && got.at(i) <= hi + 1e-9);
        const double multiple = got.at(i) / step;
        QVERIFY2(std::abs(multiple - std::round(multiple)) < 1e-6,
                 qPrintable(QString::number(got.at(i))));
        if (i > 0)
            QVERIFY(std::abs(got.at(i) - got.at(i - 1) - step) < step * 1e-9);
    }
    QVERIFY(got.first() - lo < step + 1e-9);
    QVERIFY(hi - got.last() < step + 1e-9);
}

// Pixels and the plane map into each other; the level axis points up; a marker is near only
// within its grab distance.
void TestTracePlot::mapping()
{
    const TracePlot::Mapping map(QRectF(64, 12, 1000, 400), {500, 1500, -30, 0});
    QCOMPARE(map.x(500), 64.0);
    QCOMPARE(map.x(1500), 1064.0);
    QCOMPARE(map.y(-30), 412.0);
    QCOMPARE(map.y(0), 12.0);
    for (double metres : {500.0, 777.7, 1499.0})
        QVERIFY(std::abs(map.metres(map.x(metres)) - metres) < 1e-9);
    for (double db : {-30.0, -12.5, 0.0})
        QVERIFY(std::abs(map.level(map.y(db)) - db) < 1e-9);
    QVERIFY(map.near(1000, map.x(1000) + 6, 6));
    QVERIFY(!map.near(1000, map.x(1000) - 7, 6));
}

// The legend says in words which trace is damaged.
void TestTracePlot::legend()
{
    const Sor::Trace sound
        = Sor::read(SorWriter::write(SorWriter::readerCase("whole file, CCITT-FALSE").trace));
    const Sor::Trace damaged
        = Sor::read(SorWriter::write(SorWriter::readerCase("known maker, checksum wrong").trace));
    QCOMPARE(TracePlot::legendText({&sound, "a.sor", Qt::blue}),
             QStringLiteral("a.sor — 1310 nm, 100 ns"));
    QCOMPARE(TracePlot::legendText({&damaged, "b.sor", Qt::red}),
             QStringLiteral("b.sor (danificado) — 1310 nm, 100 ns"));
    // A laser's own wavelength, with the decimal comma.
    SorWriter::Trace laser = SorWriter::readerCase("whole file, CCITT-FALSE").trace;
    laser.wavelength = 15532;
    const Sor::Trace measured = Sor::read(SorWriter::write(laser));
    QCOMPARE(TracePlot::legendText({&measured, "c.sor", Qt::blue}),
             QStringLiteral("c.sor — 1553,2 nm, 100 ns"));
}

void TestTracePlot::launchBeforeZero_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("spanStartMarked");
    QTest::newRow("a launch reel: the user's span start") << "user offset" << true;
    QTest::newRow("the front panel only") << "front panel offset" << false;
}

// The whole trace is drawn, the launch before 0 m included, and the span's start the user set
// is marked there by a dotted line in the trace's colour.
void TestTracePlot::launchBeforeZero()
{
    QFETCH(QString, name);
    QFETCH(bool, spanStartMarked);
    const Sor::Trace t = Sor::read(SorWriter::write(SorWriter::readerCase(name).trace));
    QVERIFY(t.distanceM.front() < -10);
    const QColor colour(0x12, 0x34, 0xab);
    const QVector<TracePlot::Series> series{{&t, "a.sor", colour}};
    const TracePlot::View view = TracePlot::fullView(series);
    QCOMPARE(view.x0, t.distanceM.front());
    QImage image(900, 400, QImage::Format_RGB32);
    QPainter painter(&image);
    TracePlot::paint(painter, image.rect(), series, view);
    painter.end();
    const QRect area = TracePlot::plotArea(image.rect());
    const int x = int(std::lround(TracePlot::Mapping(area, view).x(0) - 0.5));
    int coloured = 0;
    for (int y = area.top() + 1; y < area.bottom(); ++y)
        coloured += QColor(image.pixel(x, y)) == colour ? 1 : 0;
    QVERIFY2(spanStartMarked == (coloured > area.height() / 4),
             qPrintable(QString::number(coloured)));
}

namespace {
// Six traces of one cable: the same splices and connector, a little apart.
std::vector<Sor::Trace> cableTraces(int count)
{
    std::vector<Sor::Trace> traces;
    for (int i = 0; i < count; ++i) {
        SorWriter::Simulation fibre;
        fibre.pulseNs = 500;
        fibre.spacingM = 4;
        fibre.points = 20000;
        fibre.seed = quint32(7 + i);
        fibre.events = {{SorWriter::TrueEvent::Step, 6000.0 + 3 * i, 0.1 + 0.02 * i, 0},
                        {SorWriter::TrueEvent::Step, 6400.0 + 5 * i, 0.08, 0},
                        {SorWriter::TrueEvent::Reflection, 30000.0 - 4 * i, 0.3, -50},
                        {SorWriter::TrueEvent::Step, 30150.0 + 2 * i, 0.05, 0},
                        {SorWriter::TrueEvent::End, 60000.0 + 10 * i, 0, -14}};
        traces.push_back(Sor::read(SorWriter::write(SorWriter::simulatedTrace(fibre, true))));
    }
    return traces;
}

QVector<TracePlot::Series> seriesOf(const std::vector<Sor::Trace> &traces, int emphasised)
{
    QVector<TracePlot::Series> series;
    for (size_t i = 0; i < traces.size(); ++i)
        series.append({&traces[i],
                       QStringLiteral("f%1.sor").arg(i + 1),
                       TracePlot::seriesColour(int(i)),
                       int(i) == emphasised});
    return series;
}
} // namespace

void TestTracePlot::flagsNeverOverprint_data()
{
    QTest::addColumn<int>("traces");
    QTest::addColumn<bool>("zoomed");
    QTest::newRow("one trace, the whole of it") << 1 << false;
    QTest::newRow("six traces, the whole of them") << 6 << false;
    QTest::newRow("six traces, zoomed on two close splices") << 6 << true;
}

// Every event has a flag standing on its trace at its distance, or shares one where other
// traces have the same event; no two numbers overprint, none hangs far from its trace, and the
// selected trace's stand nearest to their trace.
void TestTracePlot::flagsNeverOverprint()
{
    QFETCH(int, traces);
    QFETCH(bool, zoomed);
    const std::vector<Sor::Trace> cable = cableTraces(traces);
    const QVector<TracePlot::Series> series = seriesOf(cable, traces - 1);
    TracePlot::View view = TracePlot::fullView(series);
    if (zoomed)
        view = TracePlot::fitLevels(series, {5500, 7000, 0, 0});
    const QRect area = TracePlot::plotArea(QRect(0, 0, 1400, 600));
    const TracePlot::Mapping map(area, view);
    const QFont font;
    const QVector<TracePlot::Flag> flags
        = TracePlot::placeFlags(area, view, series, QFontMetrics(font));
    int expected = 0;
    for (const Sor::Trace &t : cable)
        for (const Sor::Event &e : t.keyEvents->events)
            expected += e.distanceM >= view.x0 && e.distanceM <= view.x1 ? 1 : 0;
    int shared = 0;
    for (const TracePlot::Flag &f : flags) {
        shared += int(f.shared.size());
        QVERIFY(f.shared.isEmpty() || !f.emphasised);
        for (const auto &other : f.shared) {
            const Sor::Event &e = cable[size_t(other.first)].keyEvents->events.at(other.second);
            QCOMPARE(QString::number(e.number), f.text);
            QVERIFY(std::abs(map.x(e.distanceM) - f.anchor.x()) <= 3 + 1e-9);
            QVERIFY(other.first != f.series);
        }
    }
    QCOMPARE(int(flags.size()) + shared, expected);
    QVERIFY(expected >= (zoomed ? 2 * traces : 5 * traces));
    // The whole of six traces: their shared events are one flag each, not six.
    if (traces > 1 && !zoomed)
        QVERIFY2(flags.size() <= expected / 2, qPrintable(QString::number(flags.size())));
    for (int i = 0; i < flags.size(); ++i) {
        const TracePlot::Flag &f = flags.at(i);
        const Sor::Trace &t = cable[size_t(f.series)];
        const Sor::Event &e = t.keyEvents->events.at(f.event);
        QCOMPARE(f.text, QString::number(e.number));
        QVERIFY(std::abs(f.anchor.x() - map.x(e.distanceM)) < 1e-9);
        // On the trace: no higher than its highest point within a few pixels of the event.
        QVERIFY2(f.anchor.y() >= map.y(TracePlot::levelAt(t, e.distanceM)) - 60,
                 qPrintable(QStringLiteral("%1 %2").arg(f.anchor.y()).arg(e.distanceM)));
        QVERIFY2(!f.box.isEmpty(),
                 qPrintable(
                     QStringLiteral("flag %1 of trace %2 has no room").arg(f.text).arg(f.series)));
        QVERIFY(area.contains(f.box.toAlignedRect().adjusted(1, 1, -1, -1)));
        QVERIFY2(std::abs(f.box.center().y() - f.anchor.y()) <= 160 + f.box.height(),
                 qPrintable(QStringLiteral("flag %1 hangs far from its trace").arg(f.text)));
        // Below the top line, where the markers' letters are.
        QVERIFY(f.box.top() >= area.top() + QFontMetrics(font).height());
        for (int j = 0; j < i; ++j)
            QVERIFY2(!flags.at(j).box.intersects(f.box),
                     qPrintable(QStringLiteral("%1 and %2").arg(flags.at(j).text, f.text)));
    }
    // The selected trace's flags are placed first: they stand nearer to their trace than the
    // others do to theirs.
    double staff[2] = {0, 0};
    int count[2] = {0, 0};
    for (const TracePlot::Flag &f : flags) {
        staff[f.emphasised] += std::abs(f.box.center().y() - f.anchor.y());
        ++count[f.emphasised];
    }
    if (traces > 1)
        QVERIFY2(
            staff[1] / count[1] < staff[0] / count[0],
            qPrintable(QStringLiteral("%1 %2").arg(staff[1] / count[1]).arg(staff[0] / count[0])));
}

void TestTracePlot::legendClearOfTraces_data()
{
    QTest::addColumn<bool>("everywhere");
    QTest::newRow("a cable's traces: a corner is free") << false;
    QTest::newRow("noise over the whole plot: the legend goes above it") << true;
}

// No point of any trace lies under the legend.
void TestTracePlot::legendClearOfTraces()
{
    QFETCH(bool, everywhere);
    std::vector<Sor::Trace> cable = cableTraces(3);
    if (everywhere) {
        // Levels that swing beyond every other trace's, all along: the whole height is taken.
        for (size_t i = 0; i < cable[0].levelDb.size(); ++i)
            cable[0].levelDb[i] = i % 2 ? 5 : -70;
    }
    const QVector<TracePlot::Series> series = seriesOf(cable, 0);
    const TracePlot::View view = TracePlot::fullView(series);
    const QRect bounds(0, 0, 1200, 500);
    const QFont font;
    const TracePlot::Layout l = TracePlot::layout(bounds, series, view, QFontMetrics(font));
    QVERIFY(!l.legend.isEmpty());
    QVERIFY(bounds.contains(l.legend));
    QCOMPARE(l.legend.bottom() < l.area.top(), everywhere);
    QCOMPARE(l.area == TracePlot::plotArea(bounds), !everywhere);
    const TracePlot::Mapping map(l.area, view);
    for (const Sor::Trace &t : cable) {
        for (size_t i = 0; i < t.distanceM.size(); ++i) {
            const QPointF p(map.x(t.distanceM[i]), map.y(t.levelDb[i]));
            QVERIFY2(!QRectF(l.legend).contains(p),
                     qPrintable(QStringLiteral("point %1 under the legend").arg(i)));
        }
    }
}

// Zoomed on a stretch, the level axis spans what that stretch shows, not the whole trace.
void TestTracePlot::levelsFollowTheZoom()
{
    const std::vector<Sor::Trace> cable = cableTraces(1);
    const QVector<TracePlot::Series> series = seriesOf(cable, 0);
    const TracePlot::View whole = TracePlot::fullView(series);
    const TracePlot::View stretch = TracePlot::fitLevels(series, {10000, 12000, -99, 99});
    QCOMPARE(stretch.x0, 10000.0);
    QCOMPARE(stretch.x1, 12000.0);
    QVERIFY(stretch.y1 - stretch.y0 < (whole.y1 - whole.y0) / 4);
    const Sor::Trace &t = cable.front();
    for (size_t i = 0; i < t.distanceM.size(); ++i) {
        if (t.distanceM[i] >= 10000 && t.distanceM[i] <= 12000)
            QVERIFY(t.levelDb[i] > stretch.y0 && t.levelDb[i] < stretch.y1);
    }
    // Where nothing is measured, the view stays as it was.
    const TracePlot::View beyond = TracePlot::fitLevels(series, {900000, 910000, -7, 3});
    QCOMPARE(beyond.y0, -7.0);
    QCOMPARE(beyond.y1, 3.0);
}

// A document's plot ends a little past the fibre's end, its levels fitted to what it shows,
// and its legend covers no event's flag, the end's included.
void TestTracePlot::endInView()
{
    const std::vector<Sor::Trace> cable = cableTraces(1);
    const QVector<TracePlot::Series> series = seriesOf(cable, 0);
    const TracePlot::View whole = TracePlot::fullView(series);
    const TracePlot::View view = TracePlot::viewToEnd(series, 60000.0);
    QCOMPARE(view.x0, whole.x0);
    QVERIFY2(view.x1 > 60000 && view.x1 <= 60000 * 1.06, qPrintable(QString::number(view.x1)));
    QVERIFY(view.x1 < whole.x1);
    // Without an end, or one past the points, the whole.
    QCOMPARE(TracePlot::viewToEnd(series, std::nullopt).x1, whole.x1);
    QCOMPARE(TracePlot::viewToEnd(series, 1e7).x1, whole.x1);
}

void TestTracePlot::legendClearOfFlags_data()
{
    QTest::addColumn<double>("endReflectanceDb");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("toEnd");
    QTest::newRow("a faint end, the whole range, narrow") << -40.0 << 600 << false;
    QTest::newRow("a faint end, the whole range") << -40.0 << 900 << false;
    QTest::newRow("a faint end, to the end, narrow") << -40.0 << 600 << true;
    QTest::newRow("a stronger end, to the end, wide") << -30.0 << 1400 << true;
}

// A reflection just before the fibre's end stacks the end's flag up to the top, where the
// legend likes to go: the legend then takes another corner, or a strip above the plot.
void TestTracePlot::legendClearOfFlags()
{
    QFETCH(double, endReflectanceDb);
    QFETCH(int, width);
    QFETCH(bool, toEnd);
    SorWriter::Simulation fibre;
    fibre.pulseNs = 500;
    fibre.spacingM = 4;
    fibre.points = 25000;
    fibre.seed = 7;
    fibre.events = {{SorWriter::TrueEvent::Step, 6000.0, 0.1, 0},
                    {SorWriter::TrueEvent::Reflection, 30000.0, 0.3, -50},
                    {SorWriter::TrueEvent::Reflection, 68600.0, 0.3, -52},
                    {SorWriter::TrueEvent::End, 69550.0, 0, endReflectanceDb}};
    const std::vector<Sor::Trace> one{
        Sor::read(SorWriter::write(SorWriter::simulatedTrace(fibre, true)))};
    const QVector<TracePlot::Series> series = seriesOf(one, 0);
    const TracePlot::View view
        = toEnd ? TracePlot::viewToEnd(series, 69550.0) : TracePlot::fullView(series);
    QFont font;
    font.setPixelSize(18);
    const TracePlot::Layout l
        = TracePlot::layout(QRect(0, 0, width, width / 2), series, view, QFontMetrics(font));
    QVERIFY(!l.legend.isEmpty());
    const QVector<TracePlot::Flag> flags
        = TracePlot::placeFlags(l.area, view, series, QFontMetrics(font));
    QCOMPARE(flags.size(), 4);
    for (const TracePlot::Flag &f : flags)
        QVERIFY2(!QRectF(f.anchor, f.anchor).united(f.box).intersects(l.legend),
                 qPrintable(QStringLiteral("flag %1 under the legend").arg(f.text)));
}

namespace {
// A PON link through splitters of 1:4 and 1:8: its launch and its connector reflect near the
// top of the plot.
std::vector<Sor::Trace> ponTraces()
{
    return {Sor::read(
        SorWriter::write(SorWriter::simulatedTrace(SorWriter::ponLink({6.6, 9.9}), true)))};
}
} // namespace

void TestTracePlot::flagsClearOfTheirTrace_data()
{
    QTest::addColumn<bool>("pon");
    QTest::addColumn<double>("from"); // the distances shown; none: the whole
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("width");
    // Where the launch rises at the plot's very edge, over the whole height, its flag has no
    // room clear of it and near it: a tick.
    QTest::addColumn<int>("ticks");
    QTest::newRow("a PON link, the whole of it") << true << 0.0 << 0.0 << 1200 << 0;
    QTest::newRow("a PON link, narrow") << true << 0.0 << 0.0 << 700 << 0;
    QTest::newRow("a PON link, zoomed on its connector") << true << 0.0 << 1000.0 << 1200 << 1;
    QTest::newRow("six traces of a cable") << false << 0.0 << 0.0 << 1200 << 0;
}

// A flag's box hides no part of the traces it marks: no point and no stretch between two
// points (a reflection's rise, its peak, its foot) is drawn under it.
void TestTracePlot::flagsClearOfTheirTrace()
{
    QFETCH(bool, pon);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, width);
    QFETCH(int, ticks);
    const std::vector<Sor::Trace> traces = pon ? ponTraces() : cableTraces(6);
    const QVector<TracePlot::Series> series = seriesOf(traces, int(traces.size()) - 1);
    const TracePlot::View view
        = to > from ? TracePlot::fitLevels(series, {from, to, 0, 0}) : TracePlot::fullView(series);
    const QRect area = TracePlot::plotArea(QRect(0, 0, width, 420));
    const TracePlot::Mapping map(area, view);
    const QFont font;
    const QVector<TracePlot::Flag> flags
        = TracePlot::placeFlags(area, view, series, QFontMetrics(font));
    QVERIFY(flags.size() >= 2);
    QCOMPARE(std::count_if(flags.cbegin(),
                           flags.cend(),
                           [](const TracePlot::Flag &f) { return f.box.isEmpty(); }),
             ticks);
    for (const TracePlot::Flag &f : flags) {
        if (f.box.isEmpty())
            continue;
        const QRectF inside = f.box.adjusted(1, 1, -1, -1);
        QVector<int> marked{f.series};
        for (const auto &other : f.shared)
            marked << other.first;
        for (int s : marked) {
            const Sor::Trace &t = traces[size_t(s)];
            for (size_t i = 1; i < t.distanceM.size(); ++i) {
                const double x0 = map.x(t.distanceM[i - 1]);
                const double x1 = map.x(t.distanceM[i]);
                if (x1 < inside.left() || x0 > inside.right())
                    continue;
                const double y0 = map.y(t.levelDb[i - 1]);
                const double y1 = map.y(t.levelDb[i]);
                QVERIFY2(std::max(y0, y1) <= inside.top() || std::min(y0, y1) >= inside.bottom(),
                         qPrintable(QStringLiteral("flag %1 hides its trace at %2 m")
                                        .arg(f.text)
                                        .arg(t.distanceM[i])));
            }
        }
    }
}

void TestTracePlot::legendClearOfSectionWords_data()
{
    QTest::addColumn<int>("width");
    QTest::newRow("wide") << 1200;
    QTest::newRow("narrow") << 700;
}

// The sections' words along the plot's foot are never under the legend.
void TestTracePlot::legendClearOfSectionWords()
{
    QFETCH(int, width);
    std::vector<Sor::Trace> traces = ponTraces();
    // Noise over the whole height past the end: the right corners are taken, the launch takes
    // the top left one; only the bottom left is free of the trace, where the words are.
    Sor::Trace &t = traces.front();
    for (size_t i = 0; i < t.levelDb.size(); ++i) {
        if (t.distanceM[i] > 5200)
            t.levelDb[i] = i % 2 ? 0 : -60;
    }
    const QVector<TracePlot::Series> series = seriesOf(traces, 0);
    const TracePlot::View view = TracePlot::fullView(series);
    using Kind = TracePlot::SectionBand::Kind;
    QVector<TracePlot::SectionBand> bands;
    const double end = traces.front().distanceM.back();
    const double edges[] = {0, 300, 2000, 3500, 5000, end};
    const Kind kinds[] = {Kind::Launch, Kind::Fibre, Kind::Fibre, Kind::Fibre, Kind::Floor};
    for (int i = 0; i < 5; ++i) {
        TracePlot::SectionBand b;
        b.kind = kinds[i];
        b.startM = edges[i];
        b.endM = edges[i + 1];
        b.label = b.kind == Kind::Fibre ? QStringLiteral("fibra") : QStringLiteral("ruído");
        bands << b;
    }
    const QRect bounds(0, 0, width, 420);
    const QFont font;
    const QFontMetrics metrics(font);
    const TracePlot::Layout l = TracePlot::layout(bounds, series, view, metrics, bands);
    QVERIFY(!l.legend.isEmpty());
    const auto labels = TracePlot::sectionLabels(l.area, view, bands, metrics);
    QVERIFY(labels.size() >= 3);
    for (const auto &label : labels)
        QVERIFY2(!label.second.intersects(l.legend),
                 qPrintable(QStringLiteral("\"%1\" under the legend").arg(label.first)));
}

QTEST_MAIN(TestTracePlot)
#include "tst_traceplot.moc"
