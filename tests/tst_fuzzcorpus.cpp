#include "fuzzchecks.h"

#include <QDir>
#include <QtTest>

// Replays the fuzz targets' corpus through their invariants (a broken one aborts).
class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
};

void TestFuzzCorpus::replay_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(OTDR_FUZZ_CORPUS));
    int count = 0;
    for (const QString &target : {QStringLiteral("listrecord"),
                                  QStringLiteral("safefilename"),
                                  QStringLiteral("sortrace"),
                                  QStringLiteral("route")}) {
        const QDir dir(corpus.filePath(target));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString &file : files) {
            QTest::newRow(qPrintable(target + '/' + file)) << target << dir.filePath(file);
            ++count;
        }
    }
    // The reader's other seeds are the generator's cases, made at build time.
    const QDir cases(QStringLiteral(OTDR_SAMPLES_DIR "/cases"));
    for (const QString &file : cases.entryList(QDir::Files, QDir::Name)) {
        QTest::newRow(qPrintable("sortrace/" + file)) << "sortrace" << cases.filePath(file);
        ++count;
    }
    QVERIFY(count >= 40);
}

void TestFuzzCorpus::replay()
{
    QFETCH(QString, target);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    if (target == QLatin1String("listrecord"))
        FuzzChecks::listRecord(input);
    else if (target == QLatin1String("sortrace"))
        FuzzChecks::sorTrace(input);
    else if (target == QLatin1String("route"))
        FuzzChecks::route(input);
    else
        FuzzChecks::safeFileName(input);
}

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
