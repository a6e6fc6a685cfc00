#pragma once

#include "acceptance/twoway.h"

#include <QString>

#include <optional>

// Whether two traces of one fibre and band were taken from its two ends or from the same one,
// from what the traces show (their events laid directly and mirrored) rather than from what
// their labels say, which instruments keep from a template.
namespace Acceptance {

enum class Ends { Same, Two, Unknown };

struct EndsEvidence
{
    Ends ends = Ends::Unknown;
    // What decided: "traces", else "ids" (the ids swap the places' codes), "labels" (the
    // locations), "names" (the files' names); empty when nothing did.
    QString decidedBy;
    // How far apart the matched events lie on average (RMS, metres), each way, and how many
    // matched; absent where too few events to tell.
    std::optional<double> directFitM;
    std::optional<double> mirroredFitM;
    int directMatched = 0;
    int mirroredMatched = 0;
    // B's length scale against A's, fitted on the matched events (1: equal).
    double lengthScale = 1;
    QString warning; // the labels say otherwise than the traces
    int matched() const { return ends == Ends::Same ? directMatched : mirroredMatched; }
};

// The traces' own answer: the events of b laid over a's directly (x ↦ x) and mirrored
// (x ↦ L − x, its length scale fitted), each with the shift that lays most; the way that lays
// at least two events and clearly more (or as many, far closer) decides.
EndsEvidence endsFromTraces(const Measurement &a, const Measurement &b, double toleranceM = 0);

// Whether two files given as one fibre's two ends are: the same file given twice, one
// measurement saved twice, or two fibres (their ids differ) never are; else the traces decide
// where they can, and the ids (that name the fibre from each end) or the places (location A)
// where they cannot. problem says why they are not, empty when they may be; a user may pair
// them anyway.
EndsEvidence endsOf(const QString &pathA,
                    const Measurement &a,
                    const QString &pathB,
                    const Measurement &b,
                    double toleranceM,
                    QString &problem);

// Whether two files are one measurement saved twice: the same instrument serial, the same
// second and the same points.
bool sameMeasurement(const Sor::Trace &a, const Sor::Trace &b);

// One plain sentence of what decided and how well: "as duas pontas, pelos traços: 14 eventos
// casam espelhados a 3,2 m; diretos, 2 a 95,0 m".
QString endsSentence(const EndsEvidence &evidence);

} // namespace Acceptance
