#include "files/safefilename.h"

#include <QDir>
#include <QtTest>

class TestSafeFileName : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void longNames();
    void unique();
};

void TestSafeFileName::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("safe");
    QTest::newRow("plain") << "trace01.sor"
                           << "trace01.sor";
    QTest::newRow("unicode kept") << QString::fromUtf8("fibra-\xC3\xA7\xC3\xA3o.sor")
                                  << QString::fromUtf8("fibra-\xC3\xA7\xC3\xA3o.sor");
    QTest::newRow("slash") << "../../etc/passwd"
                           << ".._.._etc_passwd";
    QTest::newRow("backslash") << "..\\..\\win.ini"
                               << ".._.._win.ini";
    QTest::newRow("absolute") << "/tmp/x.sor"
                              << "_tmp_x.sor";
    QTest::newRow("drive letter") << "C:evil.sor"
                                  << "C_evil.sor";
    QTest::newRow("windows specials") << "a<b>c:d\"e|f?g*h.sor"
                                      << "a_b_c_d_e_f_g_h.sor";
    QTest::newRow("control chars") << QString("a\tb\nc\x01.sor") << "a_b_c_.sor";
    QTest::newRow("dot") << "."
                         << "arquivo.sor";
    QTest::newRow("dot dot") << ".."
                             << "arquivo.sor";
    QTest::newRow("empty") << ""
                           << "arquivo.sor";
    QTest::newRow("spaces only") << "   "
                                 << "arquivo.sor";
    QTest::newRow("trailing dot and space") << "trace. . "
                                            << "trace";
    QTest::newRow("CON") << "CON"
                         << "_CON";
    QTest::newRow("con.sor") << "con.sor"
                             << "_con.sor";
    QTest::newRow("NUL.tar.gz") << "NUL.tar.gz"
                                << "_NUL.tar.gz";
    QTest::newRow("COM1") << "COM1.sor"
                          << "_COM1.sor";
    QTest::newRow("lpt9 with space") << "lpt9 .sor"
                                     << "_lpt9 .sor";
    QTest::newRow("COM0 is fine") << "COM0.sor"
                                  << "COM0.sor";
    QTest::newRow("CONSOLE is fine") << "CONSOLE.sor"
                                     << "CONSOLE.sor";
    QTest::newRow("hidden file kept") << ".trace"
                                      << ".trace";
}

void TestSafeFileName::names()
{
    QFETCH(QString, name);
    const QString safe = safeFileName(name);
    QTEST(safe, "safe");
    // Joined to a directory, the name stays inside it.
    // An absolute folder on any system ("/data/traces", or "C:/data/traces" on Windows).
    const QString dir = QDir::rootPath() + QStringLiteral("data/traces");
    QCOMPARE(QFileInfo(QDir::cleanPath(dir + '/' + safe)).absolutePath(), dir);
}

void TestSafeFileName::longNames()
{
    const QString longName = QString(300, QChar(0x00E7)) + QStringLiteral(".sor");
    const QString safe = safeFileName(longName);
    QVERIFY(safe.toUtf8().size() <= 200);
    QVERIFY(safe.endsWith(QStringLiteral(".sor")));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x93\x88").repeated(100);
    const QString cut = safeFileName(emoji);
    QVERIFY(cut.toUtf8().size() <= 200);
    QVERIFY(!cut.at(cut.size() - 1).isHighSurrogate());
}

void TestSafeFileName::unique()
{
    QSet<QString> taken;
    QCOMPARE(uniqueFileName("a.sor", taken), QStringLiteral("a.sor"));
    QCOMPARE(uniqueFileName("A.SOR", taken), QStringLiteral("A (2).SOR"));
    QCOMPARE(uniqueFileName("a.sor", taken), QStringLiteral("a (3).sor"));
    QCOMPARE(uniqueFileName("b", taken), QStringLiteral("b"));
    QCOMPARE(uniqueFileName("b", taken), QStringLiteral("b (2)"));
    QCOMPARE(uniqueFileName("%1 x.sor", taken), QStringLiteral("%1 x.sor"));
    QCOMPARE(uniqueFileName("%1 x.sor", taken), QStringLiteral("%1 x (2).sor"));
}

QTEST_GUILESS_MAIN(TestSafeFileName)
#include "tst_safefilename.moc"
