#pragma once

#include "analysis/analysis.h"
#include "sor/sortrace.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Several shots of one fibre (other pulses, other wavelengths, the same shot repeated) tell one
// story: the same events and the same end, each within the resolution of the shots' pulses.
// Checks the analyses of the shots against each other and says where they disagree.
namespace OneFibre {

struct Shot
{
    QString name;
    const Sor::Trace *trace = nullptr;
    Analysis::Result result;
};

// Whether a shot shows an event: the analysis found it there, or why it could not.
enum class Seen { Found, Missed, Unresolved };

struct Sighting
{
    Seen seen = Seen::Missed;
    std::optional<double> distanceM;
    std::optional<double> lossDb;
    bool reflective = false;
    QString why; // where it is not found: in words
};

// An event of the fibre: where the shots put it and what each made of it.
struct Feature
{
    double distanceM = 0;
    std::vector<Sighting> shots; // one per shot, in the shots' order
    double largestLossDb = 0;
    bool reflective = false;
    // Seen by every shot that resolves it, or too small to ask that of.
    bool agrees = true;
};

struct Agreement
{
    std::vector<Feature> features;
    std::vector<std::optional<double>> endsM; // per shot
    double toleranceM = 0;                    // the coarsest shot's resolution
    bool endsAgree = true;
    double endSpreadM = 0;
    QStringList disagreements; // in words, one line each
    bool oneStory() const { return disagreements.isEmpty(); }
};

// An event that every shot resolving it must show: losing at least this much (dB), or
// reflecting.
constexpr double ExpectedLossDb = 0.3;

// How far two shots may put one event apart: the pulse's length and two samples.
double resolutionM(const Sor::Trace &trace);
// Why the shots are visibly not of one fibre (empty when they may be): their cable or fibre ids
// differ (unless `ignoreIds`), or their ends lie further apart than any pulse explains.
QString notOneFibre(const std::vector<Shot> &shots, bool ignoreIds);
// Whether files given together are shots of one fibre without being told: the same cable and
// fibre ids, and ends that agree.
bool sameFibre(const std::vector<Shot> &shots);
Agreement compare(const std::vector<Shot> &shots);

} // namespace OneFibre
