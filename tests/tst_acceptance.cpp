#include "acceptance/verdict.h"
#include "sor/sorreader.h"
#include "sorwriter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(SorWriter::Trace)

// Limits as a client writes them, and the verdicts of traces whose events are known.
Q_DECLARE_METATYPE(std::optional<double>)

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
    void storedValues_data();
    void storedValues();
    void attention();
    void analysedExtent_data();
    void analysedExtent();
    void everyLimitKey_data();
    void everyLimitKey();
    void analysedFrontConnector_data();
    void analysedFrontConnector();
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
    QTest::newRow("a text left open, said in Portuguese")
        << QByteArray(R"({"orl_min_db": 30, "name": "x)") << "texto sem as aspas que o fecham";
    QTest::newRow("a key given twice")
        << QByteArray(R"({"splice_loss_max_db": 0.3, "splice_loss_max_db": 0.1})")
        << "a chave \"splice_loss_max_db\" aparece duas vezes";
    QTest::newRow("a wavelength given twice")
        << QByteArray(R"({"attenuation_max_db_km": {"1550": 0.3, "1550": 0.2}})")
        << "a chave \"1550\" aparece duas vezes";
    QTest::newRow("a negative loss maximum") << QByteArray(R"({"splice_loss_max_db": -0.1})")
                                             << "\"splice_loss_max_db\" não pode ser negativa";
    QTest::newRow("a reflectance maximum above 0 dB")
        << QByteArray(R"({"reflectance_max_db": 35})")
        << "\"reflectance_max_db\" não pode passar de 0 dB";
    QTest::newRow("a minimum length above the maximum")
        << QByteArray(R"({"length_min_m": 5000, "length_max_m": 1000})")
        << "\"length_min_m\" passa de \"length_max_m\"";
    QTest::newRow("an ORL minimum below 0")
        << QByteArray(R"({"orl_min_db": -5})") << "\"orl_min_db\" não pode ser negativa";
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
    // In the user's words, not Qt's English.
    QVERIFY2(why.contains(QStringLiteral("não existe")), qPrintable(why));
    QTemporaryDir dir;
    QVERIFY(!Acceptance::readLimits(dir.filePath("faltando.json"), &why));
    QVERIFY2(why.endsWith(QStringLiteral("arquivo não encontrado")), qPrintable(why));
    QVERIFY(!Acceptance::readLimits(dir.path(), &why));
    QVERIFY2(why.endsWith(QStringLiteral("é uma pasta")), qPrintable(why));
    QVERIFY(!Acceptance::preset(QStringLiteral("nenhum")));
    QVERIFY(!Acceptance::preset(QStringLiteral("sem limites"))->checksAnything());
    const Acceptance::Limits generic = *Acceptance::preset(QStringLiteral("monomodo-generico"));
    QCOMPARE(*generic.spliceLossMaxDb, 0.3);
    QCOMPARE(*generic.connectorLossMaxDb, 0.75);
    QCOMPARE(*generic.reflectanceMaxDb, -35.0);
    QCOMPARE(*generic.attenuationFor(1625), 0.4); // ITU-T G.652.D
    // Each preset checks something, but "sem limites", and has a readable name.
    for (const QString &name : Acceptance::presetNames()) {
        QVERIFY(Acceptance::preset(name));
        QCOMPARE(Acceptance::preset(name)->checksAnything(), name != QStringLiteral("sem limites"));
        QVERIFY(Acceptance::presetTitle(name) != name);
    }
    QCOMPARE(*Acceptance::preset(QStringLiteral("tia-568.3-d-apc"))->reflectanceMaxDb, -55.0);
    QCOMPARE(*Acceptance::preset(QStringLiteral("gpon-classe-b+"))->totalLossMaxDb, 28.0);
    QCOMPARE(*Acceptance::preset(QStringLiteral("gpon-classe-c+"))->totalLossMaxDb, 32.0);
}

