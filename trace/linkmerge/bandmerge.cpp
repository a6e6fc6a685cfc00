#include "linkmerge/bandmerge.h"

#include "linkmerge/disagreements.h"
#include "linkmerge/shots.h"
#include "sor/sortext.h"

#include <algorithm>
#include <cmath>

namespace LinkMerge {

namespace {

BandShots finestFirst(const QVector<Shot> &shots, const QVector<int> &members, int band)
{
    BandShots b{shots, band, members};
    std::sort(b.order.begin(), b.order.end(), [&shots](int x, int y) {
        const Shot &a = shots.at(x);
        const Shot &c = shots.at(y);
        return a.resolutionM != c.resolutionM ? a.resolutionM < c.resolutionM
                                              : a.pulseNs < c.pulseNs;
    });
    return b;
}

Reading readingOf(int shot, const Analysis::Event &e)
{
    const bool reflective = e.type == Analysis::EventType::Reflective;
    return Reading{shot,
                   e.distanceM,
                   e.lossMeasured ? std::optional<double>(e.lossDb) : std::nullopt,
                   reflective,
                   reflective ? e.reflectanceDb : std::nullopt};
}

// Whether a shot places an event found at a place: where its points give events, and in its
// own dead zone only where no finer shot sees the fibre in the clear (there a long pulse's
// receiver is still recovering, and what it finds is not taken).
bool placesAt(const BandShots &band, int shot, double distanceM)
{
    const Shot &s = band.at(shot);
    if (!givesEventsAt(s, distanceM) && distanceM > s.deadZoneM)
        return false;
    if (distanceM >= s.deadZoneM)
        return true;
    for (int other : band.order) {
        if (other == shot)
            break;
        if (givesEventsAt(band.at(other), distanceM))
            return false;
    }
    return true;
}

// The band's event nearest to a shot's, within the coarser of the two shots' resolutions: one
// event to both. -1 where none is that near.
int nearestEvent(const BandShots &band,
                 const QVector<Candidate> &events,
                 const Shot &s,
                 double distanceM)
{
    int nearest = -1;
    for (int c = 0; c < events.size(); ++c) {
        const Candidate &cand = events.at(c);
        const double tol = std::max(s.resolutionM, band.at(cand.shot).resolutionM);
        const double gap = std::abs(cand.distanceM - distanceM);
        if (gap <= tol && (nearest < 0 || gap < std::abs(events.at(nearest).distanceM - distanceM)))
            nearest = c;
    }
    return nearest;
}

// A shot's events into the band's: its front connector to the launch, each event it places
// to the same event of a finer shot, or a new one.
void takeEvents(const BandShots &band, int shot, BandLink &b)
{
    const Shot &s = band.at(shot);
    for (const Analysis::Event &e : s.analysis.events) {
        if (e.type == Analysis::EventType::End)
            continue;
        const Reading reading = readingOf(shot, e);
        if (!e.lossMeasured) {
            // The front connector: no backscatter before it to measure its loss by.
            if (!b.launch)
                b.launch = Candidate{e.distanceM, shot, true, std::nullopt, e.reflectanceDb, {}};
            b.launch->readings.append(reading);
            continue;
        }
        if (!placesAt(band, shot, e.distanceM))
            continue;
        const int nearest = nearestEvent(band, b.events, s, e.distanceM);
        if (nearest >= 0) {
            b.events[nearest].readings.append(reading);
            continue;
        }
        b.events.append(Candidate{e.distanceM,
                                  shot,
                                  reading.reflective,
                                  reading.lossDb,
                                  reading.reflectanceDb,
                                  {reading}});
    }
}

// A reflection that the finest shot's noise hid is still a reflection: its reflectance from
// the finest shot that saw it.
void keepHiddenReflections(QVector<Candidate> &events)
{
    for (Candidate &c : events) {
        if (c.reflective)
            continue;
        for (const Reading &r : std::as_const(c.readings)) {
            if (r.reflective && r.reflectanceDb) {
                c.reflective = true;
                c.reflectanceDb = r.reflectanceDb;
                break;
            }
        }
    }
}

// The reflectance of a shot's end, where its analysis measured one.
std::optional<double> endReflectance(const Shot &s)
{
    std::optional<double> reflectance;
    for (const Analysis::Event &e : s.analysis.events) {
        if (e.type == Analysis::EventType::End)
            reflectance = e.reflectanceDb;
    }
    return reflectance;
}

// The end: from the shots that reach it, placed by the finest of them; a shot whose trace
// stops short of the farthest end found says so in a note.
void findEnd(const BandShots &band, BandLink &b, QStringList &notes)
{
    double far = -1;
    for (int si : band.order) {
        if (band.at(si).endFound)
            far = std::max(far, band.at(si).reachM);
    }
    for (int si : band.order) {
        const Shot &s = band.at(si);
        if (!s.endFound)
            continue;
        if (far - s.reachM <= s.resolutionM + band.at(band.order.last()).resolutionM) {
            if (b.endShot < 0) {
                b.endShot = si;
                const std::optional<double> reflectance = endReflectance(s);
                b.end = Candidate{s.reachM, si, bool(reflectance), std::nullopt, reflectance, {}};
            }
            b.end->readings.append({si, s.reachM, std::nullopt, false, std::nullopt});
        } else {
            notes << QStringLiteral("%1 não alcança o fim: a %2 seu traço cai no ruído (um "
                                    "evento do enlace, não o fim da fibra)")
                         .arg(shotText(s), Sor::kilometres(s.reachM));
        }
    }
}

} // namespace

BandLink mergeBand(const QVector<Shot> &shots,
                   const QVector<int> &members,
                   int band,
                   QVector<Disagreement> &disagreements,
                   QStringList &notes)
{
    const BandShots bandShots = finestFirst(shots, members, band);
    BandLink b;
    b.band = band;
    for (int si : bandShots.order)
        takeEvents(bandShots, si, b);
    std::sort(b.events.begin(), b.events.end(), [](const Candidate &x, const Candidate &y) {
        return x.distanceM < y.distanceM;
    });
    keepHiddenReflections(b.events);
    findEnd(bandShots, b, notes);
    disagreements += lossDisagreements(bandShots, b.events);
    disagreements += unseenEvents(bandShots, b.events);
    return b;
}

} // namespace LinkMerge
