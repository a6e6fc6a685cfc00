#pragma once

#include "route/calibration.h"

// The route's closures matched to the trace's events under a model, and the model fitted
// through the matches: what a calibration is made of.
namespace Route::Matching {

struct Closure
{
    QString name;
    double routeM = 0;
    double cableM = 0; // its splice's: in the middle of the loop kept at it
};

// The event nearest a place, within a distance; -1 for none.
int nearestEvent(const QVector<double> &events, double at, double within);

struct Match
{
    int closure = 0;
    int event = 0;
};

// The matches not left out, and not the one skipped (-1: none).
QVector<Match> kept(const QVector<Match> &matches, const QVector<bool> &out, int skipped = -1);

// How well a model pairs closures with events: how many find theirs, and how far off in all.
struct Score
{
    int count = 0;
    double sum = 0;
    bool beats(const Score &other) const
    {
        return count > other.count || (count == other.count && sum < other.sum);
    }
};

// The closures and the trace's events they are matched to, within a tolerance.
struct Evidence
{
    QVector<Closure> closures;
    const QVector<double> &eventsM;
    double toleranceM = 0;

    double cableOf(const Match &x) const { return closures.at(x.closure).cableM; }
    double eventOf(const Match &x) const { return eventsM.at(x.event); }
    // Each closure's nearest event under a model, each event used once (the nearer closure
    // keeps it).
    QVector<Match> matched(const Model &m) const;
    // Least squares of fibre = (1 + efl) · cable + offset through the matches (both, or the
    // offset alone at a given EFL).
    Model fitted(const QVector<Match> &matches, bool both, double efl) const;
    Score scoreOf(const Model &m) const;
};

} // namespace Route::Matching