void TestAcceptance::wavelengths_data()
{
    QTest::addColumn<double>("nm");
    QTest::addColumn<double>("limit"); // -1: none
    QTest::newRow("exact") << 1550.0 << 0.3;
    QTest::newRow("near") << 1525.0 << 0.3;
    QTest::newRow("30 nm away") << 1340.0 << 0.4;
    QTest::newRow("1625 nm, its own key") << 1625.0 << 0.4;
    QTest::newRow("too far") << 1480.0 << -1.0;
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
    QTest::newRow("no limits: neither pass nor fail")
        << QByteArray("{}") << plain << int(Acceptance::Verdict::NoLimits) << QList<int>{}
        << QStringList();
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

namespace {

// A 2.4 km trace whose events are given as the file stores them.
SorWriter::Trace
withEvents(const QList<SorWriter::Event> &events, qint32 endToEndLoss = 700, quint16 orl = 32000)
{
    SorWriter::Trace t = SorWriter::readerCase("whole file, CCITT-FALSE").trace;
    t.events = events;
    t.endToEndLoss = endToEndLoss;
    t.orl = orl;
    return t;
}

SorWriter::Event stored(qint16 number,
                        double metres,
                        double lossDb,
                        double reflectanceDb,
                        const char *code,
                        double attenuationDbKm = 0.3)
{
    SorWriter::Event e;
    e.number = number;
    e.time = SorWriter::timeFor(metres, 146800);
    e.loss = qint16(std::lround(lossDb * 1000));
    e.reflectance = qint32(std::lround(reflectanceDb * 1000));
    e.code = code;
    e.attenuation = qint16(std::lround(attenuationDbKm * 1000));
    return e;
}

} // namespace

void TestAcceptance::storedValues_data()
{
    QTest::addColumn<SorWriter::Trace>("trace");
    QTest::addColumn<QByteArray>("limits");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("reason"); // part of a reason given; empty: none given
    const SorWriter::Event end = stored(9, 2000, 0, -14, "1E9999");
    const QByteArray connectors = R"({"connector_loss_max_db": 0.5, "reflectance_max_db": -35})";
    QTest::newRow("a user's marker with 0 dB and reflectance 0 is not measured")
        << withEvents({stored(1, 1200, 0, 0, "1A9999", 0.2), end}) << connectors
        << int(Acceptance::Verdict::Unknown) << "evento 1: refletância não medida";
    QTest::newRow("an out-of-range marker is never a splice")
        << withEvents({stored(1, 1200, 3.0, 0, "0O9999", 0.2), end})
        << QByteArray(R"({"splice_loss_max_db": 0.3})") << int(Acceptance::Verdict::Pass)
        << QString();
    QTest::newRow("nothing past the end is judged") << withEvents(
        {stored(1, 1200, 0.1, 0, "0F9999", 0.2), end, stored(10, 2300, 2.0, 0, "0F9999", 0.2)})
                                                    << QByteArray(R"({"splice_loss_max_db": 0.3})")
                                                    << int(Acceptance::Verdict::Pass) << QString();
    QTest::newRow("a section under a kilometre keeps its attenuation unjudged")
        << withEvents(
               {stored(1, 600, 0.1, 0, "0F9999", 0.9), stored(2, 1800, 0.1, 0, "0F9999"), end})
        << QByteArray(R"({"attenuation_max_db_km": {"1310": 0.4}})")
        << int(Acceptance::Verdict::Pass) << QString();
    QTest::newRow("a section's attenuation of 0 is not measured")
        << withEvents({stored(1, 1200, 0.1, 0, "0F9999", 0.0), end})
        << QByteArray(R"({"attenuation_max_db_km": {"1310": 0.4}})")
        << int(Acceptance::Verdict::Unknown) << "trecho antes do evento 1: atenuação não medida";
    QTest::newRow("a section that breaks its limit names where")
        << withEvents({stored(1, 1200, 0.1, 0, "0F9999", 0.5), end})
        << QByteArray(R"({"attenuation_max_db_km": {"1310": 0.4}})")
        << int(Acceptance::Verdict::Fail)
        << "trecho antes do evento 1: atenuação 0,500 dB/km acima do limite";
    QTest::newRow("a loss exactly at its limit keeps it")
        << withEvents({stored(1, 1200, 0.3, 0, "0F9999"), end})
        << QByteArray(R"({"splice_loss_max_db": 0.3})") << int(Acceptance::Verdict::Pass)
        << QString();
    QTest::newRow("an ORL under its minimum fails the link")
        << withEvents({stored(1, 1200, 0.1, 0, "0F9999"), end}, 700, 24000)
        << QByteArray(R"({"orl_min_db": 25})") << int(Acceptance::Verdict::Fail)
        << "enlace: ORL 24,00 dB abaixo do limite";
    QTest::newRow("a length under its minimum fails the link")
        << withEvents({stored(1, 1200, 0.1, 0, "0F9999"), end})
        << QByteArray(R"({"length_min_m": 2500})") << int(Acceptance::Verdict::Fail)
        << "enlace: comprimento 2000,0 m abaixo do limite";
    // Each limit's word with its own gender: "comprimento não medido", "perda … não medida".
    QTest::newRow("a length not measured")
        << withEvents({stored(1, 1200, 0.1, 0, "0F9999")})
        << QByteArray(R"({"length_max_m": 5000})") << int(Acceptance::Verdict::Unknown)
        << "enlace: comprimento não medido (comprimento máx. 5000,0 m)";
    QTest::newRow("a total loss not measured")
        << withEvents({stored(1, 1200, 0.1, 0, "0F9999"), end}, 0)
        << QByteArray(R"({"total_loss_max_db": 10})") << int(Acceptance::Verdict::Unknown)
        << "enlace: perda total não medida (perda total máx. 10,000 dB)";
    QTest::newRow("without limits, neither pass nor fail")
        << withEvents({stored(1, 1200, 3.0, 0, "0F9999"), end}) << QByteArray("{}")
        << int(Acceptance::Verdict::NoLimits) << QString();
    QTest::newRow("nothing to judge is never a pass")
        << withEvents({}, 0, 0) << QByteArray(R"({"splice_loss_max_db": 0.3})")
        << int(Acceptance::Verdict::Unknown) << "não traz eventos";
}

// What a file stores that is no measurement is never judged as one; values at the edge of a
// limit keep it; at-least limits are checked; every failure or gap says where and why.
void TestAcceptance::storedValues()
{
    QFETCH(SorWriter::Trace, trace);
    QFETCH(QByteArray, limits);
    QFETCH(int, verdict);
    QFETCH(QString, reason);
    const Sor::Trace t = Sor::read(SorWriter::write(trace));
    const Acceptance::Judgement j
        = Acceptance::judge(Acceptance::fileLink(t), *Acceptance::parseLimits(limits, nullptr));
    QVERIFY2(int(j.verdict) == verdict, qPrintable(j.reasons.join(QStringLiteral(" | "))));
    if (reason.isEmpty()) {
        QVERIFY2(j.reasons.isEmpty(), qPrintable(j.reasons.join(QStringLiteral(" | "))));
    } else {
        QVERIFY2(j.reasons.join(QLatin1Char('\n')).contains(reason),
                 qPrintable(j.reasons.join(QStringLiteral(" | "))));
    }
}

// A value that passes within a tenth of its limit is one to watch: the event and the link say
// how close, and the verdict stays a pass.
void TestAcceptance::attention()
{
    Acceptance::Link link;
    link.wavelengthNm = 1550;
    link.orlDb = 27;
    link.lengthM = 5000;
    Acceptance::JudgedEvent close;
    close.number = 1;
    close.distanceM = 2000;
    close.lossDb = 0.28;
    Acceptance::JudgedEvent clear = close;
    clear.number = 2;
    clear.distanceM = 4000;
    clear.lossDb = 0.2;
    link.events = {close, clear};
    Acceptance::Limits limits;
    limits.spliceLossMaxDb = 0.3;
    limits.orlMinDb = 25;
    const Acceptance::Judgement j = Acceptance::judge(link, limits);
    QCOMPARE(j.verdict, Acceptance::Verdict::Pass);
    QVERIFY(j.events.at(0).attention());
    QCOMPARE(j.events.at(0).marginText, QStringLiteral("0,020 dB"));
    QVERIFY(!j.events.at(1).attention());
    QCOMPARE(j.events.at(1).marginText, QStringLiteral("0,100 dB"));
    QCOMPARE(j.attention,
             (QStringList{"enlace: a 2,00 dB do limite", "evento 1: a 0,020 dB do limite"}));
}

void TestAcceptance::everyLimitKey_data()
{
    QTest::addColumn<QString>("key");
    for (const Acceptance::LimitKey &k : Acceptance::limitKeys())
        QTest::newRow(qPrintable(k.json)) << k.json;
}

// Every limit of the table is read from its JSON key, listed in words with its unit, and a link
// limit fails a value on its wrong side only: below an "at least", above an "at most".
void TestAcceptance::everyLimitKey()
{
    QFETCH(QString, key);
    const Acceptance::LimitKey &k = Acceptance::limitKey(key);
    QCOMPARE(k.json, key);
    const bool splitter = key == QLatin1String("splitter_loss_max_db");
    const bool attenuation = !k.member && !splitter;
    const QByteArray json = attenuation ? QByteArray(R"({"attenuation_max_db_km": {"1310": 0.4}})")
                            : splitter  ? QByteArray(R"({"splitter_loss_max_db": {"8": -0.5}})")
                                        : QStringLiteral("{\"%1\": -0.5}").arg(key).toUtf8();
    QString error;
    const bool negativeMeaningless = !attenuation && key != QLatin1String("reflectance_max_db");
    std::optional<Acceptance::Limits> l = Acceptance::parseLimits(json, &error);
    // A negative loss, length or ORL is refused by its key; a reflectance limit must be one.
    QCOMPARE(bool(l), !negativeMeaningless);
    if (negativeMeaningless) {
        QVERIFY2(error.contains(key), qPrintable(error));
        l = Acceptance::parseLimits(splitter ? QByteArray(R"({"splitter_loss_max_db": {"8": 20}})")
                                             : QStringLiteral("{\"%1\": 20}").arg(key).toUtf8(),
                                    &error);
        QVERIFY2(l, qPrintable(error));
    }
    const QVector<Acceptance::LimitRow> rows = Acceptance::limitRows(*l);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().key, key);
    // A splitter's row names its ratio.
    QCOMPARE(rows.first().label, splitter ? QStringLiteral("perda de divisor 1:8 máx.") : k.label);
    QVERIFY(rows.first().value.endsWith(QLatin1Char(' ') + k.unit));
    QCOMPARE(rows.first().wavelengthNm.has_value(), attenuation);
    QVERIFY(Acceptance::limitText(key, *l, 1310.0).startsWith(k.label + QLatin1Char(' ')));

    // The link's own limits, on each side of 20.
    const QList<QPair<QString, std::optional<double> Acceptance::Link::*>> linkValues{
        {"total_loss_max_db", &Acceptance::Link::totalLossDb},
        {"orl_min_db", &Acceptance::Link::orlDb},
        {"length_min_m", &Acceptance::Link::lengthM},
        {"length_max_m", &Acceptance::Link::lengthM}};
    for (const auto &v : linkValues) {
        if (v.first != key)
            continue;
        for (double value : {19.0, 21.0}) {
            Acceptance::Link link;
            link.*v.second = value;
            const Acceptance::Judgement j = Acceptance::judge(link, *l);
            const bool wrongSide = k.atLeast ? value < 20 : value > 20;
            QCOMPARE(j.broken.contains(key), wrongSide);
        }
    }
}

