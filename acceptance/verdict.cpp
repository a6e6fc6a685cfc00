#include "acceptance/verdict.h"

#include "sor/sortext.h"

#include <iterator>

namespace Acceptance {

namespace {

// One checked value: what it is and where, in the words of a report.
struct Checked
{
    QString key;   // the limit's key
    QString what;  // "perda", "reflectância", …
    QString where; // "evento 3", "trecho antes do evento 3", "enlace"
    int decimals = 3;
    QString unit;
};

// How close a passing value came to its limit: kept where it is the closest yet.
struct Margin
{
    std::optional<double> share;
    QString text;
};

// Marks a value against an upper (or, with atLeast, a lower) limit; a value exactly at its
// limit keeps it. Each failure or missing value says why; a pass says how close it came.
void check(const std::optional<double> &limit,
           const std::optional<double> &value,
           const Checked &c,
           bool atLeast,
           const Limits &limits,
           const std::optional<double> &wavelengthNm,
           QStringList &broken,
           QStringList &unknown,
           QStringList &reasons,
           Margin *margin = nullptr)
{
    if (!limit)
        return;
    const QString limitWords = limitText(c.key, limits, wavelengthNm);
    if (!value) {
        unknown << c.key;
        reasons << QStringLiteral("%1: %2 não medida (%3)").arg(c.where, c.what, limitWords);
        return;
    }
    const double room = atLeast ? *value - *limit : *limit - *value;
    if (room >= 0 && margin) {
        const double share = std::abs(*limit) > 0 ? room / std::abs(*limit) : room;
        if (!margin->share || share < *margin->share) {
            margin->share = share;
            margin->text = Sor::decimal(room, c.decimals) + QLatin1Char(' ') + c.unit;
        }
    }
    if (atLeast ? *value < *limit : *value > *limit) {
        broken << c.key;
        reasons << QStringLiteral("%1: %2 %3 %4 %5 (%6)")
                       .arg(c.where,
                            c.what,
                            Sor::decimal(*value, c.decimals),
                            c.unit,
                            atLeast ? QStringLiteral("abaixo do limite")
                                    : QStringLiteral("acima do limite"),
                            limitWords);
    }
}

Verdict combine(const QStringList &broken, const QStringList &unknown)
{
    return !broken.isEmpty()    ? Verdict::Fail
           : !unknown.isEmpty() ? Verdict::Unknown
                                : Verdict::Pass;
}

// Each section's length: from the event before (or the span's start) to this one.
void measureSections(QVector<JudgedEvent> &events)
{
    double from = 0;
    for (JudgedEvent &e : events) {
        e.sectionM = std::max(0.0, e.distanceM - from);
        from = std::max(from, e.distanceM);
    }
}

// Past the fibre's end nothing is judged.
void markPastEnd(QVector<JudgedEvent> &events)
{
    std::optional<double> end;
    for (const JudgedEvent &e : events) {
        if (e.end && !end)
            end = e.distanceM;
    }
    for (JudgedEvent &e : events)
        e.pastEnd = end && !e.end && e.distanceM > *end;
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
        const QChar mode = e.mode();
        JudgedEvent j;
        j.number = e.number;
        j.distanceM = e.distanceM;
        j.end = mode == QLatin1Char('E');
        j.marker = e.outOfRange();
        j.reflective = e.reflective();
        // A marker the user added, or one past the range, stores no measurement: a loss of 0
        // there is none, and an out-of-range marker measures no loss at all.
        if (!j.marker && !(mode == QLatin1Char('A') && e.lossDb == 0))
            j.lossDb = e.lossDb;
        j.reflectanceDb = e.measuredReflectanceDb();
        // A coefficient of 0 or below is no attenuation a fibre has: not measured.
        if (e.attenuationDbPerKm > 0)
            j.attenuationDbKm = e.attenuationDbPerKm;
        link.events.append(j);
        if (j.end && !link.lengthM)
            link.lengthM = e.distanceM;
    }
    measureSections(link.events);
    markPastEnd(link.events);
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
        if (e.lossMeasured)
            j.lossDb = e.lossDb;
        j.reflectanceDb = e.reflectanceDb;
        if (e.attenuationDbKm && *e.attenuationDbKm > 0)
            j.attenuationDbKm = e.attenuationDbKm;
        link.events.append(j);
    }
    measureSections(link.events);
    link.totalLossDb = result.totalLossDb;
    link.orlDb = result.orlDb;
    link.lengthM = result.fiberEndM;
    return link;
}

