#include "acceptance/verdict.h"
#include "sor/sorreader.h"
#include "sorwriter.h"

#include <QTemporaryDir>
#include <QtTest>

// Limits as a client writes them, and the verdicts of traces whose events are known.
class TestAcceptance : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void unreadableFile();
    void wavelengths_data();
    void wavelengths();
    void verdicts_data();
    void verdicts();
};

void TestAcceptance::parse_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::newRow("every key") << QByteArray(R"({"name": "cliente", "splice_loss_max_db": 0.1,
        "connector_loss_max_db": 0.5, "reflectance_max_db": -40,
        "attenuation_max_db_km": {"1310": 0.35, "1550": 0.25}, "total_loss_max_db": 12,
        "orl_min_db": 30, "length_min_m": 100, "length_max_m": 50000})")
                               << QString();
    QTest::newRow("nothing checked") << QByteArray("{}") << QString();
    QTest::newRow("an unknown key")
        << QByteArray(R"({"splice_loss_max_db": 0.1, "splice_los_max_db": 0.2})")
        << "chave desconhecida: \"splice_los_max_db\"";
    QTest::newRow("a number as text")
        << QByteArray(R"({"orl_min_db": "30"})") << "a chave \"orl_min_db\" precisa de um número";
    QTest::newRow("a name that is no text")
        << QByteArray(R"({"name": 3})") << "a chave \"name\" precisa de um texto";
    QTest::newRow("attenuation as a number")
        << QByteArray(R"({"attenuation_max_db_km": 0.3})") << "\"attenuation_max_db_km\" precisa";
    QTest::newRow("a wavelength that is no number")
        << QByteArray(R"({"attenuation_max_db_km": {"azul": 0.3}})") << "\"azul\" precisa";
    QTest::newRow("not JSON") << QByteArray("{splice: 1}") << "JSON inválido no byte";
    QTest::newRow("an array") << QByteArray("[1, 2]") << "precisam ser um objeto";
}

// Exactly the documented keys, each of its type; anything else is refused by name.
void TestAcceptance::parse()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    QString why;
    const std::optional<Acceptance::Limits> limits = Acceptance::parseLimits(json, &why);
    QCOMPARE(limits.has_value(), error.isEmpty());
    QVERIFY2(why.contains(error), qPrintable(why));
    if (QByteArray(QTest::currentDataTag()) == "every key") {
        QCOMPARE(limits->name, QStringLiteral("cliente"));
        QCOMPARE(*limits->connectorLossMaxDb, 0.5);
        QCOMPARE(*limits->orlMinDb, 30.0);
        QCOMPARE(*limits->lengthMaxM, 50000.0);
        QCOMPARE(limits->attenuationMaxDbKm.value(1550), 0.25);
    }
    if (limits && QByteArray(QTest::currentDataTag()) == "nothing checked")
        QVERIFY(!limits->checksAnything());
}

void TestAcceptance::unreadableFile()
{
    QString why;
    QVERIFY(!Acceptance::readLimits(QStringLiteral("/nonexistent/limites.json"), &why));
    QVERIFY2(why.startsWith(QStringLiteral("/nonexistent/limites.json: ")), qPrintable(why));
    QVERIFY(!Acceptance::preset(QStringLiteral("nenhum")));
    QVERIFY(!Acceptance::preset(QStringLiteral("sem limites"))->checksAnything());
    const Acceptance::Limits generic = *Acceptance::preset(QStringLiteral("monomodo-generico"));
    QCOMPARE(*generic.spliceLossMaxDb, 0.3);
    QCOMPARE(*generic.connectorLossMaxDb, 0.75);
    QCOMPARE(*generic.reflectanceMaxDb, -35.0);
}

void TestAcceptance::wavelengths_data()
{
    QTest::addColumn<double>("nm");
    QTest::addColumn<double>("limit"); // -1: none
    QTest::newRow("exact") << 1550.0 << 0.3;
    QTest::newRow("near") << 1525.0 << 0.3;
    QTest::newRow("30 nm away") << 1340.0 << 0.4;
    QTest::newRow("too far") << 1625.0 << -1.0;
}

