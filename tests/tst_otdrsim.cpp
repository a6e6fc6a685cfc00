#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// otdr-sim with the real otdr: the program finds the fake port and shows the listing.
class TestOtdrSim : public QObject
{
    Q_OBJECT

private slots:
    void realProgramIsServed();
    void badOptions_data();
    void badOptions();
};

void TestOtdrSim::realProgramIsServed()
{
    QTemporaryDir dir;
    for (const char *name : {"um.sor", "dois.sor", "tres.sor"}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(3000, 'x'));
    }
    QProcess sim;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    sim.setProcessEnvironment(environment);
    sim.start(OTDR_SIM, {"--log", "--folder", dir.path(), "--", OTDR_PROGRAM});
    QVERIFY(sim.waitForStarted());
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += sim.readAllStandardError()).contains("files read"), 20000);
    QVERIFY2(log.contains("otdr-sim: request 03"), log.constData());
    QVERIFY2(log.contains("listing of 3 files read"), log.constData());
    // The program answered nothing else and is still running.
    QCOMPARE(log.count("otdr-sim: request"), 1);
    QCOMPARE(sim.state(), QProcess::Running);
    ::kill(pid_t(sim.processId()), SIGTERM);
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

void TestOtdrSim::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("help") << QStringList{"--help"} << 0;
    QTest::newRow("chunk 0") << QStringList{"--chunk", "0"} << 2;
    QTest::newRow("baud text") << QStringList{"--baud", "fast"} << 2;
    QTest::newRow("missing folder") << QStringList{"--folder", "/nonexistent/otdr"} << 1;
    QTest::newRow("missing program") << QStringList{"--", "/nonexistent/program"} << 127;
}

void TestOtdrSim::badOptions()
{
    QFETCH(QStringList, arguments);
    QProcess sim;
    sim.start(OTDR_SIM, arguments);
    QVERIFY(sim.waitForFinished(20000));
    QTEST(sim.exitCode(), "exitCode");
}

QTEST_GUILESS_MAIN(TestOtdrSim)
#include "tst_otdrsim.moc"
