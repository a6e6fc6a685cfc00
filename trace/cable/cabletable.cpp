#include "cable/cabletable.h"

#include <cmath>

namespace Cable {

namespace {

using Sor::TableCell;

template<typename Row>
Sor::TableColumn<Row> shownColumn(const QString &heading,
                                  const QString &sheetHeading,
                                  int width,
                                  std::function<TableCell(const Row &)> cell)
{
    Sor::TableColumn<Row> c;
    c.heading = heading;
    c.sheetHeading = sheetHeading;
    c.width = width;
    c.cell = std::move(cell);
    return c;
}

// A measure written to the thousandth, as every loss of the job is.
template<typename Row>
Sor::TableColumn<Row> measure(const QString &key, std::optional<double> Row::*field)
{
    return Sor::keyedColumn<Row>(
        key, [field](const Row &r) { return TableCell::ofNumber(r.*field, 3); });
}

template<typename Row>
Sor::TableColumn<Row>
alsoShown(Sor::TableColumn<Row> c, const QString &heading, const QString &sheetHeading, int width)
{
    c.heading = heading;
    c.sheetHeading = sheetHeading;
    c.width = width;
    return c;
}

} // namespace

Sor::TableColumns<Fibre> fibreColumns(bool withBaseline)
{
    using Column = Sor::TableColumn<Fibre>;
    Column fiber = Sor::keyedColumn<Fibre>(
        QStringLiteral("fiber"), [](const Fibre &f) { return TableCell::ofText(f.fiber); });
    Column cable = Sor::keyedColumn<Fibre>(
        QStringLiteral("cable"), [](const Fibre &f) { return TableCell::ofText(f.cable); });
    cable.sheetHeading = QStringLiteral("Cabo");
    // People read the length in kilometres; programs get the metres.
    const Column kilometres = shownColumn<Fibre>(
        QStringLiteral("Compr. (km)"), QStringLiteral("Comprimento (km)"), 12, [](const Fibre &f) {
            return TableCell::ofNumber(
                f.lengthM ? std::optional<double>(*f.lengthM / 1000) : std::nullopt, 3);
        });
    Column orl = Sor::keyedColumn<Fibre>(
        QStringLiteral("orl_db"), [](const Fibre &f) { return TableCell::ofNumber(f.orlDb, 2); });
    Column bends = Sor::keyedColumn<Fibre>(QStringLiteral("bends"), [](const Fibre &f) {
        // One band: no bend could be checked.
        TableCell c = TableCell::ofWhole(f.bends);
        c.none = QStringLiteral("—");
        return c;
    });
    Column verdict = Sor::keyedColumn<Fibre>(QStringLiteral("verdict"), [](const Fibre &f) {
        return TableCell::ofText(Acceptance::verdictWord(f.verdict));
    });
    // One text here; JSON gives the list.
    Column files = shownColumn<Fibre>(
        QStringLiteral("Arquivos"), QStringLiteral("Arquivos"), 0, [](const Fibre &f) {
            return TableCell::ofText(f.files.join(QStringLiteral(", ")));
        });
    files.gap = 2;
    Sor::TableColumns<Fibre> columns{
        alsoShown(fiber, QStringLiteral("Fibra"), QStringLiteral("Fibra"), -12),
        cable,
        kilometres,
        measure(QStringLiteral("length_m"), &Fibre::lengthM),
        alsoShown(measure(QStringLiteral("total_loss_db"), &Fibre::totalLossDb),
                  QStringLiteral("Perda (dB)"),
                  QStringLiteral("Perda total (dB)"),
                  11),
        alsoShown(orl, QStringLiteral("ORL (dB)"), QStringLiteral("ORL (dB)"), 9),
        alsoShown(bends, QStringLiteral("Curv."), QStringLiteral("Curvaturas"), 6),
        alsoShown(verdict, QStringLiteral("Veredito"), QStringLiteral("Veredito"), -13),
        files};
    if (withBaseline) {
        columns << measure(QStringLiteral("baseline_length_m"), &Fibre::baselineLengthM)
                << measure(QStringLiteral("baseline_total_loss_db"), &Fibre::baselineLossDb);
    }
    return columns;
}

namespace {

Sor::TableColumn<Cell> text(const QString &key, const std::function<QString(const Cell &)> &text)
{
    return Sor::keyedColumn<Cell>(key,
                                  [text](const Cell &c) { return TableCell::ofText(text(c)); });
}

// A column JSON has and the CSV leaves out: what only a program looks into.
Sor::TableColumn<Cell> notInCsv(Sor::TableColumn<Cell> c)
{
    c.csvKey.clear();
    return c;
}

Sor::TableColumn<Cell> sheetOnly(const QString &heading,
                                 std::function<TableCell(const Cell &)> cell)
{
    Sor::TableColumn<Cell> c;
    c.sheetHeading = heading;
    c.cell = std::move(cell);
    return c;
}

Sor::TableColumn<Cell> onSheet(Sor::TableColumn<Cell> c, const QString &heading)
{
    c.sheetHeading = heading;
    return c;
}

// Against a baseline: each cell then, now and its change, red where it moved by the
// threshold or more.
Sor::TableColumns<Cell> sinceBaseline(double thresholdDb)
{
    const auto change = [thresholdDb](const Cell &c) {
        TableCell t = TableCell::ofNumber(c.changeDb, 3);
        t.alarm = c.changeDb && std::abs(*c.changeDb) >= thresholdDb - 1e-9;
        return t;
    };
    // The value compared: the mean, or the one end both jobs measured.
    const auto now = [](const Cell &c) {
        return TableCell::ofNumber(c.baselineDb && c.changeDb
                                       ? std::optional<double>(*c.baselineDb + *c.changeDb)
                                       : c.lossDb,
                                   3);
    };
    return {onSheet(measure(QStringLiteral("baseline_db"), &Cell::baselineDb),
                    QStringLiteral("Base (dB)")),
            sheetOnly(QStringLiteral("Agora (dB)"), now),
            onSheet(Sor::keyedColumn<Cell>(QStringLiteral("change_db"), change),
                    QStringLiteral("Mudança (dB)"))};
}

} // namespace

Sor::TableColumns<Cell> cellColumns(const Job &job)
{
    const auto whole = [](const QString &key, int Cell::*field) {
        return Sor::keyedColumn<Cell>(
            key, [field](const Cell &c) { return TableCell::ofWhole(c.*field); });
    };
    Sor::TableColumn<Cell> distance
        = Sor::keyedColumn<Cell>(QStringLiteral("distance_m"), [&job](const Cell &c) {
              return TableCell::ofNumber(job.closures.value(c.closure - 1).distanceM, 1);
          });
    distance.jsonKey.clear();
    Sor::TableColumns<Cell> columns{
        onSheet(text(QStringLiteral("fiber"), [](const Cell &c) { return c.fiber; }),
                QStringLiteral("Fibra")),
        onSheet(whole(QStringLiteral("wavelength_nm"), &Cell::bandNm), QStringLiteral("λ (nm)")),
        whole(QStringLiteral("closure"), &Cell::closure),
        sheetOnly(QStringLiteral("Emenda"),
                  [&job](const Cell &c) {
                      return TableCell::ofText(closureTitle(job.closures.value(c.closure - 1)));
                  }),
        distance,
        measure(QStringLiteral("loss_ab_db"), &Cell::lossAbDb),
        measure(QStringLiteral("loss_ba_db"), &Cell::lossBaDb),
        measure(QStringLiteral("loss_db"), &Cell::lossDb),
        notInCsv(Sor::keyedColumn<Cell>(
            QStringLiteral("reflectance_db"),
            [](const Cell &c) { return TableCell::ofNumber(c.reflectanceDb, 2); })),
        text(QStringLiteral("how_ab"), [](const Cell &c) { return howKey(c.howAb); }),
        text(QStringLiteral("how_ba"), [](const Cell &c) { return howKey(c.howBa); }),
        notInCsv(Sor::keyedColumn<Cell>(
            QStringLiteral("why_ab"),
            [](const Cell &c) { return TableCell::ofOptionalText(c.whyAb); })),
        notInCsv(Sor::keyedColumn<Cell>(
            QStringLiteral("why_ba"),
            [](const Cell &c) { return TableCell::ofOptionalText(c.whyBa); })),
        text(QStringLiteral("verdict"),
             [](const Cell &c) { return Acceptance::verdictWord(c.verdict); })};
    if (job.baseline)
        columns << sinceBaseline(job.baseline->thresholdDb);
    return columns;
}

bool measuredOnPoints(const Cell &cell)
{
    return cell.howAb == How::Measured || cell.howBa == How::Measured;
}

} // namespace Cable
