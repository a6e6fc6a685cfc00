#include "sortool.h"
#include "sorwriter.h"
#include "traceplot/plotmath.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// otdr-sor's commands as a script sees them, and the plot's thinning and ticks.
class TestSorTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void check_data();
    void check();
    void usage_data();
    void usage();
    void infoAndExport();
    void plot_data();
    void plot();
    void quietWithoutADesktop();
    void thinning_data();
    void thinning();
    void ticks_data();
    void ticks();

private:
    int run(const QStringList &arguments);
    QString write(const QString &name, const QByteArray &bytes);

    QTemporaryDir dir;
    QString out;
    QString err;
};

void TestSorTool::initTestCase()
{
    const QList<SorWriter::Case> cases = SorWriter::readerCases();
    write("sound.sor", SorWriter::write(cases.at(0).trace));
    write("warned.sor", SorWriter::write(cases.at(11).trace)); // bytes after the last block
    write("mismatch.sor", SorWriter::write(cases.at(3).trace));
    write("unverifiable.sor", SorWriter::write(cases.at(5).trace));
    write("cut.sor", SorWriter::write(cases.at(0).trace).left(3000));
    write("text.sor", "not a trace");
}

int TestSorTool::run(const QStringList &arguments)
{
    out.clear();
    err.clear();
    QTextStream o(&out);
    QTextStream e(&err);
    const int status = runSorTool(QStringList{"otdr-sor"} + arguments, o, e);
    o.flush();
    e.flush();
    return status;
}

QString TestSorTool::write(const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

void TestSorTool::check_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("sound") << QStringList{"sound.sor"} << 0
                           << "sound.sor: íntegro (soma de "
                              "verificação válida "
                              "(ccitt-false-whole))";
    QTest::newRow("warnings are still sound")
        << QStringList{"warned.sor", "sound.sor"} << 0 << "íntegro, com avisos: 103 bytes";
    QTest::newRow("unknown method is still sound")
        << QStringList{"unverifiable.sor"} << 0 << "não verificável";
    QTest::newRow("checksum mismatch")
        << QStringList{"sound.sor", "mismatch.sor"} << 1 << "mismatch.sor: danificado: a soma";
    QTest::newRow("cut short") << QStringList{"cut.sor"} << 1 << "cut.sor: danificado: o bloco";
    QTest::newRow("not a trace") << QStringList{"text.sor"} << 1 << "não é um traço";
    QTest::newRow("missing file beats damage")
        << QStringList{"mismatch.sor", "absent.sor"} << 2 << "mismatch.sor: danificado";
}

void TestSorTool::check()
{
    QFETCH(QStringList, files);
    QFETCH(QString, says);
    QStringList paths;
    for (const QString &f : files)
        paths << dir.filePath(f);
    QTEST(run(QStringList{"check"} + paths), "status");
    QVERIFY2(out.contains(says), qPrintable(out));
    QCOMPARE(out.count('\n'), int(files.size() - (files.contains("absent.sor") ? 1 : 0)));
}

void TestSorTool::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Comandos:";
    QTest::newRow("command help") << QStringList{"plot", "--help"} << 0 << "--output";
    QTest::newRow("no command") << QStringList{} << 2 << "Uso:";
    QTest::newRow("unknown command") << QStringList{"fix", "a.sor"} << 2 << "desconhecido";
    QTest::newRow("unknown option") << QStringList{"check", "--fast", "a.sor"} << 2 << "fast";
    QTest::newRow("export without a format") << QStringList{"export", "sound.sor"} << 2 << "Uso:";
    QTest::newRow("plot without output") << QStringList{"plot", "sound.sor"} << 2 << "Uso:";
    QTest::newRow("a folder") << QStringList{"info", "."} << 2 << "é uma pasta";
    QTest::newRow("bad size") << QStringList{"plot", "sound.sor", "-o", "x.png", "--size", "9x9"}
                              << 2 << "tamanho";
}

void TestSorTool::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    for (QString &a : arguments) {
        if (a.endsWith(".sor") || a == ".")
            a = dir.filePath(a);
    }
    QTEST(run(arguments), "status");
    QVERIFY2((out + err).contains(says), qPrintable(out + err));
}

void TestSorTool::infoAndExport()
{
    QCOMPARE(run({"info", dir.filePath("sound.sor")}), 0);
    for (const char *line : {"Comprimento de onda:  1310 nm",
                             "Pulso:                100 ns",
                             "Data:                 2026-11-20 09:00:00 UTC",
                             "Eventos:"})
        QVERIFY2(out.contains(QString::fromUtf8(line)), qPrintable(out));
    QCOMPARE(run({"export", "--csv", dir.filePath("sound.sor")}), 0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("distance_m,level_db"));
    QCOMPARE(lines.size(), 1 + 2400);
    QCOMPARE(lines.at(2).section(',', 0, 0).toDouble(), 1.0); // 1 m spacing
    QCOMPARE(run({"export", "--json", dir.filePath("mismatch.sor")}), 1);
    QVERIFY(out.contains("\"state\": \"mismatch\""));
}

