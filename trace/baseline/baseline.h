#pragma once

#include "acceptance/verdict.h"
#include "sor/sortrace.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>
#include <vector>

// What changed on a fibre since it was built: a trace compared with its as-built (the
// baseline), on their events and on their points, so that a new bend below the instrument's
// threshold shows too.
namespace Baseline {

constexpr double DefaultThresholdDb = 0.1;
constexpr double ReflectanceThresholdDb = 2.0;

struct Options
{
    double thresholdDb = DefaultThresholdDb;
    double toleranceM = 0; // 0: the longer pulse's length and two samples of the coarser trace
    bool force = false;    // compare two wavelengths anyway
};

enum class Kind { Loss, Reflectance, New, Gone, Attenuation, End, Trace };
QString kindKey(Kind kind); // "loss", "reflectance", "new", "gone", "attenuation", "end", "trace"

struct Change
{
    double distanceM = 0; // on the baseline's axis
    Kind kind = Kind::Loss;
    std::optional<double> before;
    std::optional<double> after;
    std::optional<double> delta; // after − before; for the points, the loss it adds
    QString text;                // one line in Portuguese
};

// The two traces' points on the baseline's axis: the now trace's levels moved to meet the
// baseline's on the backscatter before the first event, and their difference (now − base).
struct Difference
{
    std::vector<double> distanceM;
    std::vector<double> deltaDb; // NaN where either has no data, and past the shorter fibre
    double levelShiftDb = 0;
};

struct Comparison
{
    QString problem;   // why the two cannot be compared (refused); empty when they can
    QStringList notes; // what differs in how they were measured
    bool samePoints = false;
    double toleranceM = 0;
    double shiftM = 0; // laid on the now trace's positions to meet the baseline's
    QVector<Change> changes;
    Difference difference;
    // The link before and after.
    std::optional<double> lengthBeforeM;
    std::optional<double> lengthAfterM;
    std::optional<double> lossBeforeDb;
    std::optional<double> lossAfterDb;
    std::optional<double> orlBeforeDb;
    std::optional<double> orlAfterDb;
    bool changed() const { return !changes.isEmpty(); }
    QString verdict() const; // "sem mudança", "mudou", "os pontos são iguais"
};

Comparison compare(const Sor::Trace &base, const Sor::Trace &now, const Options &options);

} // namespace Baseline
