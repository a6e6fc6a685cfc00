#include "sor/soredit.h"
#include "sor/sorreader.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QtTest>

// A trace written back: unchanged it is the same bytes; edited, exactly the edited field
// differs, every other block keeps its bytes, and the checksum verifies by the original's method.
class TestSorEdit : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void editEachField_data();
    void editEachField();
    void damagedFiles();
    void valuesThatChangeNothing();
};

namespace {

QList<SorWriter::Case> allCases()
{
    return SorWriter::readerCases() + SorWriter::sampleTraces() + SorWriter::twoEndedSamples();
}

// Each block's bytes by name, and what follows the last one.
QMap<QString, QByteArray> blocksOf(const QByteArray &file)
{
    const Sor::Trace t = Sor::read(file, Sor::Detail::Check);
    QMap<QString, QByteArray> blocks;
    qint64 end = 0;
    for (const Sor::BlockInfo &b : t.blocks) {
        blocks.insert(b.name, file.mid(int(b.offset), int(b.size)));
        end = b.offset + b.size;
    }
    blocks.insert(QStringLiteral("(depois dos blocos)"), file.mid(int(end)));
    return blocks;
}

const QStringList Fields{"cabo", "fibra", "local A", "local B", "operador", "comentário"};

QString &fieldOf(Sor::GeneralParameters &g, const QString &field)
{
    QString *values[]
        = {&g.cableId, &g.fiberId, &g.locationA, &g.locationB, &g.operatorName, &g.comment};
    return *values[Fields.indexOf(field)];
}

std::optional<QString> &editOf(Sor::Edits &e, const QString &field)
{
    std::optional<QString> *values[]
        = {&e.cableId, &e.fiberId, &e.locationA, &e.locationB, &e.operatorName, &e.comment};
    return *values[Fields.indexOf(field)];
}

} // namespace

void TestSorEdit::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    for (const SorWriter::Case &c : allCases())
        QTest::newRow(qPrintable(c.name)) << SorWriter::write(c.trace);
}

// Both versions, every checksum method, makers' blocks, an empty block, trailing bytes, odd
// strings: written back unchanged, byte for byte; a damaged file only when forced.
void TestSorEdit::roundTrip()
{
    QFETCH(QByteArray, bytes);
    const bool damaged = Sor::read(bytes).damaged();
    const Sor::Rewritten r = Sor::rewrite(bytes, {});
    QCOMPARE(r.ok(), !damaged);
    if (damaged)
        QVERIFY2(r.error.startsWith("o arquivo está danificado"), qPrintable(r.error));
    const Sor::Rewritten forced = Sor::rewrite(bytes, {}, true);
    QVERIFY2(forced.ok(), qPrintable(forced.error));
    QVERIFY(!forced.changed);
    QVERIFY(forced.bytes == bytes);
}

void TestSorEdit::editEachField_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");
    for (const SorWriter::Case &c : SorWriter::readerCases()) {
        if (c.state == "mismatch")
            continue;
        for (const QString &field : Fields) {
            QTest::newRow(qPrintable(c.name + ": " + field)) << SorWriter::write(c.trace) << field;
        }
    }
}

