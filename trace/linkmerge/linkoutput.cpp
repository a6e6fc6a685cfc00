#include "linkmerge/linkoutput.h"

#include "acceptance/verdict.h"
#include "linkmerge/splitters.h"
#include "sor/sorjson.h"
#include "sor/sortable.h"
#include "sor/sortext.h"

#include <QJsonArray>
#include <QTextStream>

namespace LinkMerge {

namespace {

QString shotName(const Link &link, int shot)
{
    return shot >= 0 && shot < link.shots.size() ? link.shots.at(shot).name : QString();
}

// An event's value in one band: a row of the CSV, and in JSON one of the event's bands.
struct BandRow
{
    const Link &link;
    int index;
    const LinkEvent &event;
    const BandValue &value;
};

using Sor::TableCell;

Sor::TableColumn<BandRow> column(const QString &csvKey,
                                 const QString &jsonKey,
                                 std::function<TableCell(const BandRow &)> cell)
{
    Sor::TableColumn<BandRow> c;
    c.csvKey = csvKey;
    c.jsonKey = jsonKey;
    c.cell = std::move(cell);
    return c;
}

// The CSV names its columns in Portuguese; JSON names the band's own in English and says the
// event's once, in the event.
const Sor::TableColumns<BandRow> &bandColumns()
{
    static const Sor::TableColumns<BandRow> columns{
        column(QStringLiteral("evento"),
               QString(),
               [](const BandRow &r) { return TableCell::ofWhole(r.index + 1); }),
        column(QStringLiteral("distancia_km"),
               QString(),
               [](const BandRow &r) { return TableCell::ofNumber(r.event.distanceM / 1000.0, 4); }),
        column(QStringLiteral("tipo"),
               QString(),
               [](const BandRow &r) { return TableCell::ofText(kindName(r.event.kind)); }),
        column(QStringLiteral("divisor"),
               QString(),
               [](const BandRow &r) {
                   return TableCell::ofText(r.event.splitterWays ? ratioText(*r.event.splitterWays)
                                                                 : QString());
               }),
        column(QStringLiteral("comprimento_onda_nm"),
               QStringLiteral("band_nm"),
               [](const BandRow &r) { return TableCell::ofWhole(r.value.band); }),
        column(QStringLiteral("perda_db"),
               QStringLiteral("loss_db"),
               [](const BandRow &r) { return TableCell::ofNumber(r.value.lossDb, 3); }),
        column(QStringLiteral("refletancia_db"),
               QStringLiteral("reflectance_db"),
               [](const BandRow &r) { return TableCell::ofNumber(r.value.reflectanceDb, 2); }),
        column(QStringLiteral("medido_por"),
               QStringLiteral("from"),
               [](const BandRow &r) { return TableCell::ofText(shotName(r.link, r.value.shot)); }),
        column(QStringLiteral("curvatura"),
               QString(),
               [](const BandRow &r) {
                   return TableCell::ofText(r.event.bend ? QStringLiteral("sim")
                                                         : QStringLiteral("não"));
               }),
        column(QStringLiteral("veredito"), QString(), [](const BandRow &r) {
            return TableCell::ofText(Acceptance::verdictWord(r.event.verdict));
        })};
    return columns;
}

} // namespace

QString sourceText(const Link &link, int shot)
{
    if (shot < 0 || shot >= link.shots.size())
        return QStringLiteral("—");
    return shotText(link.shots.at(shot));
}

namespace {

// An event's row of the link's table.
QString eventLine(const Link &link, const LinkEvent &e, int i)
{
    QString line = QStringLiteral("  ") + QString::number(i + 1).leftJustified(4)
                   + Sor::decimal(e.distanceM / 1000.0, 4).rightJustified(14) + QStringLiteral("  ")
                   + kindText(e).leftJustified(16);
    for (int band : link.bands) {
        const BandValue *v = e.valueAt(band);
        const QString loss = e.kind == Kind::Launch || e.kind == Kind::End
                                 ? QString()
                                 : (v ? Sor::optionalDecimal(v->lossDb) : QStringLiteral("—"));
        line += loss.rightJustified(QStringLiteral("Perda %1 (dB)").arg(band).size())
                + QStringLiteral("  ");
    }
    line += Sor::optionalDecimal(e.reflectanceDb(), 2).rightJustified(16) + QStringLiteral("  ");
    // The launch is judged only by a reflectance limit: without one, no verdict of its own.
    QString verdict = e.kind == Kind::Launch && e.verdict == Acceptance::Verdict::NoLimits
                          ? QStringLiteral("—")
                          : Acceptance::verdictWord(e.verdict);
    if (e.bend)
        verdict += QStringLiteral(" curvatura");
    line += verdict.leftJustified(20) + QLatin1Char(' ');
    line += sourceText(link, e.placeShot);
    return line.trimmed().prepend(QStringLiteral("  "));
}

// The sections between events and their attenuation in each band.
void printSections(const Link &link, QTextStream &out)
{
    out << QStringLiteral("Trechos:\n");
    for (int i = 0; i < link.sections.size(); ++i) {
        const Section &s = link.sections.at(i);
        QStringList att;
        for (const auto &a : s.attenuationDbKm)
            att << QStringLiteral("%1 dB/km em %2 nm")
                       .arg(a.second ? Sor::decimal(*a.second, 3) : QStringLiteral("—"))
                       .arg(a.first);
        out << QStringLiteral("  %1 → %2: %3; %4\n")
                   .arg(i + 1)
                   .arg(i + 2)
                   .arg(Sor::kilometres(s.toM - s.fromM), att.join(QStringLiteral(", ")));
    }
}

// The end, the totals, splitters and bends, what the shots disagree on, and the verdict.
void printEnd(const Link &link, QTextStream &out)
{
    QStringList totals;
    for (const BandTotal &t : link.totals)
        totals
            << QStringLiteral("%1 nm %2 dB").arg(t.band).arg(Sor::optionalDecimal(t.totalLossDb));
    out << QStringLiteral("Fim da fibra: %1 (%2)   Perda total: %3\n")
               .arg(link.endM ? Sor::kilometres(*link.endM) : QStringLiteral("não determinado"),
                    sourceText(link, link.endShot),
                    totals.join(QStringLiteral(", ")));
    out << QStringLiteral("Divisores: %1   Curvaturas: %2\n")
               .arg(link.splitters())
               .arg(link.bends());
    for (const LinkEvent &e : link.events) {
        if (!e.whyNoSplitter.isEmpty())
            out << QStringLiteral("Não é divisor, em %1: %2\n")
                       .arg(Sor::kilometres(e.distanceM), e.whyNoSplitter);
    }
    if (link.disagreements.isEmpty()) {
        out << QStringLiteral("Os traços concordam dentro da resolução de cada um.\n");
    } else {
        out << QStringLiteral("Divergências entre os traços (%1):\n")
                   .arg(link.disagreements.size());
        for (const Disagreement &d : link.disagreements)
            out << "  " << d.text << "\n";
    }
    for (const QString &n : link.notes)
        out << QStringLiteral("Nota: ") << n << "\n";
    out << QStringLiteral("Veredito: ") << Acceptance::verdictWord(link.verdict) << "\n";
    for (const QString &r : link.reasons)
        out << "  " << r << "\n";
}

} // namespace

void printLink(const Link &link, QTextStream &out)
{
    out << (link.shots.size() == 1
                ? QStringLiteral("Enlace de 1 traço:\n")
                : QStringLiteral("Enlace de %1 traços:\n").arg(link.shots.size()));
    for (const Shot &s : link.shots) {
        out << QStringLiteral("  %1: %2, %3 ns, resolução %4 m, alcance %5%6\n")
                   .arg(s.name,
                        Sor::wavelengthText(s.wavelengthNm),
                        QString::number(s.pulseNs),
                        Sor::decimal(s.resolutionM, 1),
                        Sor::kilometres(s.reachM),
                        s.endFound ? QStringLiteral(" (fim)") : QStringLiteral(" (cai no ruído)"));
    }
    QString header = QStringLiteral("  Nº  Distância (km)  Tipo            ");
    for (int band : link.bands)
        header += QStringLiteral("Perda %1 (dB)  ").arg(band);
    header += QStringLiteral("Refletância (dB)  Veredito             Medido por");
    out << header << "\n";
    for (int i = 0; i < link.events.size(); ++i)
        out << eventLine(link, link.events.at(i), i) << "\n";
    printSections(link, out);
    printEnd(link, out);
}

namespace {

QJsonObject eventJson(const Link &link, const LinkEvent &e, int i)
{
    QJsonObject je{{QStringLiteral("number"), i + 1},
                   {QStringLiteral("distance_m"), e.distanceM},
                   {QStringLiteral("type"), kindName(e.kind)},
                   {QStringLiteral("reflective"), e.reflective},
                   {QStringLiteral("place_from"), shotName(link, e.placeShot)},
                   {QStringLiteral("bend"), e.bend},
                   {QStringLiteral("verdict"), Acceptance::verdictWord(e.verdict)}};
    je[QStringLiteral("splitter_ratio")]
        = e.splitterWays ? QJsonValue(ratioText(*e.splitterWays)) : QJsonValue(QJsonValue::Null);
    if (!e.whyNoSplitter.isEmpty())
        je[QStringLiteral("not_splitter")] = e.whyNoSplitter;
    QJsonArray values;
    for (const BandValue &v : e.bands)
        values.append(Sor::jsonObject(bandColumns(), BandRow{link, i, e, v}));
    je[QStringLiteral("bands")] = values;
    QJsonArray seen;
    for (const Reading &r : e.readings)
        seen.append(shotName(link, r.shot));
    je[QStringLiteral("seen_by")] = seen;
    je[QStringLiteral("reasons")] = QJsonArray::fromStringList(e.reasons);
    return je;
}

QJsonObject sectionJson(const Link &link, const Section &s)
{
    QJsonArray att;
    for (int k = 0; k < s.attenuationDbKm.size(); ++k)
        att.append(QJsonObject{
            {QStringLiteral("band_nm"), s.attenuationDbKm.at(k).first},
            {QStringLiteral("attenuation_db_km"), Sor::jsonNumber(s.attenuationDbKm.at(k).second)},
            {QStringLiteral("from"), shotName(link, s.shots.value(k, -1))}});
    return QJsonObject{{QStringLiteral("from_m"), s.fromM},
                       {QStringLiteral("to_m"), s.toM},
                       {QStringLiteral("length_m"), s.toM - s.fromM},
                       {QStringLiteral("bands"), att}};
}

} // namespace

QJsonObject toJson(const Link &link)
{
    QJsonObject o;
    QJsonArray shots;
    for (const Shot &s : link.shots) {
        shots.append(QJsonObject{{QStringLiteral("file"), s.name},
                                 {QStringLiteral("wavelength_nm"), s.wavelengthNm},
                                 {QStringLiteral("band_nm"), s.band},
                                 {QStringLiteral("pulse_ns"), s.pulseNs},
                                 {QStringLiteral("resolution_m"), s.resolutionM},
                                 {QStringLiteral("reach_m"), s.reachM},
                                 {QStringLiteral("end_found"), s.endFound}});
    }
    o[QStringLiteral("shots")] = shots;
    QJsonArray bands;
    for (int b : link.bands)
        bands.append(b);
    o[QStringLiteral("bands_nm")] = bands;
    QJsonArray events;
    for (int i = 0; i < link.events.size(); ++i)
        events.append(eventJson(link, link.events.at(i), i));
    o[QStringLiteral("events")] = events;
    QJsonArray sections;
    for (const Section &s : link.sections)
        sections.append(sectionJson(link, s));
    o[QStringLiteral("sections")] = sections;
    o[QStringLiteral("fiber_end_m")] = Sor::jsonNumber(link.endM);
    o[QStringLiteral("end_from")] = link.endShot >= 0 ? QJsonValue(shotName(link, link.endShot))
                                                      : QJsonValue(QJsonValue::Null);
    QJsonArray totals;
    for (const BandTotal &t : link.totals)
        totals.append(QJsonObject{
            {QStringLiteral("band_nm"), t.band},
            {QStringLiteral("from"),
             t.shot >= 0 ? QJsonValue(shotName(link, t.shot)) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("total_loss_db"), Sor::jsonNumber(t.totalLossDb)},
            {QStringLiteral("orl_db"), Sor::jsonNumber(t.orlDb)}});
    o[QStringLiteral("totals")] = totals;
    QJsonArray splitters;
    for (int i = 0; i < link.events.size(); ++i) {
        const LinkEvent &e = link.events.at(i);
        if (e.kind == Kind::Splitter)
            splitters.append(QJsonObject{{QStringLiteral("number"), i + 1},
                                         {QStringLiteral("distance_m"), e.distanceM},
                                         {QStringLiteral("ratio"), ratioText(*e.splitterWays)},
                                         {QStringLiteral("loss_db"), Sor::jsonNumber(e.lossDb())}});
    }
    o[QStringLiteral("splitters")] = splitters;
    QJsonArray disagreements;
    for (const Disagreement &d : link.disagreements)
        disagreements.append(QJsonObject{{QStringLiteral("distance_m"), d.distanceM},
                                         {QStringLiteral("text"), d.text}});
    o[QStringLiteral("disagreements")] = disagreements;
    o[QStringLiteral("notes")] = QJsonArray::fromStringList(link.notes);
    o[QStringLiteral("verdict")] = Acceptance::verdictWord(link.verdict);
    o[QStringLiteral("reasons")] = QJsonArray::fromStringList(link.reasons);
    return o;
}

QStringList csvLines(const Link &link, const Sor::CsvStyle &style)
{
    QStringList lines{Sor::csvHeading(bandColumns(), style)};
    for (int i = 0; i < link.events.size(); ++i) {
        const LinkEvent &e = link.events.at(i);
        for (const BandValue &v : e.bands)
            lines << Sor::csvLine(bandColumns(), BandRow{link, i, e, v}, style);
    }
    return lines;
}

} // namespace LinkMerge
