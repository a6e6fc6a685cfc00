#pragma once

#include "sorwriter.h"

#include <QList>
#include <QString>

#include <limits>
#include <optional>
#include <vector>

// Traces whose truth is known, as an OTDR measures them: backscatter falling with the fibre's
// attenuation, steps where it loses (or, seen from the "wrong" end, gains) power, reflections
// whose height follows from their reflectance, the pulse width and the backscatter coefficient,
// all smeared over the pulse's length in the fibre, a receiver that recovers slowly from strong
// reflections, the fibre's end, and noise added to the power before the logarithm, so that the
// trace grows noisier as it falls, down to a noise floor. Seeded: a case is written again
// exactly from its seed.
namespace SorWriter {

struct TrueEvent
{
    // A ghost: a reflection seen again where no fibre reflects (at a multiple of a strong
    // reflection's distance), with no loss; the instrument stores none.
    enum Kind { Step, Reflection, End, Ghost };
    TrueEvent() = default;
    TrueEvent(Kind kind,
              double positionM,
              double lossDb = 0,
              double reflectanceDb = 0,
              std::optional<double> lossFromEndDb = std::nullopt)
        : kind(kind)
        , positionM(positionM)
        , lossDb(lossDb)
        , reflectanceDb(reflectanceDb)
        , lossFromEndDb(lossFromEndDb)
    {
    }

