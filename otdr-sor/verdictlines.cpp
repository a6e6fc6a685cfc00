#include "verdictlines.h"

#include "sor/sortext.h"

#include <QTextStream>

int printVerdict(const Sor::Trace &trace, const Acceptance::Limits &limits, QTextStream &out)
{
    Sor::Trace withEvents = trace;
    const Acceptance::Judgement j = Acceptance::judge(Acceptance::eventsLink(withEvents), limits);
    QStringList reasons;
    const auto texts = [&](const QStringList &keys) {
        QStringList said;
        for (const QString &key : keys)
            said << Acceptance::limitText(key, limits, trace.wavelengthNm);
        return said;
    };
    for (const Acceptance::JudgedEvent &e : j.events) {
        if (!e.broken.isEmpty()) {
            reasons << QStringLiteral("evento %1 (%2): %3")
                           .arg(e.number)
                           .arg(Sor::kilometres(e.distanceM),
                                texts(e.broken).join(QStringLiteral(", ")));
        }
    }
    for (const QString &text : texts(j.broken))
        reasons << text;
    if (j.verdict == Acceptance::Verdict::Unknown) {
        QStringList missing;
        for (const Acceptance::JudgedEvent &e : j.events)
            missing << e.unknown;
        missing << j.unknown;
        missing.removeDuplicates();
        for (QString &key : missing) {
            if (key != Sor::damagedWord())
                key = Acceptance::limitText(key, limits, trace.wavelengthNm)
                      + QStringLiteral(" (sem valor)");
        }
        reasons = missing;
    }
    out << QStringLiteral("  veredito (%1): %2")
               .arg(limits.name, Acceptance::verdictWord(j.verdict))
        << (reasons.isEmpty() ? QString()
                              : QStringLiteral(": ") + reasons.join(QStringLiteral("; ")))
        << "\n";
    // Nothing asked of a trace is nothing it fails.
    return j.verdict == Acceptance::Verdict::Pass || j.verdict == Acceptance::Verdict::NoLimits ? 0
                                                                                                : 1;
}