void TestSorTool::plot_data()
{
    QTest::addColumn<QString>("output");
    QTest::newRow("png") << "plot.png";
    QTest::newRow("svg") << "plot.svg";
}

void TestSorTool::plot()
{
    QFETCH(QString, output);
    const QString path = dir.filePath(output);
    QCOMPARE(run({"plot",
                  dir.filePath("sound.sor"),
                  dir.filePath("warned.sor"),
                  "-o",
                  path,
                  "--size",
                  "800x450"}),
             0);
    if (output.endsWith(".png")) {
        const QImage image(path);
        QCOMPARE(image.size(), QSize(800, 450));
        // The first trace's colour is drawn.
        bool blue = false;
        for (int y = 0; y < image.height() && !blue; ++y) {
            for (int x = 0; x < image.width() && !blue; ++x)
                blue = image.pixelColor(x, y) == QColor(0x1f, 0x77, 0xb4);
        }
        QVERIFY(blue);
    } else {
        QFile svg(path);
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray text = svg.readAll();
        QVERIFY(text.contains("<svg"));
        QVERIFY(text.contains("sound.sor"));
    }
    QCOMPARE(run({"plot", dir.filePath("sound.sor"), "-o", "/nonexistent/dir/x.png"}), 2);
}

// A plot made where no desktop session runs prints nothing beyond the tool's own output.
void TestSorTool::quietWithoutADesktop()
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(OTDR_SOR),
               {"plot", dir.filePath("sound.sor"), "-o", dir.filePath("quiet.png")});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(tool.readAllStandardError()), QString());
    QVERIFY(QImage(dir.filePath("quiet.png")).width() > 0);
}

void TestSorTool::thinning_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("columns");
    QTest::newRow("more points than columns") << 10000 << 37;
    QTest::newRow("fewer points than columns") << 20 << 100;
    QTest::newRow("one column") << 500 << 1;
    QTest::newRow("a window inside the trace") << 5000 << 64;
}

// Each column keeps exactly the lowest and highest level of its points; spikes survive and
// "no data" points are not levels.
void TestSorTool::thinning()
{
    QFETCH(int, points);
    QFETCH(int, columns);
    std::vector<double> x(static_cast<size_t>(points)), y(static_cast<size_t>(points));
    for (int i = 0; i < points; ++i) {
        x[size_t(i)] = i * 0.5;
        y[size_t(i)] = -0.001 * i + ((i * 7919) % 13 == 0 ? 3.0 : 0.0) - (i % 97 == 0 ? 5 : 0);
        if (i % 50 == 7)
            y[size_t(i)] = std::nan("");
    }
    const bool window = QByteArray(QTest::currentDataTag()).startsWith("a window");
    const double x0 = window ? points * 0.1 : 0;
    const double x1 = window ? points * 0.3 : points * 0.5;
    const QVector<TracePlot::Column> thinned
        = TracePlot::thin(x.data(), y.data(), x.size(), x0, x1, columns);
    QCOMPARE(thinned.size(), columns);
    QVector<TracePlot::Column> expected(columns);
    for (int i = 0; i < points; ++i) {
        if (x[size_t(i)] < x0 || x[size_t(i)] >= x1)
            continue;
        const int c = int((x[size_t(i)] - x0) / (x1 - x0) * columns);
        TracePlot::Column &e = expected[c];
        if (std::isnan(y[size_t(i)])) {
            e.noData = true;
            continue;
        }
        e.min = e.empty ? y[size_t(i)] : std::min(e.min, y[size_t(i)]);
        e.max = e.empty ? y[size_t(i)] : std::max(e.max, y[size_t(i)]);
        e.empty = false;
    }
    for (int c = 0; c < columns; ++c) {
        QCOMPARE(thinned.at(c).empty, expected.at(c).empty);
        QCOMPARE(thinned.at(c).noData, expected.at(c).noData);
        QCOMPARE(thinned.at(c).min, expected.at(c).min);
        QCOMPARE(thinned.at(c).max, expected.at(c).max);
    }
}

void TestSorTool::ticks_data()
{
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<QVector<double>>("expected");
    QTest::newRow("0 to 13.7 km") << 0.0 << 13.7 << QVector<double>{0, 2, 4, 6, 8, 10, 12};
    QTest::newRow("dB, negative") << -28.3 << 1.2 << QVector<double>{-25, -20, -15, -10, -5, 0};
    QTest::newRow("zoomed to metres")
        << 1203.5 << 1211.0 << QVector<double>{1204, 1206, 1208, 1210};
}

void TestSorTool::ticks()
{
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(QVector<double>, expected);
    const QVector<double> got = TracePlot::ticks(lo, hi, 7);
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(qAbs(got.at(i) - expected.at(i)) < 1e-9, qPrintable(QString::number(got.at(i))));
}

QTEST_MAIN(TestSorTool)
#include "tst_sortool.moc"
