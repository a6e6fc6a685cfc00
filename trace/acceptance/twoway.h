#pragma once

#include "acceptance/matching.h"
#include "acceptance/verdict.h"
#include "sor/sortrace.h"

#include <QString>
#include <QVector>

#include <memory>
#include <optional>

// One fibre seen twice: from both ends at one wavelength (a splice's true loss is the mean of
// the two directions), or from one end at two wavelengths (a bend loses far more at the longer).
namespace Acceptance {

// The extra loss at the longer wavelength that makes an event a bend, unless a user says otherwise.
constexpr double DefaultBendThresholdDb = 0.5;

// One measurement as the comparison needs it: its events and how finely it was taken.
struct Measurement
{
    QString name; // for messages: the file's name
    Link link;
    int pulseNs = 0;
    double spacingM = 0;
    double groupIndex = Sor::DefaultGroupIndex;
    // What the file says of itself: the band it was measured in, the fibre and where from.
    std::optional<double> nominalWavelengthNm;
    QString cableId;
    QString fiberId;
    QString locationA;
    // The points, to measure a loss where this end stores none.
    std::shared_ptr<const Sor::Trace> trace;
};

Measurement measurementOf(const QString &name, const Sor::Trace &trace, const Link &link);
// The same, sharing points already held rather than copying them.
Measurement measurementOf(const QString &name,
                          const std::shared_ptr<const Sor::Trace> &trace,
                          const Link &link);

// The distance within which two events are one: the longer of the two pulses in the fibre,
// or three samples of the coarser trace, whichever is larger.
double defaultToleranceM(const Measurement &a, const Measurement &b);

enum class SeenFrom { Both, A, B };

struct TwoWayEvent
{
    double distanceM = 0;                // as seen from A
    std::optional<double> lossAbDb;      // as measured from A
    std::optional<double> lossBaDb;      // as measured from B
    std::optional<double> lossDb;        // their mean, or the one end's value
    std::optional<double> reflectanceDb; // the worse of the two
    // The section before it (from A): the mean of what each end measured there.
    std::optional<double> attenuationDbKm;
    bool reflective = false;
    SeenFrom seenFrom = SeenFrom::Both;
    // The loss an end stores no value for, measured on that end's own points at the place the
    // other end found ("medido aqui").
    bool measuredA = false;
    bool measuredB = false;
    // Why an end's points could not give its loss there either.
    QString whyNoneA;
    QString whyNoneB;
};

struct TwoWay
{
    QVector<TwoWayEvent> events;           // the fibre's end aside
    std::optional<double> fiberLengthM;    // the larger of the two
    std::optional<double> totalLossDb;     // the mean of the two ends'
    std::optional<double> lastSectionDbKm; // from the last event to the end, averaged
    std::optional<double> lengthAM;
    std::optional<double> lengthBM;
    double shiftM = 0;     // taken off the mirrored positions
    double toleranceM = 0; // used to match
};

// One fibre's id as each end names it: the two places' codes swapped in front of the same
// number (NORSEA109 from one end, SEANOR109 from the other).
bool namedFromTheOtherEnd(const QString &x, const QString &y);
// The id the same fibre bears from its other end ("MILELM0001" for "ELMMIL0001"); empty for an
// id not made of two places' codes.
QString nameFromTheOtherEnd(const QString &id);
// Two wavelengths of one band, as limits take a wavelength's key: two lasers of one band
// differ by a few nm.
constexpr double SameBandNm = 30;
// Why two traces are not the two directions of one fibre; empty when they may be. Wavelengths
// are compared by band (within 30 nm, as limits are): two lasers of one band differ by a few nm.
QString directionsProblem(const Measurement &a, const Measurement &b);
// Why two files cannot be one fibre's two ends whatever their traces show: the same file twice,
// or two fibres (their ids differ). Empty when nothing says so.
QString
idsProblem(const QString &pathA, const Measurement &a, const QString &pathB, const Measurement &b);
// Why two files given as one fibre's two ends look like something else: the same file twice,
// two fibres (their ids differ), or two measurements from the same place. Empty when nothing
// says so; a user may pair them anyway.
QString identityProblem(const QString &pathA,
                        const Measurement &a,
                        const QString &pathB,
                        const Measurement &b);
// B's positions mirrored onto A's axis (scaled so that the two ends meet), the common shift
// taken off, events matched and averaged. toleranceM <= 0: the default.
TwoWay averageDirections(const Measurement &a, const Measurement &b, double toleranceM = 0);
// The averaged events as a link to judge: losses averaged, the worse reflectance and ORL.
Link averagedLink(const TwoWay &twoWay, const Link &a, const Link &b);
// B's trace drawn on A's axis: each point's distance mirrored as its events were; its own
// events (with B's numbers) kept there too, or left out.
enum class MirroredEvents { Dropped, Kept };
Sor::Trace mirroredTrace(const Sor::Trace &b,
                         const TwoWay &twoWay,
                         MirroredEvents events = MirroredEvents::Dropped);

struct WavelengthEvent
{
    double distanceM = 0;
    std::optional<double> lossShortDb; // absent where the shorter wavelength sees no event
    std::optional<double> lossLongDb;
    std::optional<double> attenuationShortDbKm; // the section before the event
    std::optional<double> attenuationLongDbKm;
    bool bend = false;        // the longer loses more than the threshold beyond the shorter
    bool sectionBend = false; // the section before it loses more per km at the longer
};

struct Wavelengths
{
    QVector<WavelengthEvent> events;
    double thresholdDb = DefaultBendThresholdDb;
    double toleranceM = 0;
    int bends() const;
};

// Why two traces are not one fibre's direction at a shorter and a longer wavelength.
QString wavelengthsProblem(const Measurement &shorter, const Measurement &longer);
Wavelengths compareWavelengths(const Measurement &shorter,
                               const Measurement &longer,
                               double thresholdDb = DefaultBendThresholdDb,
                               double toleranceM = 0);

// "ambas", "A", "B"
QString seenFromText(SeenFrom seen);

} // namespace Acceptance