void TestAcceptance::analysedExtent_data()
{
    QTest::addColumn<std::optional<double>>("endM");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("reason");
    QTest::newRow("an end found") << std::optional<double>(2000.0) << int(Acceptance::Verdict::Pass)
                                  << QString();
    QTest::newRow("no end found") << std::optional<double>() << int(Acceptance::Verdict::Unknown)
                                  << "não encontrou o fim da fibra";
    QTest::newRow("an end before the span's start")
        << std::optional<double>(-965.0) << int(Acceptance::Verdict::Unknown)
        << "comprimento achado (-0,965 km) não é positivo";
}

// A re-analysed fibre whose extent is not known passes nothing, whatever else it shows.
void TestAcceptance::analysedExtent()
{
    QFETCH(std::optional<double>, endM);
    QFETCH(int, verdict);
    QFETCH(QString, reason);
    Analysis::Result found;
    Analysis::Event splice;
    splice.distanceM = 800;
    splice.lossDb = 0.05;
    splice.attenuationDbKm = 0.3;
    found.events.push_back(splice);
    found.fiberEndM = endM;
    found.totalLossDb = 1.0;
    const Sor::Trace t = Sor::read(SorWriter::write(withEvents({})));
    const Acceptance::Judgement j
        = Acceptance::judge(Acceptance::analysedLink(t, found),
                            *Acceptance::parseLimits(R"({"splice_loss_max_db": 0.3})", nullptr));
    QCOMPARE(int(j.verdict), verdict);
    if (!reason.isEmpty())
        QVERIFY2(j.reasons.join(QLatin1Char('|')).contains(reason),
                 qPrintable(j.reasons.join('|')));
}

