#include "sor/sortable.h"

#include <QJsonDocument>
#include <QtTest>

Q_DECLARE_METATYPE(Sor::TableCell)

// One description of a table's columns, each rendering reading it: a cell written in each way,
// a column left out where it has no name there, the text table's widths and gaps.
class TestSorTable : public QObject
{
    Q_OBJECT

private slots:
    void cell_data();
    void cell();
    void renderings();
};

namespace {

struct Row
{
    QString name;
    std::optional<double> lossDb;
    std::optional<int> bends;
    QString why;
};

Sor::TableColumns<Row> columns()
{
    Sor::TableColumn<Row> name = Sor::keyedColumn<Row>(
        QStringLiteral("name"), [](const Row &r) { return Sor::TableCell::ofText(r.name); });
    name.heading = QStringLiteral("Nome");
    name.width = -6;
    Sor::TableColumn<Row> loss = Sor::keyedColumn<Row>(QStringLiteral("loss_db"), [](const Row &r) {
        return Sor::TableCell::ofNumber(r.lossDb, 3);
    });
    loss.heading = QStringLiteral("Perda");
    loss.width = 7;
    loss.gap = 2;
    Sor::TableColumn<Row> bends = Sor::keyedColumn<Row>(QStringLiteral("bends"), [](const Row &r) {
        Sor::TableCell c = Sor::TableCell::ofWhole(r.bends);
        c.none = QStringLiteral("não vista");
        return c;
    });
    bends.heading = QStringLiteral("Curv.");
    bends.csvKey.clear();
    Sor::TableColumn<Row> why = Sor::keyedColumn<Row>(
        QStringLiteral("why"), [](const Row &r) { return Sor::TableCell::ofOptionalText(r.why); });
    why.jsonKey.clear();
    return {name, loss, bends, why};
}

} // namespace

void TestSorTable::cell_data()
{
    QTest::addColumn<Sor::TableCell>("cell");
    QTest::addColumn<QString>("csvC");
    QTest::addColumn<QString>("csvBrazil");
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("shown");
    Sor::TableCell noneOfItsOwn = Sor::TableCell::ofNumber(std::nullopt, 2);
    noneOfItsOwn.none = QStringLiteral("não vista");
    QTest::newRow("number") << Sor::TableCell::ofNumber(-0.0746, 3) << "-0.075"
                            << "-0,075"
                            << "-0.0746"
                            << "-0,075";
    QTest::newRow("no number") << Sor::TableCell::ofNumber(std::nullopt, 3) << ""
                               << ""
                               << "null"
                               << "—";
    QTest::newRow("its own none") << noneOfItsOwn << ""
                                  << ""
                                  << "null"
                                  << "não vista";
    QTest::newRow("whole") << Sor::TableCell::ofWhole(1550) << "1550"
                           << "1550"
                           << "1550"
                           << "1550";
    QTest::newRow("text") << Sor::TableCell::ofText(QStringLiteral("1,5")) << "1,5"
                          << "1,5"
                          << "\"1,5\""
                          << "1,5";
    QTest::newRow("empty text") << Sor::TableCell::ofText(QString()) << ""
                                << ""
                                << "\"\""
                                << "";
    QTest::newRow("empty text, null") << Sor::TableCell::ofOptionalText(QString()) << ""
                                      << ""
                                      << "null"
                                      << "";
}

void TestSorTable::cell()
{
    QFETCH(Sor::TableCell, cell);
    QFETCH(QString, csvC);
    QFETCH(QString, csvBrazil);
    QFETCH(QString, json);
    QFETCH(QString, shown);
    QCOMPARE(cell.csv(Sor::CsvStyle()), csvC);
    QCOMPARE(cell.csv(Sor::CsvStyle::of(QLocale(QLocale::Portuguese, QLocale::Brazil))), csvBrazil);
    const QByteArray array = QJsonDocument(QJsonArray{cell.json()}).toJson(QJsonDocument::Compact);
    QCOMPARE(QString::fromUtf8(array.mid(1, array.size() - 2)), json);
    QCOMPARE(cell.shown(QStringLiteral("—")), shown);
}

void TestSorTable::renderings()
{
    const Sor::TableColumns<Row> table = columns();
    const Row row{QStringLiteral("F1"), 0.1234, std::nullopt, QStringLiteral("a; b")};
    // The bends have no CSV name, the reason no JSON one, the reason no heading.
    QCOMPARE(Sor::csvHeading(table, Sor::CsvStyle()), QStringLiteral("name,loss_db,why"));
    QCOMPARE(Sor::csvLine(table, row, Sor::CsvStyle()), QStringLiteral("F1,0.123,\"a; b\""));
    const QJsonObject json = Sor::jsonObject(table, row, {{QStringLiteral("files"), 2}});
    QCOMPARE(json.keys(), QStringList({"bends", "files", "loss_db", "name"}));
    QCOMPARE(json.value(QStringLiteral("loss_db")).toDouble(), 0.1234);
    QVERIFY(json.value(QStringLiteral("bends")).isNull());
    QCOMPARE(Sor::textHeading(table), QStringLiteral("Nome      Perda Curv."));
    QCOMPARE(Sor::textLine(table, row, QStringLiteral("—")),
             QStringLiteral("F1        0,123 não vista"));
}

QTEST_GUILESS_MAIN(TestSorTable)
#include "tst_sortable.moc"
