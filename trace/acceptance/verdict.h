#pragma once

#include "acceptance/limits.h"
#include "analysis/analysis.h"
#include "sor/sortrace.h"

#include <QVector>

#include <optional>

// Whether a trace's events and the whole link keep within a client's limits.
namespace Acceptance {

// NoLimits: nothing was asked of the trace, so it neither passes nor fails.
enum class Verdict { Pass, Fail, Unknown, NoLimits };

// An event as it is judged: the file's own or the analysis'.
struct JudgedEvent
{
    int number = 0;
    double distanceM = 0;
    bool reflective = false;
    bool end = false;
    bool marker = false;                 // a marker past the measured range: never a splice
    bool pastEnd = false;                // beyond the fibre's end: shown, never judged
    // The instrument's own front connector as the analysis finds it: nothing lies before it,
    // so it has no loss to judge (its reflectance is judged).
    bool front = false;
    std::optional<double> lossDb;        // absent where none was measured
    bool lossMeasuredHere = false;       // on the points: the file stores none
    std::optional<double> reflectanceDb; // measured; absent where none is given
    std::optional<double> attenuationDbKm;
    std::optional<double> sectionM; // the length of the section before it
    // How the reasons name it and the section before it, where not by its number ("emenda 3",
    // "trecho antes da emenda 3"): a cable names its events after the closures of its matrix.
    QString where;
    QString sectionWhere;
    QString whereText() const;
    QString sectionText() const;
    // A splitter of 1:N: judged against its own limit (splitter_loss_max_db), never as a splice.
    std::optional<int> splitterWays;
    Verdict verdict = Verdict::Pass;
    QStringList broken;  // the limits it breaks ("splice_loss_max_db", …)
    QStringList unknown; // the checked values it does not give
    // How far its closest checked value is from its limit, as a share of the limit and in the
    // value's own words ("0,050 dB"); attention when that is within a tenth of the limit.
    std::optional<double> marginShare;
    QString marginText;
    bool attention() const { return marginShare && *marginShare <= AttentionShare; }
    static constexpr double AttentionShare = 0.1;
    // The section before it is too short to measure its attenuation: shown, not judged.
    bool shortSection() const { return sectionM && *sectionM < ShortestJudgedSectionM; }
    static constexpr double ShortestJudgedSectionM = 1000;
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
    // Why the fibre's extent is not known (an analysis that found no end, or a length that is
    // not positive): nothing on it then passes.
    QString undetermined;
};

// The file's own events and figures (a total loss or ORL stored as 0 is not given), or the
// analysis'.
Link fileLink(const Sor::Trace &trace);
Link analysedLink(const Sor::Trace &trace, const Analysis::Result &result);
// The events every tool judges: the file's own, or where it stores none the analysis' of its
// points (Analysis::supplyEvents: they are then in the trace's event table too).
Link eventsLink(Sor::Trace &trace);

struct Judgement
{
    Verdict verdict = Verdict::Pass;
    QVector<JudgedEvent> events; // each with its own verdict
    QStringList broken;          // the link's limits broken (total loss, ORL, length)
    QStringList unknown;         // the checked values not given, or "danificado"
    // Why it fails or cannot be judged, one line each: the value, the limit and where
    // ("evento 3", "trecho antes do evento 5", "enlace").
    QStringList reasons;
    // The link's values that pass within a tenth of their limit, in words; with the events',
    // they make a passing trace one to watch (ATENÇÃO), without changing its verdict.
    QStringList attention;
};

// Without limits, no limits; else unknown for a damaged trace or one that gives nothing to
// judge (no event, no length, no loss); else fail when any checked value breaks its limit
// (a value exactly at its limit keeps it); else unknown when a checked value is not given; else
// pass. The fibre end is not an event to judge, nor a marker past the range, nor anything past
// the end; a section shorter than a kilometre keeps its attenuation unjudged.
Judgement judge(const Link &link, const Limits &limits);

// "APROVADO", "REPROVADO", "INDETERMINADO", "SEM LIMITES"
QString verdictWord(Verdict verdict);
// A limit's key in the words of a report: "perda de emenda máx. 0,300 dB".
// A splitter's limit names its ratio ("perda de divisor 1:8 máx. 10,700 dB").
QString limitText(const QString &key,
                  const Limits &limits,
                  const std::optional<double> &wavelengthNm,
                  const std::optional<int> &splitterWays = std::nullopt);

// Each limit that is set, in the order a report lists them, as a person reads it: the label
// ("perda de emenda máx.") and the value with its unit ("0,300 dB"). The attenuation has a row
// per wavelength, with it; the splitter's a row per ratio, its label naming it.
struct LimitRow
{
    QString key;
    QString label;
    QString value;
    std::optional<int> wavelengthNm;
};
QVector<LimitRow> limitRows(const Limits &limits);

// An event's verdict with the limits it breaks: "REPROVADO: perda de emenda máx. 0,300 dB".
QString eventVerdictText(const JudgedEvent &event,
                         const Limits &limits,
                         const std::optional<double> &wavelengthNm);
// The limits a whole link breaks, in words, joined by "; ".
QStringList brokenLimitsText(const QStringList &keys,
                             const Limits &limits,
                             const std::optional<double> &wavelengthNm,
                             const std::optional<int> &splitterWays = std::nullopt);

} // namespace Acceptance
