#include "archive/archive.h"

#include "sor/sortext.h"

#include <QJsonArray>

namespace Archive {

namespace {

QJsonValue number(const std::optional<double> &v)
{
    return v ? QJsonValue(*v) : QJsonValue();
}

QJsonValue text(const QString &s)
{
    return s.isEmpty() ? QJsonValue() : QJsonValue(s);
}

QString dateText(const Record &r)
{
    return r.date ? r.date->toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("—");
}

} // namespace

QJsonObject toJson(const Record &r)
{
    QJsonArray paths;
    for (const Place &p : r.places)
        paths.append(QJsonObject{{"host", p.host}, {"path", p.path}, {"gone", p.gone}});
    return QJsonObject{{"hash", r.hash},
                       {"paths", paths},
                       {"cable", text(r.cable)},
                       {"fiber", text(r.fiber)},
                       {"location_a", text(r.locationA)},
                       {"location_b", text(r.locationB)},
                       {"wavelength_nm", number(r.wavelengthNm)},
                       {"band_nm", r.bandNm > 0 ? QJsonValue(r.bandNm) : QJsonValue()},
                       {"pulse_ns", r.pulseNs},
                       {"range_m", number(r.rangeM)},
                       {"date", r.date ? QJsonValue(r.date->toString(Qt::ISODate)) : QJsonValue()},
                       {"condition", text(r.condition)},
                       {"maker", text(r.maker)},
                       {"model", text(r.model)},
                       {"serial", text(r.serial)},
                       {"length_m", number(r.lengthM)},
                       {"total_loss_db", number(r.totalLossDb)},
                       {"orl_db", number(r.orlDb)},
                       {"events", r.events},
                       {"checksum", r.checksum},
                       {"verdict", text(r.verdict)},
                       {"damaged", r.damaged},
                       {"problem", text(r.problem)},
                       {"gone", r.gone()}};
}

QString table(const QVector<Record> &records)
{
    QString out = QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9  %10\n")
                      .arg(QStringLiteral("Data"), -16)
                      .arg(QStringLiteral("Cabo"), -12)
                      .arg(QStringLiteral("Fibra"), -8)
                      .arg(QStringLiteral("Ponta A"), -12)
                      .arg(QStringLiteral("λ (nm)"), 6)
                      .arg(QStringLiteral("Cond."), -5)
                      .arg(QStringLiteral("Compr. (km)"), 11)
                      .arg(QStringLiteral("Perda (dB)"), 10)
                      .arg(QStringLiteral("Veredito"), -11)
                      .arg(QStringLiteral("Arquivo"));
    for (const Record &r : records) {
        QString state = r.verdict;
        if (r.damaged)
            state = QStringLiteral("danificado");
        QString where = r.path();
        if (r.gone())
            where += QStringLiteral(" (sumiu)");
        const int copies = int(r.places.size());
        if (copies > 1)
            where += QStringLiteral(" (+%1 cópia%2)").arg(copies - 1).arg(copies > 2 ? "s" : "");
        out += QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9  %10\n")
                   .arg(dateText(r), -16)
                   .arg(r.cable.isEmpty() ? QStringLiteral("—") : r.cable, -12)
                   .arg(r.fiber.isEmpty() ? QStringLiteral("—") : r.fiber, -8)
                   .arg(r.locationA.isEmpty() ? QStringLiteral("—") : r.locationA, -12)
                   .arg(r.bandNm > 0 ? QString::number(r.bandNm) : QStringLiteral("—"), 6)
                   .arg(r.condition.isEmpty() ? QStringLiteral("—") : r.condition, -5)
                   .arg(r.lengthM ? Sor::decimal(*r.lengthM / 1000, 3) : QStringLiteral("—"), 11)
                   .arg(Sor::optionalDecimal(r.totalLossDb, 3, QStringLiteral("—")), 10)
                   .arg(state.isEmpty() ? QStringLiteral("—") : state, -11)
                   .arg(where);
    }
    out += QStringLiteral("%1 traço%2\n").arg(records.size()).arg(records.size() == 1 ? "" : "s");
    return out;
}

QString csv(const QVector<Record> &records, const Sor::CsvStyle &style)
{
    const auto value = [&style](const std::optional<double> &v, int decimals) {
        return Sor::csvNumber(v, decimals, style);
    };
    QString out = Sor::csvRow({QStringLiteral("hash"),
                               QStringLiteral("date"),
                               QStringLiteral("cable"),
                               QStringLiteral("fiber"),
                               QStringLiteral("location_a"),
                               QStringLiteral("location_b"),
                               QStringLiteral("wavelength_nm"),
                               QStringLiteral("condition"),
                               QStringLiteral("maker"),
                               QStringLiteral("model"),
                               QStringLiteral("length_m"),
                               QStringLiteral("total_loss_db"),
                               QStringLiteral("orl_db"),
                               QStringLiteral("verdict"),
                               QStringLiteral("damaged"),
                               QStringLiteral("problem"),
                               QStringLiteral("gone"),
                               QStringLiteral("path")},
                              style)
                  + QLatin1Char('\n');
    for (const Record &r : records) {
        out += Sor::csvRow({r.hash,
                            r.date ? r.date->toString(Qt::ISODate) : QString(),
                            r.cable,
                            r.fiber,
                            r.locationA,
                            r.locationB,
                            value(r.wavelengthNm, 1),
                            r.condition,
                            r.maker,
                            r.model,
                            value(r.lengthM, 1),
                            value(r.totalLossDb, 3),
                            value(r.orlDb, 2),
                            r.verdict,
                            r.damaged ? QStringLiteral("1") : QStringLiteral("0"),
                            r.problem,
                            r.gone() ? QStringLiteral("1") : QStringLiteral("0"),
                            r.path()},
                           style)
               + QLatin1Char('\n');
    }
    return out;
}

} // namespace Archive
