#include "cable/cableparts.h"

#include "sor/sortext.h"

#include <QDateTime>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Cable {

namespace {

// "emenda 3" and "trecho antes da emenda 3"; "conector C1" and "trecho antes do conector C1".
PlaceName closureName(const Closure &c)
{
    PlaceName n;
    n.kind = PlaceName::Closure;
    n.closure = c.number;
    n.flag = closureTitle(c);
    n.where = QStringLiteral("%1 %2").arg(closureKind(c), n.flag);
    n.section = c.connector ? QStringLiteral("trecho antes do %1").arg(n.where)
                            : QStringLiteral("trecho antes da %1").arg(n.where);
    return n;
}

PlaceName aloneName(int k, double atM)
{
    PlaceName n;
    n.kind = PlaceName::Alone;
    n.flag = QStringLiteral("x%1").arg(k);
    n.where = QStringLiteral("evento %1 (%2, fora das emendas)").arg(n.flag, Sor::kilometres(atM));
    n.section = QStringLiteral("trecho antes do evento %1").arg(n.flag);
    return n;
}

PlaceName endName()
{
    return {PlaceName::End,
            0,
            QStringLiteral("fim"),
            QStringLiteral("fim da fibra"),
            QStringLiteral("trecho antes do fim da fibra")};
}

QString dayText(quint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(QStringLiteral("dd/MM/yyyy"));
}

// What the usable files say of the cable, its two places, when and with what it was measured,
// gathered file by file.
struct Gathered
{
    QVector<QString> cables;
    QVector<QString> fromA; // where A's files were measured from
    QVector<QString> fromB;
    QVector<QString> farA; // the far place A's files name
    quint32 first = 0;
    quint32 last = 0;
    QMap<int, QSet<int>> pulses; // by band
    QStringList instruments;
};

// "maker model, série N", from the parts the file gives.
QString instrumentOf(const Sor::SupplierParameters &supplier)
{
    QStringList name;
    for (const QString &part : {supplier.supplier, supplier.mainframe}) {
        if (!part.trimmed().isEmpty())
            name << part.trimmed();
    }
    QString instrument = name.join(QLatin1Char(' '));
    if (!supplier.mainframeSerial.trimmed().isEmpty())
        instrument += QStringLiteral(", série %1").arg(supplier.mainframeSerial.trimmed());
    return instrument;
}

void gather(Gathered &g, const File &file)
{
    const Sor::Trace &t = file.trace;
    if (!file.cable.isEmpty())
        g.cables << file.cable;
    if (t.general) {
        const QString here = t.general->locationA.trimmed();
        const QString there = t.general->locationB.trimmed();
        if (file.end == QLatin1Char('A')) {
            if (!here.isEmpty())
                g.fromA << here;
            if (!there.isEmpty())
                g.farA << there;
        } else if (!here.isEmpty()) {
            g.fromB << here;
        }
    }
    if (t.fixed && t.fixed->dateTime > 0) {
        g.first = g.first == 0 ? t.fixed->dateTime : std::min(g.first, t.fixed->dateTime);
        g.last = std::max(g.last, t.fixed->dateTime);
    }
    if (t.fixed) {
        for (int pulse : t.fixed->pulseWidthsNs)
            g.pulses[file.bandNm].insert(pulse);
    }
    if (t.supplier) {
        const QString instrument = instrumentOf(*t.supplier);
        if (!instrument.isEmpty() && !g.instruments.contains(instrument))
            g.instruments << instrument;
    }
}

// "1550 nm, pulsos 100 ns e 500 ns"; the band alone where no file gives a pulse.
QString bandText(int band, const QSet<int> &pulses)
{
    QList<int> widths = pulses.values();
    std::sort(widths.begin(), widths.end());
    QStringList said;
    for (int w : widths)
        said << QStringLiteral("%1 ns").arg(w);
    return said.isEmpty()
               ? QStringLiteral("%1 nm").arg(band)
               : QStringLiteral("%1 nm, %2 %3")
                     .arg(band)
                     .arg(said.size() > 1 ? QStringLiteral("pulsos") : QStringLiteral("pulso"))
                     .arg(said.join(QStringLiteral(" e ")));
}

} // namespace

const Closure *closureNear(const Job &job, double scale, double atM)
{
    const Closure *best = nullptr;
    for (const Closure &c : job.closures) {
        const double off = std::abs(c.distanceM * scale - atM);
        if (off <= job.toleranceM && (!best || off < std::abs(best->distanceM * scale - atM)))
            best = &c;
    }
    return best;
}

