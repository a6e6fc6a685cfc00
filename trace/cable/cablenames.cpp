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
    Facts f;
    QVector<QString> cables;
    QVector<QString> fromA;
    QVector<QString> fromB;
    QVector<QString> farA;
    quint32 first = 0;
    quint32 last = 0;
    QMap<int, QSet<int>> pulses;
    for (const File &file : job.files) {
        if (!file.problem.isEmpty() || file.repeated)
            continue;
        const Sor::Trace &t = file.trace;
        if (!file.cable.isEmpty())
            cables << file.cable;
        if (t.general) {
            const QString here = t.general->locationA.trimmed();
            const QString there = t.general->locationB.trimmed();
            if (file.end == QLatin1Char('A')) {
                if (!here.isEmpty())
                    fromA << here;
                if (!there.isEmpty())
                    farA << there;
            } else if (!here.isEmpty()) {
                fromB << here;
            }
        }
        if (t.fixed && t.fixed->dateTime > 0) {
            first = first == 0 ? t.fixed->dateTime : std::min(first, t.fixed->dateTime);
            last = std::max(last, t.fixed->dateTime);
        }
        if (t.fixed) {
            for (int pulse : t.fixed->pulseWidthsNs)
                pulses[file.bandNm].insert(pulse);
        }
        if (t.supplier) {
            QStringList name;
            for (const QString &part : {t.supplier->supplier, t.supplier->mainframe}) {
                if (!part.trimmed().isEmpty())
                    name << part.trimmed();
            }
            QString instrument = name.join(QLatin1Char(' '));
            if (!t.supplier->mainframeSerial.trimmed().isEmpty())
                instrument
                    += QStringLiteral(", série %1").arg(t.supplier->mainframeSerial.trimmed());
            if (!instrument.isEmpty() && !f.instruments.contains(instrument))
                f.instruments << instrument;
        }
    }
    f.cable = cables.isEmpty() ? QString() : mostCommon(cables);
    f.locationA = fromA.isEmpty() ? QString() : mostCommon(fromA);
    // The far end as A's files name it; B's own place where they name none.
    f.locationB = !farA.isEmpty()   ? mostCommon(farA)
                  : fromB.isEmpty() ? QString()
                                    : mostCommon(fromB);
    if (first > 0)
        f.dates = dayText(first) == dayText(last)
                      ? dayText(first)
                      : QStringLiteral("de %1 a %2").arg(dayText(first), dayText(last));
    for (int band : job.bands) {
        QList<int> widths = pulses.value(band).values();
        std::sort(widths.begin(), widths.end());
        QStringList said;
        for (int w : widths)
            said << QStringLiteral("%1 ns").arg(w);
        f.bands << (said.isEmpty() ? QStringLiteral("%1 nm").arg(band)
                                   : QStringLiteral("%1 nm, %2 %3")
                                         .arg(band)
                                         .arg(said.size() > 1 ? QStringLiteral("pulsos")
                                                              : QStringLiteral("pulso"))
                                         .arg(said.join(QStringLiteral(" e "))));
    }
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
