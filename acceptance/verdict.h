#pragma once

#include "acceptance/limits.h"
#include "analysis/analysis.h"
#include "sor/sortrace.h"

#include <QVector>

#include <optional>

// Whether a trace's events and the whole link keep within a client's limits.
namespace Acceptance {

enum class Verdict { Pass, Fail, Unknown };

// An event as it is judged: the file's own or the analysis'.
struct JudgedEvent
{
    int number = 0;
    double distanceM = 0;
    bool reflective = false;
    bool end = false;
    double lossDb = 0;
    std::optional<double> reflectanceDb; // measured; absent where none is given
    std::optional<double> attenuationDbKm;
    Verdict verdict = Verdict::Pass;
    QStringList broken;  // the limits it breaks ("splice_loss_max_db", …)
    QStringList unknown; // the checked values it does not give
};

// What a trace offers for judging: its events, and the link's figures where known.
struct Link
{
    QVector<JudgedEvent> events;
    std::optional<double> totalLossDb;
    std::optional<double> orlDb;
    std::optional<double> lengthM;
    std::optional<double> wavelengthNm;
    bool damaged = false;
};

// The file's own events and figures (a total loss or ORL stored as 0 is not given), or the
// analysis'.
Link fileLink(const Sor::Trace &trace);
Link analysedLink(const Sor::Trace &trace, const Analysis::Result &result);

struct Judgement
{
    Verdict verdict = Verdict::Pass;
    QVector<JudgedEvent> events; // each with its own verdict
    QStringList broken;          // the link's limits broken (total loss, ORL, length)
    QStringList unknown;         // the checked values not given, or "danificado"
};

// Unknown for a damaged trace; else fail when any checked value breaks its limit; else unknown
// when a checked value is not given; else pass. The fibre end is not an event to judge.
Judgement judge(const Link &link, const Limits &limits);

// "APROVADO", "REPROVADO", "INDETERMINADO"
QString verdictWord(Verdict verdict);
// A limit's key in the words of a report: "perda de emenda máx. 0,300 dB".
QString
limitText(const QString &key, const Limits &limits, const std::optional<double> &wavelengthNm);

// An event's verdict with the limits it breaks: "REPROVADO: perda de emenda máx. 0,300 dB".
QString eventVerdictText(const JudgedEvent &event,
                         const Limits &limits,
                         const std::optional<double> &wavelengthNm);
// The limits a whole link breaks, in words, joined by "; ".
QStringList brokenLimitsText(const QStringList &keys,
                             const Limits &limits,
                             const std::optional<double> &wavelengthNm);

} // namespace Acceptance
