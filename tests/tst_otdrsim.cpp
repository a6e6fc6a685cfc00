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
    void realProgramIsServed_data();
    void realProgramIsServed();
    void badOptions_data();
    void badOptions();
};

void TestOtdrSim::realProgramIsServed_data()
{
    QTest::addColumn<QStringList>("cable");
    QTest::addColumn<int>("listings");
    QTest::newRow("plugged in throughout") << QStringList() << 1;
    QTest::newRow("as slow as the real link") << QStringList{"--baud", "1200"} << 1;
    // The program finds the instrument again on its own and lists it once more. The cable goes
    // late enough for a sanitizer build of the program to have listed it once.
    QTest::newRow("pulled and plugged in again")
        << QStringList{"--unplug-at", "4", "--plug-at", "5"} << 2;
}

void TestOtdrSim::realProgramIsServed()
{
    QFETCH(QStringList, cable);
    QFETCH(int, listings);
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
    sim.start(OTDR_SIM,
              QStringList{"--log", "--folder", dir.path()} + cable
                  + QStringList{"--", OTDR_PROGRAM});
    QVERIFY(sim.waitForStarted());
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += sim.readAllStandardError()).count("arquivos lida") == listings,
                             20000);
    QVERIFY2(log.contains("listagem de 3 arquivos lida"), log.constData());
    // The program asked for nothing but the listings and is still running.
    QCOMPARE(log.count("otdr-sim: pedido"), listings);
    QCOMPARE(log.count("otdr-sim: pedido 03"), listings);
    QCOMPARE(sim.state(), QProcess::Running);
    ::kill(pid_t(sim.processId()), SIGTERM);
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

// Every answer in the programs' language: the help (Qt's headings too) and each refusal.
void TestOtdrSim::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Falha: puxa o cabo";
    QTest::newRow("chunk 0") << QStringList{"--chunk", "0"} << 2 << "valor fora do intervalo";
    QTest::newRow("baud text") << QStringList{"--baud", "fast"} << 2 << "valor fora do intervalo";
    QTest::newRow("missing folder") << QStringList{"--folder", "/nonexistent/otdr"} << 1
                                    << "não foi possível ler a pasta /nonexistent/otdr";
    QTest::newRow("missing program") << QStringList{"--", "/nonexistent/program"} << 127
                                     << "não foi possível iniciar /nonexistent/program";
    QTest::newRow("plug time not a number")
        << QStringList{"--plug-after", "soon"} << 2 << "valor fora do intervalo";
    QTest::newRow("unknown option") << QStringList{"--chunks", "3"} << 1 << "Opção desconhecida";
}

void TestOtdrSim::badOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    QProcess sim;
    sim.start(OTDR_SIM, arguments);
    QVERIFY(sim.waitForFinished(20000));
    QTEST(sim.exitCode(), "exitCode");
    const QString output
        = QString::fromUtf8(sim.readAllStandardOutput() + sim.readAllStandardError());
    QVERIFY2(output.contains(says), qPrintable(output));
    QVERIFY2(!output.contains(QLatin1String("Usage:")) && !output.contains(QLatin1String("cannot")),
             qPrintable(output));
}

QTEST_GUILESS_MAIN(TestOtdrSim)
#include "tst_otdrsim.moc"