void TestSorEdit::editEachField()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    const Sor::Trace before = Sor::read(bytes);
    Sor::Edits edits;
    const QString value = QStringLiteral("Emenda nº 7, caixa São João ") + field;
    editOf(edits, field) = value;
    const Sor::Rewritten r = Sor::rewrite(bytes, edits);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QVERIFY(r.changed);
    Sor::Trace after = Sor::read(r.bytes);
    QVERIFY(!after.damaged());

    // Exactly that field changed.
    Sor::GeneralParameters expected = *before.general;
    fieldOf(expected, field) = value;
    QCOMPARE(fieldOf(*after.general, field), value);
    for (const QString &other : Fields)
        QCOMPARE(fieldOf(*after.general, other), fieldOf(expected, other));
    QCOMPARE(after.general->language, before.general->language);
    QCOMPARE(after.general->nominalWavelengthNm, before.general->nominalWavelengthNm);
    QCOMPARE(after.general->cableCode, before.general->cableCode);

    // Every other block, in the same order, with the same bytes; the map's sizes follow.
    const QMap<QString, QByteArray> was = blocksOf(bytes);
    const QMap<QString, QByteArray> is = blocksOf(r.bytes);
    QCOMPARE(is.keys(), was.keys());
    for (const QString &name : was.keys()) {
        if (name != "GenParams" && name != "Map" && name != "Cksum")
            QVERIFY2(is.value(name) == was.value(name), qPrintable(name));
    }
    QCOMPARE(after.blocks.size(), before.blocks.size());
    for (int i = 0; i < before.blocks.size(); ++i)
        QCOMPARE(after.blocks.at(i).name, before.blocks.at(i).name);
    QCOMPARE(after.levelDb.size(), before.levelDb.size());

    // The checksum: by the original's method; none stays none; one that could not be
    // verified is made by the usual method, and the user is told.
    switch (before.checksum.state) {
    case Sor::ChecksumState::Valid:
        QCOMPARE(after.checksum.state, Sor::ChecksumState::Valid);
        QCOMPARE(after.checksum.method, before.checksum.method);
        QVERIFY(r.warnings.isEmpty());
        break;
    case Sor::ChecksumState::NotProvided:
        QCOMPARE(after.checksum.state, Sor::ChecksumState::NotProvided);
        QCOMPARE(*after.checksum.stored, quint16(0));
        break;
    case Sor::ChecksumState::CannotVerify:
        QCOMPARE(after.checksum.state, Sor::ChecksumState::Valid);
        QVERIFY(r.warnings.join(' ').contains("não pôde ser verificada"));
        break;
    case Sor::ChecksumState::Mismatch:
        QFAIL("a damaged case is not edited without force");
    }
}

// A damaged file is refused; forced, it is edited, the user told, and its checksum made by its
// maker's method so that the new file verifies.
void TestSorEdit::damagedFiles()
{
    const QByteArray mismatch
        = SorWriter::write(SorWriter::readerCase("known maker, checksum wrong").trace);
    Sor::Edits edits;
    edits.cableId = QStringLiteral("CB-99");
    QVERIFY(Sor::rewrite(mismatch, edits).error.contains("a soma de verificação não confere"));
    const Sor::Rewritten forced = Sor::rewrite(mismatch, edits, true);
    QVERIFY2(forced.ok(), qPrintable(forced.error));
    QVERIFY(forced.warnings.join(' ').contains("o original estava danificado"));
    const Sor::Trace back = Sor::read(forced.bytes);
    QCOMPARE(back.checksum.state, Sor::ChecksumState::Valid);
    QCOMPARE(back.checksum.method, Sor::ChecksumMethod::CcittFalseBefore); // the maker's
    QCOMPARE(back.general->cableId, QStringLiteral("CB-99"));

    // Cut short: the blocks cannot be told apart, so no edit, forced or not.
    const QByteArray cut = mismatch.left(mismatch.size() - 300);
    QVERIFY(!Sor::rewrite(cut, edits, true).ok());
    QVERIFY(!Sor::rewrite("not a trace", edits, true).ok());
    Sor::Edits withNull;
    withNull.comment = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    const QByteArray sound = SorWriter::write(SorWriter::readerCase("version 1").trace);
    QVERIFY(Sor::rewrite(sound, withNull).error.contains("caractere nulo"));
}

// The value a field already holds changes nothing, even where the file's bytes are Latin-1.
void TestSorEdit::valuesThatChangeNothing()
{
    const QByteArray latin1
        = SorWriter::write(SorWriter::readerCase("a string that is not UTF-8").trace);
    Sor::Edits edits;
    edits.comment = Sor::read(latin1).general->comment;
    edits.cableId = Sor::read(latin1).general->cableId;
    const Sor::Rewritten r = Sor::rewrite(latin1, edits);
    QVERIFY(r.ok() && !r.changed);
    QVERIFY(r.bytes == latin1);
}

QTEST_GUILESS_MAIN(TestSorEdit)
#include "tst_soredit.moc"
