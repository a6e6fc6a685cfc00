#include "acceptance/verdict.h"

#include "sor/sortext.h"

namespace Acceptance {

namespace {

// Marks a value against an upper (or, with atLeast, a lower) limit.
void check(const std::optional<double> &limit,
           const std::optional<double> &value,
           const QString &key,
           bool atLeast,
           QStringList &broken,
           QStringList &unknown)
{
    if (!limit)
        return;
    if (!value) {
        unknown << key;
        return;
    }
    if (atLeast ? *value < *limit : *value > *limit)
        broken << key;
}

Verdict combine(const QStringList &broken, const QStringList &unknown)
{
    return !broken.isEmpty()    ? Verdict::Fail
           : !unknown.isEmpty() ? Verdict::Unknown
                                : Verdict::Pass;
}

} // namespace

Link fileLink(const Sor::Trace &trace)
{
    Link link;
    link.damaged = trace.damaged();
    link.wavelengthNm = trace.wavelengthNm;
    if (!trace.keyEvents)
        return link;
    for (const Sor::Event &e : trace.keyEvents->events) {
        JudgedEvent j;
        j.number = e.number;
        j.distanceM = e.distanceM;
        j.end = e.code.size() > 1 && e.code.at(1) == QLatin1Char('E');
        j.reflective = e.reflective();
        j.lossDb = e.lossDb;
        j.reflectanceDb = e.measuredReflectanceDb();
        j.attenuationDbKm = e.attenuationDbPerKm;
        link.events.append(j);
        if (j.end)
            link.lengthM = e.distanceM;
    }
    const std::optional<double> total = trace.keyEvents->endToEndLossDb;
    const std::optional<double> orl = trace.keyEvents->opticalReturnLossDb;
    if (total && *total > 0)
        link.totalLossDb = total;
    if (orl && *orl > 0)
        link.orlDb = orl;
    return link;
}

Link analysedLink(const Sor::Trace &trace, const Analysis::Result &result)
{
    Link link;
    link.damaged = trace.damaged();
    link.wavelengthNm = trace.wavelengthNm;
    int number = 0;
    for (const Analysis::Event &e : result.events) {
        JudgedEvent j;
        j.number = ++number;
        j.distanceM = e.distanceM;
        j.end = e.type == Analysis::EventType::End;
        j.reflective = e.type == Analysis::EventType::Reflective;
        j.lossDb = e.lossDb;
        j.reflectanceDb = e.reflectanceDb;
        j.attenuationDbKm = e.attenuationDbKm;
        link.events.append(j);
    }
    link.totalLossDb = result.totalLossDb;
    link.orlDb = result.orlDb;
    link.lengthM = result.fiberEndM;
    return link;
}

Judgement judge(const Link &link, const Limits &limits)
{
    Judgement j;
    j.events = link.events;
    const std::optional<double> attenuation
        = link.wavelengthNm ? limits.attenuationFor(*link.wavelengthNm) : std::nullopt;
    QStringList allBroken;
    QStringList allUnknown;
    for (JudgedEvent &e : j.events) {
        if (!e.end) {
            check(e.reflective ? limits.connectorLossMaxDb : limits.spliceLossMaxDb,
                  e.lossDb,
                  e.reflective ? QStringLiteral("connector_loss_max_db")
                               : QStringLiteral("splice_loss_max_db"),
                  false,
                  e.broken,
                  e.unknown);
            if (e.reflective) {
                check(limits.reflectanceMaxDb,
                      e.reflectanceDb,
                      QStringLiteral("reflectance_max_db"),
                      false,
                      e.broken,
                      e.unknown);
            }
        }
        check(attenuation,
              e.attenuationDbKm,
              QStringLiteral("attenuation_max_db_km"),
              false,
              e.broken,
              e.unknown);
        e.verdict = combine(e.broken, e.unknown);
        allBroken << e.broken;
        allUnknown << e.unknown;
    }
    check(limits.totalLossMaxDb,
          link.totalLossDb,
          QStringLiteral("total_loss_max_db"),
          false,
          j.broken,
          j.unknown);
    check(limits.orlMinDb, link.orlDb, QStringLiteral("orl_min_db"), true, j.broken, j.unknown);
    check(
        limits.lengthMinM, link.lengthM, QStringLiteral("length_min_m"), true, j.broken, j.unknown);
    check(limits.lengthMaxM,
          link.lengthM,
          QStringLiteral("length_max_m"),
          false,
          j.broken,
          j.unknown);
    j.verdict = combine(j.broken + allBroken, j.unknown + allUnknown);
    // A damaged trace's figures cannot be trusted, whichever way they point.
    if (link.damaged) {
        j.unknown << Sor::damagedWord();
        j.verdict = Verdict::Unknown;
    }
    return j;
}

QString verdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return QStringLiteral("APROVADO");
    case Verdict::Fail:
        return QStringLiteral("REPROVADO");
    case Verdict::Unknown:
        return QStringLiteral("INDETERMINADO");
    }
    return QString();
}

QString limitText(const QString &key, const Limits &l, const std::optional<double> &wavelengthNm)
{
    const auto db = [](const std::optional<double> &v, int decimals, const char *unit) {
        return v ? Sor::decimal(*v, decimals) + QLatin1Char(' ') + QLatin1String(unit) : QString();
    };
    if (key == QLatin1String("splice_loss_max_db"))
        return QStringLiteral("perda de emenda máx. %1").arg(db(l.spliceLossMaxDb, 3, "dB"));
    if (key == QLatin1String("connector_loss_max_db"))
        return QStringLiteral("perda de conector máx. %1").arg(db(l.connectorLossMaxDb, 3, "dB"));
    if (key == QLatin1String("reflectance_max_db"))
        return QStringLiteral("reflectância máx. %1").arg(db(l.reflectanceMaxDb, 1, "dB"));
    if (key == QLatin1String("attenuation_max_db_km")) {
        return QStringLiteral("atenuação máx. %1")
            .arg(db(wavelengthNm ? l.attenuationFor(*wavelengthNm) : std::nullopt, 3, "dB/km"));
    }
    if (key == QLatin1String("total_loss_max_db"))
        return QStringLiteral("perda total máx. %1").arg(db(l.totalLossMaxDb, 3, "dB"));
    if (key == QLatin1String("orl_min_db"))
        return QStringLiteral("ORL mín. %1").arg(db(l.orlMinDb, 2, "dB"));
    if (key == QLatin1String("length_min_m"))
        return QStringLiteral("comprimento mín. %1").arg(db(l.lengthMinM, 1, "m"));
    if (key == QLatin1String("length_max_m"))
        return QStringLiteral("comprimento máx. %1").arg(db(l.lengthMaxM, 1, "m"));
    return key;
}

QStringList brokenLimitsText(const QStringList &keys,
                             const Limits &limits,
                             const std::optional<double> &wavelengthNm)
{
    QStringList texts;
    for (const QString &key : keys)
        texts << limitText(key, limits, wavelengthNm);
    return texts;
}

QString eventVerdictText(const JudgedEvent &event,
                         const Limits &limits,
                         const std::optional<double> &wavelengthNm)
{
    const QStringList broken = brokenLimitsText(event.broken, limits, wavelengthNm);
    return verdictWord(event.verdict)
           + (broken.isEmpty() ? QString()
                               : QStringLiteral(": ") + broken.join(QStringLiteral(", ")));
}

} // namespace Acceptance