void TestAcceptance::analysedFrontConnector_data()
{
    QTest::addColumn<double>("atM");
    QTest::addColumn<int>("verdict");
    QTest::newRow("at the panel: no loss to judge") << 0.0 << int(Acceptance::Verdict::Pass);
    QTest::newRow("down the fibre: its loss must be measured")
        << 900.0 << int(Acceptance::Verdict::Unknown);
}

// The analysis cannot measure a loss for the instrument's own connector (nothing lies before
// it): a re-analysed trace is not held INDETERMINADO for it; a connector further on is.
void TestAcceptance::analysedFrontConnector()
{
    QFETCH(double, atM);
    QFETCH(int, verdict);
    Analysis::Result found;
    Analysis::Event connector;
    connector.distanceM = atM;
    connector.type = Analysis::EventType::Reflective;
    connector.lossMeasured = false;
    connector.reflectanceDb = -50;
    Analysis::Event end;
    end.distanceM = 2000;
    end.type = Analysis::EventType::End;
    end.lossDb = 0;
    found.events = {connector, end};
    found.fiberEndM = 2000;
    found.totalLossDb = 1.0;
    const Sor::Trace t = Sor::read(SorWriter::write(withEvents({})));
    const Acceptance::Judgement j = Acceptance::judge(
        Acceptance::analysedLink(t, found),
        *Acceptance::parseLimits(R"({"connector_loss_max_db": 0.75, "reflectance_max_db": -40})",
                                 nullptr));
    QVERIFY2(int(j.verdict) == verdict, qPrintable(j.reasons.join('|')));
}

QTEST_APPLESS_MAIN(TestAcceptance)
#include "tst_acceptance.moc"