Judgement judge(const Link &link, const Limits &limits)
{
    Judgement j;
    j.events = link.events;
    // A damaged trace's figures cannot be trusted, whichever way they point.
    const QString untrusted
        = QStringLiteral("arquivo %1: seus valores não são confiáveis").arg(Sor::damagedWord());
    if (!limits.checksAnything()) {
        if (link.damaged) {
            j.unknown << Sor::damagedWord();
            j.verdict = Verdict::Unknown;
            j.reasons << untrusted;
        }
        for (JudgedEvent &e : j.events)
            e.verdict = Verdict::NoLimits;
        if (!link.damaged)
            j.verdict = Verdict::NoLimits;
        return j;
    }
    const std::optional<double> attenuation
        = link.wavelengthNm ? limits.attenuationFor(*link.wavelengthNm) : std::nullopt;
    const std::optional<double> &nm = link.wavelengthNm;
    QStringList allBroken;
    QStringList allUnknown;
    for (JudgedEvent &e : j.events) {
        if (e.pastEnd) {
            e.verdict = Verdict::Pass;
            continue;
        }
        const QString where = QStringLiteral("evento %1").arg(e.number);
        Margin margin;
        // Every upper limit of an event, its reasons on the trace's, its margin its own.
        const auto checkEvent = [&](const std::optional<double> &limit,
                                    const std::optional<double> &value,
                                    const Checked &c) {
            check(limit, value, c, false, limits, nm, e.broken, e.unknown, j.reasons, &margin);
        };
        if (!e.end && !e.marker) {
            checkEvent(e.reflective ? limits.connectorLossMaxDb : limits.spliceLossMaxDb,
                       e.lossDb,
                       {e.reflective ? QStringLiteral("connector_loss_max_db")
                                     : QStringLiteral("splice_loss_max_db"),
                        QStringLiteral("perda"),
                        where,
                        3,
                        QStringLiteral("dB")});
            if (e.reflective) {
                checkEvent(limits.reflectanceMaxDb,
                           e.reflectanceDb,
                           {QStringLiteral("reflectance_max_db"),
                            QStringLiteral("reflectância"),
                            where,
                            2,
                            QStringLiteral("dB")});
            }
        }
        if (!e.marker && !e.shortSection()) {
            checkEvent(attenuation,
                       e.attenuationDbKm,
                       {QStringLiteral("attenuation_max_db_km"),
                        QStringLiteral("atenuação"),
                        QStringLiteral("trecho antes do evento %1").arg(e.number),
                        3,
                        QStringLiteral("dB/km")});
        }
        e.verdict = combine(e.broken, e.unknown);
        e.marginShare = margin.share;
        e.marginText = margin.text;
        allBroken << e.broken;
        allUnknown << e.unknown;
    }
    const QString link_ = QStringLiteral("enlace");
    Margin linkMargin;
    const auto checkLink = [&](const std::optional<double> &limit,
                               const std::optional<double> &value,
                               const Checked &c,
                               bool atLeast) {
        check(limit, value, c, atLeast, limits, nm, j.broken, j.unknown, j.reasons, &linkMargin);
    };
    checkLink(limits.totalLossMaxDb,
              link.totalLossDb,
              {QStringLiteral("total_loss_max_db"), QStringLiteral("perda total"), link_, 3, "dB"},
              false);
    checkLink(limits.orlMinDb,
              link.orlDb,
              {QStringLiteral("orl_min_db"), QStringLiteral("ORL"), link_, 2, "dB"},
              true);
    checkLink(limits.lengthMinM,
              link.lengthM,
              {QStringLiteral("length_min_m"), QStringLiteral("comprimento"), link_, 1, "m"},
              true);
    checkLink(limits.lengthMaxM,
              link.lengthM,
              {QStringLiteral("length_max_m"), QStringLiteral("comprimento"), link_, 1, "m"},
              false);
    j.verdict = combine(j.broken + allBroken, j.unknown + allUnknown);
    if (linkMargin.share && *linkMargin.share <= JudgedEvent::AttentionShare)
        j.attention << QStringLiteral("enlace: a %1 do limite").arg(linkMargin.text);
    for (const JudgedEvent &e : j.events) {
        if (e.attention())
            j.attention
                << QStringLiteral("evento %1: a %2 do limite").arg(e.number).arg(e.marginText);
    }
    // A trace that gives nothing to judge passes nothing.
    const bool nothing = link.events.isEmpty() && !link.lengthM && !link.totalLossDb;
    if (nothing && j.verdict != Verdict::Fail) {
        j.verdict = Verdict::Unknown;
        j.reasons << QStringLiteral("enlace: o traço não traz eventos, comprimento nem perda");
    }
    // A damaged trace's figures cannot be trusted, whichever way they point.
    if (link.damaged) {
        j.unknown << Sor::damagedWord();
        j.verdict = Verdict::Unknown;
        j.reasons << untrusted;
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
    case Verdict::NoLimits:
        return QStringLiteral("SEM LIMITES");
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

QVector<LimitRow> limitRows(const Limits &l)
{
    QVector<LimitRow> rows;
    const QString keys[] = {QStringLiteral("splice_loss_max_db"),
                            QStringLiteral("connector_loss_max_db"),
                            QStringLiteral("reflectance_max_db"),
                            QStringLiteral("total_loss_max_db"),
                            QStringLiteral("orl_min_db"),
                            QStringLiteral("length_min_m"),
                            QStringLiteral("length_max_m")};
    const bool set[] = {bool(l.spliceLossMaxDb),
                        bool(l.connectorLossMaxDb),
                        bool(l.reflectanceMaxDb),
                        bool(l.totalLossMaxDb),
                        bool(l.orlMinDb),
                        bool(l.lengthMinM),
                        bool(l.lengthMaxM)};
    for (size_t k = 0; k < std::size(keys); ++k) {
        if (!set[k])
            continue;
        // The words of limitText: up to the value, then the value.
        const QString text = limitText(keys[k], l, std::nullopt);
        const int cut = text.indexOf(QLatin1String(". ")) + 1;
        rows.append({keys[k], text.left(cut), text.mid(cut + 1), std::nullopt});
    }
    for (auto it = l.attenuationMaxDbKm.cbegin(); it != l.attenuationMaxDbKm.cend(); ++it)
        rows.append({QStringLiteral("attenuation_max_db_km"),
                     QStringLiteral("atenuação máx."),
                     Sor::decimal(it.value(), 3) + QStringLiteral(" dB/km"),
                     it.key()});
    return rows;
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
    if (event.pastEnd)
        return QStringLiteral("após o fim");
    const QStringList broken = brokenLimitsText(event.broken, limits, wavelengthNm);
    if (!broken.isEmpty())
        return verdictWord(event.verdict) + QStringLiteral(": ")
               + broken.join(QStringLiteral(", "));
    const QStringList unknown = brokenLimitsText(event.unknown, limits, wavelengthNm);
    if (event.verdict == Verdict::Unknown && !unknown.isEmpty())
        return verdictWord(event.verdict) + QStringLiteral(": sem valor para ")
               + unknown.join(QStringLiteral(", "));
    return verdictWord(event.verdict);
}

} // namespace Acceptance
