#include "acceptance/verdict.h"

#include "sor/sortext.h"

#include <cmath>

namespace Acceptance {

namespace {

// One checked value: what it is and where, in the words of a report.
struct Checked
{
    QString key;        // the limit's key
    QString what;       // "perda", "refletância", …
    QString unmeasured; // "perda não medida", "comprimento não medido", …
    QString where;      // "evento 3", "trecho antes do evento 3", "enlace"
    int decimals = 3;
    QString unit;
    std::optional<int> splitterWays; // the splitter's ratio a limit is for
};

// A limit's check at a place, in the words the limit's entry gives.
Checked checkedAt(const QString &key, const QString &where)
{
    const LimitKey &k = limitKey(key);
    return {k.json, k.quantity, k.unmeasured, where, k.valueDecimals, k.unit, std::nullopt};
}

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
    const QString limitWords = limitText(c.key, limits, wavelengthNm, c.splitterWays);
    if (!value) {
        unknown << c.key;
        reasons << QStringLiteral("%1: %2 (%3)").arg(c.where, c.unmeasured, limitWords);
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

} // namespace

QString JudgedEvent::whereText() const
{
    return where.isEmpty() ? QStringLiteral("evento %1").arg(number) : where;
}

QString JudgedEvent::sectionText() const
{
    return sectionWhere.isEmpty() ? QStringLiteral("trecho antes do evento %1").arg(number)
                                  : sectionWhere;
}

namespace {

// A damaged trace's figures cannot be trusted, whichever way they point.
void distrustDamaged(const Link &link, Judgement &j)
{
    if (!link.damaged)
        return;
    j.unknown << Sor::damagedWord();
    j.verdict = Verdict::Unknown;
    j.reasons
        << QStringLiteral("arquivo %1: seus valores não são confiáveis").arg(Sor::damagedWord());
}

// The limit a splitter of its ratio keeps, where the limits set one.
std::optional<double> splitterLimit(const Limits &limits, int ways)
{
    return limits.splitterLossMaxDb.contains(ways)
               ? std::optional<double>(limits.splitterLossMaxDb.value(ways))
               : std::nullopt;
}

// Every upper limit of one event: its loss (as a splitter's, a connector's or a splice's), its
// reflectance and the attenuation of the section before it. Its reasons join the trace's; its
// margin is its own.
void judgeEvent(JudgedEvent &e,
                const Limits &limits,
                const std::optional<double> &nm,
                const std::optional<double> &attenuation,
                QStringList &reasons)
{
    const QString where = e.whereText();
    Margin margin;
    const auto checkEvent = [&](const std::optional<double> &limit,
                                const std::optional<double> &value,
                                const Checked &c) {
        check(limit, value, c, false, limits, nm, e.broken, e.unknown, reasons, &margin);
    };
    if (!e.end && !e.marker && e.splitterWays) {
        Checked c = checkedAt(QStringLiteral("splitter_loss_max_db"), where);
        c.splitterWays = e.splitterWays;
        checkEvent(splitterLimit(limits, *e.splitterWays), e.lossDb, c);
    } else if (!e.end && !e.marker && !e.front) {
        checkEvent(e.reflective ? limits.connectorLossMaxDb : limits.spliceLossMaxDb,
                   e.lossDb,
                   checkedAt(e.reflective ? QStringLiteral("connector_loss_max_db")
                                          : QStringLiteral("splice_loss_max_db"),
                             where));
    }
    if (!e.end && !e.marker && e.reflective) {
        checkEvent(limits.reflectanceMaxDb,
                   e.reflectanceDb,
                   checkedAt(QStringLiteral("reflectance_max_db"), where));
    }
    if (!e.marker && !e.shortSection()) {
        checkEvent(attenuation,
                   e.attenuationDbKm,
                   checkedAt(QStringLiteral("attenuation_max_db_km"), e.sectionText()));
    }
    e.verdict = combine(e.broken, e.unknown);
    e.marginShare = margin.share;
    e.marginText = margin.text;
}

// The link's limits, each against its value, as the table says which way; how close the
// closest passing one came.
Margin judgeLinkValues(const Link &link, const Limits &limits, Judgement &j)
{
    Margin margin;
    const QList<QPair<QString, std::optional<double>>> linkValues{
        {QStringLiteral("total_loss_max_db"), link.totalLossDb},
        {QStringLiteral("orl_min_db"), link.orlDb},
        {QStringLiteral("length_min_m"), link.lengthM},
        {QStringLiteral("length_max_m"), link.lengthM}};
    for (const auto &v : linkValues) {
        const LimitKey &k = limitKey(v.first);
        check(limits.*k.member,
              v.second,
              checkedAt(k.json, QStringLiteral("enlace")),
              k.atLeast,
              limits,
              link.wavelengthNm,
              j.broken,
              j.unknown,
              j.reasons,
              &margin);
    }
    return margin;
}

// What passed within a tenth of its limit: the link's first, then each event's.
void noteAttention(const Margin &linkMargin, Judgement &j)
{
    if (linkMargin.share && *linkMargin.share <= JudgedEvent::AttentionShare)
        j.attention << QStringLiteral("enlace: a %1 do limite").arg(linkMargin.text);
    for (const JudgedEvent &e : j.events) {
        if (e.attention())
            j.attention << QStringLiteral("%1: a %2 do limite").arg(e.whereText(), e.marginText);
    }
}

// A fibre whose end is not known, or a trace that gives nothing to judge, passes nothing.
void refuseUnjudgeable(const Link &link, Judgement &j)
{
    if (!link.undetermined.isEmpty() && j.verdict != Verdict::Fail) {
        j.verdict = Verdict::Unknown;
        j.reasons << link.undetermined;
    }
    const bool nothing = link.events.isEmpty() && !link.lengthM && !link.totalLossDb;
    if (nothing && j.verdict != Verdict::Fail) {
        j.verdict = Verdict::Unknown;
        j.reasons << QStringLiteral("enlace: o traço não traz eventos, comprimento nem perda");
    }
}

} // namespace

Judgement judge(const Link &link, const Limits &limits)
{
    Judgement j;
    j.events = link.events;
    if (!limits.checksAnything()) {
        for (JudgedEvent &e : j.events)
            e.verdict = Verdict::NoLimits;
        j.verdict = Verdict::NoLimits;
        distrustDamaged(link, j);
        return j;
    }
    const std::optional<double> attenuation
        = link.wavelengthNm ? limits.attenuationFor(*link.wavelengthNm) : std::nullopt;
    QStringList eventsBroken;
    QStringList eventsUnknown;
    for (JudgedEvent &e : j.events) {
        if (e.pastEnd) {
            e.verdict = Verdict::Pass;
            continue;
        }
        judgeEvent(e, limits, link.wavelengthNm, attenuation, j.reasons);
        eventsBroken << e.broken;
        eventsUnknown << e.unknown;
    }
    const Margin linkMargin = judgeLinkValues(link, limits, j);
    j.verdict = combine(j.broken + eventsBroken, j.unknown + eventsUnknown);
    noteAttention(linkMargin, j);
    refuseUnjudgeable(link, j);
    distrustDamaged(link, j);
    return j;
}

} // namespace Acceptance