void nameEvents(QVector<Acceptance::JudgedEvent> &events,
                const Job &job,
                double scale,
                const std::function<double(double)> &onA)
{
    // Along the fibre from A, whichever end's axis the events are on.
    QVector<int> order(events.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int x, int y) {
        return onA(events.at(x).distanceM) < onA(events.at(y).distanceM);
    });
    int alone = 0;
    for (int i : order) {
        Acceptance::JudgedEvent &e = events[i];
        const double atM = onA(e.distanceM);
        PlaceName name;
        if (e.end) {
            name = endName();
        } else if (const Closure *c = closureNear(job, scale, atM)) {
            name = closureName(*c);
            // Judged as its closure's kind: a connector's event by the connector's limits.
            if (c->connector)
                e.reflective = true;
        } else {
            name = aloneName(++alone, atM);
        }
        e.where = name.where;
        e.sectionWhere = name.section;
    }
}

PlaceName placeName(const Job &job, const Fibre &fibre, double atM, bool end)
{
    if (end)
        return endName();
    const double tolerance = job.toleranceM;
    const auto near = [&](const std::optional<Connector> &c) {
        return c && std::abs(c->distanceM - atM) <= tolerance;
    };
    if (near(fibre.launchConnector))
        return {PlaceName::Launch,
                0,
                QStringLiteral("L"),
                QStringLiteral("conector do cordão de lançamento"),
                QString()};
    if (near(fibre.receiveConnector))
        return {PlaceName::Receive,
                0,
                QStringLiteral("R"),
                QStringLiteral("conector do cordão de recepção"),
                QString()};
    if (near(fibre.frontA) || near(fibre.frontB))
        return {PlaceName::Front,
                0,
                QStringLiteral("F"),
                QStringLiteral("conector frontal do equipamento"),
                QString()};
    if (const Closure *c = closureNear(job, fibre.lengthScale, atM))
        return closureName(*c);
    // An event of this fibre alone, as its judged events number them along it.
    QVector<double> alone;
    for (const Acceptance::JudgedEvent &e : fibre.events) {
        if (!e.end && !closureNear(job, fibre.lengthScale, e.distanceM))
            alone << e.distanceM;
    }
    std::sort(alone.begin(), alone.end());
    for (int k = 0; k < alone.size(); ++k) {
        if (std::abs(alone.at(k) - atM) <= tolerance)
            return aloneName(k + 1, alone.at(k));
    }
    return {};
}

QString connectorVerdictText(const Connector &connector)
{
    return connector.judged ? Acceptance::verdictWord(connector.verdict)
                            : QStringLiteral("não julgado");
}

Facts facts(const Job &job)
{
    Gathered g;
    for (const File &file : job.files) {
        if (file.problem.isEmpty() && !file.repeated)
            gather(g, file);
    }
    Facts f;
    f.instruments = g.instruments;
    f.cable = g.cables.isEmpty() ? QString() : mostCommon(g.cables);
    f.locationA = g.fromA.isEmpty() ? QString() : mostCommon(g.fromA);
    // The far end as A's files name it; B's own place where they name none.
    f.locationB = !g.farA.isEmpty()   ? mostCommon(g.farA)
                  : g.fromB.isEmpty() ? QString()
                                      : mostCommon(g.fromB);
    if (g.first > 0)
        f.dates = dayText(g.first) == dayText(g.last)
                      ? dayText(g.first)
                      : QStringLiteral("de %1 a %2").arg(dayText(g.first), dayText(g.last));
    for (int band : job.bands)
        f.bands << bandText(band, g.pulses.value(band));
    return f;
}

QList<QPair<QString, QString>> factRows(const Facts &facts)
{
    return {
        {QStringLiteral("Medição"), facts.dates},
        {facts.instruments.size() > 1 ? QStringLiteral("Equipamentos")
                                      : QStringLiteral("Equipamento"),
         facts.instruments.join(QStringLiteral("; "))},
        {QStringLiteral("Ponta A"), facts.locationA},
        {QStringLiteral("Ponta B"), facts.locationB},
        {QStringLiteral("Comprimentos de onda e pulsos"), facts.bands.join(QStringLiteral("; "))}};
}

} // namespace Cable