// A trace's wavelength takes the nearest key within 30 nm.
void TestAcceptance::wavelengths()
{
    QFETCH(double, nm);
    QFETCH(double, limit);
    const std::optional<double> found
        = Acceptance::preset(QStringLiteral("monomodo-generico"))->attenuationFor(nm);
    QCOMPARE(found.value_or(-1), limit);
}

void TestAcceptance::verdicts_data()
{
    QTest::addColumn<QByteArray>("limits");
    QTest::addColumn<QString>("trace"); // a generated case's name, or "damaged"
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QList<int>>("failing"); // numbers of the events that fail
    QTest::addColumn<QStringList>("linkBroken");
    // The generated traces hold a 0.1 dB splice, a 0.4 dB connector of -43 dB, and the end.
    const QString plain = QStringLiteral("whole file, CCITT-FALSE");
    QTest::newRow("one connector too lossy")
        << QByteArray(R"({"connector_loss_max_db": 0.3, "splice_loss_max_db": 0.3})") << plain
        << int(Acceptance::Verdict::Fail) << QList<int>{2} << QStringList();
    QTest::newRow("one splice too lossy")
        << QByteArray(R"({"splice_loss_max_db": 0.05})") << plain << int(Acceptance::Verdict::Fail)
        << QList<int>{1} << QStringList();
    QTest::newRow("a reflection too strong")
        << QByteArray(R"({"reflectance_max_db": -45})") << plain << int(Acceptance::Verdict::Fail)
        << QList<int>{2} << QStringList();
    QTest::newRow("the total loss")
        << QByteArray(R"({"total_loss_max_db": 0.5})") << plain << int(Acceptance::Verdict::Fail)
        << QList<int>{} << QStringList{"total_loss_max_db"};
    QTest::newRow("within every limit")
        << QByteArray(R"({"splice_loss_max_db": 0.3, "connector_loss_max_db": 0.75,
                          "reflectance_max_db": -35, "orl_min_db": 25})")
        << plain << int(Acceptance::Verdict::Pass) << QList<int>{} << QStringList();
    QTest::newRow("no limits") << QByteArray("{}") << plain << int(Acceptance::Verdict::Pass)
                               << QList<int>{} << QStringList();
    QTest::newRow("damaged") << QByteArray("{}") << "known maker, checksum wrong"
                             << int(Acceptance::Verdict::Unknown) << QList<int>{} << QStringList();
    QTest::newRow("a total loss stored as 0")
        << QByteArray(R"({"total_loss_max_db": 10})") << "odd event numbers, ORL and loss 0"
        << int(Acceptance::Verdict::Unknown) << QList<int>{} << QStringList();
    QTest::newRow("a reflectance stored as none, not checked")
        << QByteArray(R"({"splice_loss_max_db": 0.3})") << "reflectance stored as none"
        << int(Acceptance::Verdict::Pass) << QList<int>{} << QStringList();
    QTest::newRow("a positive reflectance is no measurement")
        << QByteArray(R"({"reflectance_max_db": -35})") << "positive reflectance"
        << int(Acceptance::Verdict::Unknown) << QList<int>{} << QStringList();
}

// Exactly the events that break a limit fail, and the trace with them; a damaged trace or a
// checked value that is not given cannot be judged.
void TestAcceptance::verdicts()
{
    QFETCH(QByteArray, limits);
    QFETCH(QString, trace);
    QFETCH(int, verdict);
    QFETCH(QList<int>, failing);
    QFETCH(QStringList, linkBroken);
    const Sor::Trace t = Sor::read(SorWriter::write(SorWriter::readerCase(trace).trace));
    const Acceptance::Judgement j
        = Acceptance::judge(Acceptance::fileLink(t), *Acceptance::parseLimits(limits, nullptr));
    QCOMPARE(int(j.verdict), verdict);
    QList<int> failed;
    for (const Acceptance::JudgedEvent &e : j.events) {
        if (e.verdict == Acceptance::Verdict::Fail)
            failed << e.number;
        QCOMPARE(e.verdict == Acceptance::Verdict::Fail, !e.broken.isEmpty());
    }
    QCOMPARE(failed, failing);
    QCOMPARE(j.broken, linkBroken);
}

QTEST_APPLESS_MAIN(TestAcceptance)
#include "tst_acceptance.moc"
