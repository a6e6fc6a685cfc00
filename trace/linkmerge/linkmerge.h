#pragma once

#include "acceptance/limits.h"
#include "acceptance/twoway.h"
#include "acceptance/verdict.h"
#include "analysis/analysis.h"
#include "sor/sortrace.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

// One fibre shot several times from one end (a short pulse to see the near events apart, a long
// one to reach the far end, at one or more wavelengths) made one link: each event once, its
// place and loss from the shortest pulse that resolves it with enough signal, the end from the
// pulses that reach it, every value saying which shot it came from, and where two shots
// disagree beyond what their pulses can tell, a disagreement instead of a silent choice.
namespace LinkMerge {

// One shot as the merge takes it: its points, the analysis' events on them, and how far and
// how finely they can be trusted.
struct Shot
{
    QString name; // the file's name, for messages and sources
    std::shared_ptr<const Sor::Trace> trace;
    Analysis::Result analysis;
    int pulseNs = 0;
    double spacingM = 0;
    double wavelengthNm = 0;
    int band = 0; // 1310, 1550, 1625, …
    QString cableId;
    QString fiberId;
    // Events closer than this are one to this shot: its pulse's length and two samples.
    double resolutionM = 0;
    // The front connector's dead zone: nothing before it is this shot's to place.
    double deadZoneM = 0;
    // How far its points give events: its fibre end, or where its backscatter sinks into its
    // noise (a short pulse's reach); the last point when neither.
    double reachM = 0;
    bool endFound = false;
};

// The shot a trace makes with the analysis of its points.
Shot shotOf(const QString &name, const Sor::Trace &trace, const Analysis::Result &analysis);
// "1550_20ns.sor (20 ns)": a shot as the link's words name it.
QString shotText(const Shot &shot);

// Why the shots are not one fibre (different ids, unless the user says they are; a fibre's
// end where another shot that reaches past it sees nothing), or why they cannot be merged
// (none, no wavelength, no points). One shot alone is a link too: its splitters named. Empty when
// they may be.
// Where ids name the shots but none is in two files alike, the places and the instrument, where
// both files give them, must agree too.
QString oneFibreProblem(const QVector<Shot> &shots, bool sameFibre);
// Shots that ids name but that no id shared by two files vouches for, and no other evidence
// refuses: the note that asks the reader to make sure. Empty where the ids agree, or where no
// shot has any id (the user gave them as one fibre's).
QString oneFibreDoubt(const QVector<Shot> &shots);

enum class Kind { Launch, Connector, Splice, Gainer, Splitter, End };

// One band's reading of an event: from which shot, and what it measured.
struct BandValue
{
    int band = 0;
    int shot = -1; // index into the link's shots
    std::optional<double> lossDb;
    std::optional<double> reflectanceDb;
};

// One shot's own view of an event: for the disagreements and the record of who saw what.
struct Reading
{
    int shot = -1;
    double distanceM = 0;
    std::optional<double> lossDb;
    bool reflective = false;
    std::optional<double> reflectanceDb;
};

struct LinkEvent
{
    double distanceM = 0;
    int placeShot = -1; // the shot whose place it is
    Kind kind = Kind::Splice;
    bool reflective = false;
    QVector<BandValue> bands; // in band order, those that see it
    std::optional<int> splitterWays;
    QString whyNoSplitter; // a big step that fits no ratio: why
    bool bend = false;     // the longer band loses more (as `bends` says)
    QVector<Reading> readings;
    // Its verdict: the worst of its bands'; what it breaks, in words.
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
    QStringList reasons;

    const BandValue *valueAt(int band) const;
    // The first band's loss that was measured; none where no band measured one.
    std::optional<double> lossDb() const;
    // The worst reflectance that any band measured: one connector reflects alike at every band.
    std::optional<double> reflectanceDb() const;
};

// The stretch of fibre between two events: its length, and its attenuation in each band.
struct Section
{
    double fromM = 0;
    double toM = 0;
    QVector<std::pair<int, std::optional<double>>> attenuationDbKm; // by band
    QVector<int> shots; // the shot each band's value came from, in the same order
};

// Two shots that read one place differently, beyond what their pulses can tell.
struct Disagreement
{
    double distanceM = 0;
    QString text; // "1550_1000ns.sor mede 0,950 dB; 1550_20ns.sor, 0,650 dB"
};

struct BandTotal
{
    int band = 0;
    int shot = -1;
    std::optional<double> totalLossDb;
    std::optional<double> orlDb;
};

struct Link
{
    QVector<Shot> shots;
    QVector<int> bands;        // shortest first
    QVector<LinkEvent> events; // launch first, the end last
    QVector<Section> sections; // between consecutive events
    std::optional<double> endM;
    int endShot = -1;
    QVector<BandTotal> totals;
    QVector<Disagreement> disagreements;
    QStringList notes; // what a reader should know: a shot's end that is no fibre end, …
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
    QStringList reasons;
    double bendThresholdDb = Acceptance::DefaultBendThresholdDb;
    int splitters() const;
    int bends() const;
};

// A loss two shots may read differently at one place and still agree: more for bigger steps,
// which a pulse's shape and a receiver's recovery move.
double lossAgreementDb(double lossDb);

// The shots of one fibre made one link and judged against the limits (a splitter against its
// ratio's limit). oneFibreProblem() must be empty. Unless the user vouches for one fibre
// (sameFibre), oneFibreDoubt() is among its notes.
Link mergeShots(const QVector<Shot> &shots,
                const Acceptance::Limits &limits,
                double bendThresholdDb = Acceptance::DefaultBendThresholdDb,
                bool sameFibre = false);

// "lançamento", "conector", "emenda", "ganho", "divisor 1:8", "fim"
QString kindText(const LinkEvent &event);
// "launch", "connector", "splice", "gainer", "splitter", "end"
QString kindName(Kind kind);

} // namespace LinkMerge