    Kind kind = Step;
    double positionM = 0;
    double lossDb = 0;        // one way; negative for a gain
    double reflectanceDb = 0; // Reflection, and an End with a Fresnel reflection; 0: none
    // As seen from the far end. Where the two fibres' backscatter differs, a splice reads its
    // true loss plus the difference from one end and minus it from the other, where it may
    // look like a gain. Absent: the same as lossDb.
    std::optional<double> lossFromEndDb;
};

struct Simulation
{
    double spacingM = 1;
    int points = 30000;
    int pulseNs = 100;
    int wavelengthNm = 1550;
    double groupIndex = 1.468;
    double attenuationDbKm = 0.2;
    double backscatterDb = -81.0; // for a 1 ns pulse
    // The launch's signal-to-noise ratio: the trace's height at 0 m above the noise's RMS, in
    // the trace's own dB (5 log10 of the power).
    double launchSnrDb = 30;
    // Events in distance order; the fibre ends at the End event, if any.
    QList<TrueEvent> events;
    quint32 seed = 1;
    // What real instruments add. Their filter spreads the noise over this many points, so
    // that neighbouring points differ less than the noise is.
    int noiseSpreadPoints = 1;
    // Detectors' noise has heavy tails: this share of the noise's samples is this many times
    // larger than the rest (an avalanche photodiode's bursts), single points well above the
    // noise that are no reflections.
    double burstShare = 0;
    double burstScale = 4;
    // Below the noise the receiver stores "no data", in runs mixed with the floor's noise.
    bool noDataFloor = false;
    // A reflection above this level (dB, 0 at the launch) saturates the receiver: its top is
    // cut there, and it recovers over this many pulse lengths.
    double saturationDb = std::numeric_limits<double>::infinity();
    double recoveryPulses = 0.5;
    // Where this is set, a saturated receiver recovers as real ones do: from its ceiling, falling
    // as (1 + distance past the pulse / this)^-2 in power, steeply at first and ever more slowly,
    // for hundreds of metres or kilometres.
    double saturationTailM = 0;
    // Some receivers recover slowly from the front connector: a tail this high above the
    // backscatter at 0 m (dB), fading over this distance (1/e).
    double launchTailDb = 0;
    double launchTailM = 0;
    // Others are blinded by the launch: no front connector is seen, the trace rises from the
    // floor as the receiver recovers, most of the way (95 %, in power) within this distance.
    double launchRiseM = 0;
    // The instrument's inside before its front panel, where no light comes back: its points
    // lie in the floor (some makers store a kilometre of them).
    double darkM = 0;
    // A receiver slower than the pulse: the power it measures follows the light with this
    // time constant (as a distance), so a reflection rises and falls over several points.
    double receiverM = 0;
    // Some instruments cut their floor: every level below the noise's magnitude stored at one
    // level under it.
    bool clippedFloor = false;
};

// The pulse's length in the fibre, one way: the distance over which an event is smeared.
double pulseLengthM(int pulseNs, double groupIndex);
// The reflection's height above the backscatter, in the trace's dB.
double peakHeightDb(double reflectanceDb, double backscatterDb, int pulseNs);
// The trace's levels in dB (0 dB at the launch), one per point.
std::vector<double> simulateLevels(const Simulation &simulation);
// The same as a trace file's description: without events (an analysis finds them), or with the
// true ones as an instrument's own analysis would have stored them.
Trace simulatedTrace(const Simulation &simulation, bool withTrueEvents = false);
// The same fibre measured from its far end: events mirrored about the End (which the
// simulation must have), each with its loss as seen from there.
Simulation fromOtherEnd(const Simulation &simulation);
// Fibre i (from 1) of a generated cable CB-1 between CENTRAL and POSTE, at 1550 nm: splices at
// 6 km (0.10 + 0.01 i dB from A, 0.06 + 0.01 i dB from B) and 14 km (0.15 and 0.11 dB), a
// 0.40 dB connector at 20 km, the end at endM; its id "F0i". Each end's file stores the true
// events; pulseNs is the A end's pulse. With cords, a 0.30 dB connector (-50 dB) where the
// launch cord ends (launchM from A) and where the receive cord begins (receiveM before the end).
// A scale other than 1 stretches the fibre (its helix in the tubes): every place times it.
// A front reflectance below 0 puts each instrument's front connector at 0 m, its loss stored as
// 0 (as instruments store it).
struct CableEnds
{
    Trace a;
    Trace b;
};
CableEnds cableFibre(int i,
                     double endM = 28000,
                     int pulseNs = 300,
                     double launchM = 0,
                     double receiveM = 0,
                     double scale = 1,
                     double frontReflectanceDb = 0);
// Where cableFibre's splices and connector are.
const double CableClosuresM[] = {6000, 14000, 20000};
// One fibre measured from both ends at 1310 and 1550 nm, with the files' own events: a splice
// that gains from one end, a connector, a splice, and a bend that only 1550 nm feels much.
// Named "<wavelength>-ab.sor" and "<wavelength>-ba.sor".
QList<Case> twoEndedSamples();
// Where a measurement's span starts, as the offsets a file stores say it (metres).
struct Launch
{
    double frontPanelM = 0;  // the front panel along the points
    double acquisitionM = 0; // the first point from the front panel: negative, before it
    double userM = 0;        // the span's start past the front panel: a launch cable's end
    // The points before the front panel lie in the floor, as one maker stores them; else they
    // are backscatter of the instrument's own fibre.
    bool darkInside = false;
    double spanStartM() const { return (frontPanelM != 0 ? frontPanelM : -acquisitionM) + userM; }
};
// The span measured through a launch: its events (positions from the span's start) moved along
// the points by the launch, a front connector and the launch cable's end reflecting, the
// offsets stored, and the events the instrument stores, measured from the span's start.
Trace launchedTrace(const Simulation &span, const Launch &launch);
// A fibre whose points and event table lie apart by each kind of offset that makers store
// (front panel, an acquisition started before the panel, a launch reel as the user offset, and
// all three), with the events the instrument stored, measured from the span's start.
QList<Case> offsetCases();
// One fibre shot from one end with several pulses at 1310 and 1550 nm, as a technician shoots
// it: each shot with its pulse, spacing and range, its signal growing with the pulse (5 dB of
// the trace's own dB for ten times the pulse). Near events 10 m apart that only the shortest
// pulse tells apart, far events past the shortest pulse's reach, and a splice that loses far
// more at 1550 nm (a bend). Each trace carries cable CB-50 and fibre F05 and a 0.05 dB loss
// threshold; named "<wavelength>_<pulse>ns.sor". Only the 20 ns shots (8 km) do not reach the end.
struct PulseShot
{
    QString name;
    Simulation simulation;
    Trace trace;
};
QList<PulseShot> multiPulseShots(quint32 seed = 50);
// The true events of multiPulseShots() at a wavelength, as positions and losses.
QList<TrueEvent> multiPulseTruth(int wavelengthNm);
// A PON link at 1625 nm, 100 ns: a connector at 300 m, then a splitter of each loss given (dB,
// one way) every 1.5 km from 2 km on, a 0.25 dB splice half-way between each two, and the drop's
// end (with its connector's reflection) 1.5 km past the last.
Simulation ponLink(const QList<double> &splitterLossesDb, quint32 seed = 1);
// Its trace with a 0.05 dB loss threshold, cable PON-1 and fibre CTO-3.
Trace ponTrace(const Simulation &simulation);
// Where ponLink() puts its splitters.
double ponSplitterM(int index);
// The local signal-to-noise ratio (trace dB) of the ideal trace at a distance.
double localSnrDb(const Simulation &simulation, double positionM);

} // namespace SorWriter
