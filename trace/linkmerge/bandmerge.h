#pragma once

#include "linkmerge/linkmerge.h"

#include <QStringList>
#include <QVector>

#include <optional>

namespace LinkMerge {

// One band's event before the bands are laid side by side: its place and values from the shot
// that resolves it, and every shot's reading of it.
struct Candidate
{
    double distanceM = 0;
    int shot = -1;
    bool reflective = false;
    std::optional<double> lossDb;
    std::optional<double> reflectanceDb;
    QVector<Reading> readings;
};

// One band's shots made one: its front connector, its events in distance order, its end.
struct BandLink
{
    int band = 0;
    std::optional<Candidate> launch;
    QVector<Candidate> events;
    std::optional<Candidate> end;
    int endShot = -1;
};

// The shots of one band, finest first (by resolution, then by pulse): the order in which they
// place events.
struct BandShots
{
    const QVector<Shot> &shots;
    int band = 0;
    QVector<int> order; // indices into shots

    const Shot &at(int shot) const { return shots.at(shot); }
};

// The band's shots (members: indices into shots) made one, each event once; where they
// disagree, the disagreements; a shot that stops short of the end, a note.
BandLink mergeBand(const QVector<Shot> &shots,
                   const QVector<int> &members,
                   int band,
                   QVector<Disagreement> &disagreements,
                   QStringList &notes);

} // namespace LinkMerge
