#pragma once

#include "linkmerge/bandmerge.h"

#include <QVector>

// Where shots of one fibre read it differently beyond what their pulses can tell: said, never
// settled by a silent choice.
namespace LinkMerge {

// A band's losses that one shot reads otherwise than the others' events at the same place.
QVector<Disagreement> lossDisagreements(const BandShots &band, const QVector<Candidate> &events);
// A band's plain events (a big step, a strong reflection) that a shot reaching them in the clear
// does not see at all.
QVector<Disagreement> unseenEvents(const BandShots &band, const QVector<Candidate> &events);
// The end placed at one band, `bandEnd` at another: where they lie farther apart than both
// shots' resolutions, the disagreement.
std::optional<Disagreement>
endsApart(const QVector<Shot> &shots, const LinkEvent &end, int band, const Candidate &bandEnd);

} // namespace LinkMerge
