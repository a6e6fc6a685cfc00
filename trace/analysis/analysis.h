#pragma once

#include "sor/sortrace.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Finds a trace's events itself: where the backscatter steps down (or up, a "gainer"), where it
// reflects, and where the fibre ends; the loss of each by the four-point least-squares method,
// the reflectance of each reflection, the attenuation before each, and for the whole fibre its
// end, its total loss and its optical return loss. A pure function: a trace and thresholds in,
// a plain result out.
namespace Analysis {

struct Thresholds
{
    double lossDb = 0.05;         // smaller steps are not events
    double reflectanceDb = -65.0; // weaker reflections are not reflective events
    double endDb = 3.0;           // a drop at least this deep ends the fibre
};

// The thresholds a user chose, each one alone: those not given come from the trace's file (what
// its instrument used) or the defaults.
struct ThresholdChoice
{
    std::optional<double> lossDb;
    std::optional<double> reflectanceDb;
    std::optional<double> endDb;
};

// The thresholds an analysis of a trace uses, each from the first that gives it: the choice,
// the file (FxdParams' loss, reflectance and end-of-fibre thresholds, where they lie within
// what instruments offer), the defaults.
Thresholds thresholdsFor(const Sor::Trace &trace, const ThresholdChoice &choice = {});

enum class EventType { Reflective, NonReflective, End };

// How sure the analysis is of an event or an end: how many deviations of its own error its
// step (or its reflection's height) stands clear, and how far the points stray from the lines
// of the sections on either side (dB).
struct Confidence
{
    double sigmas = 0;
    double residualDb = 0;
    // Clear of its error by at least this many deviations: an event no noise makes.
    static constexpr double Sure = 8;
    bool sure() const { return sigmas >= Sure; }
};

// What a stretch of the trace is: the instrument's inside before its front panel, the launch
// (the front connector and the receiver recovering from it, or rising from the floor), a
// section of fibre, the fibre's end, a receiver's tail past it, a ghost (a strong reflection
// seen again at a multiple of its distance, with no loss across it), the floor.
enum class SectionKind { Inside, Launch, Fibre, Tail, Ghost, Floor };

struct Section
{
    SectionKind kind = SectionKind::Fibre;
    double startM = 0;
    double endM = 0;
    // A fibre's section: its attenuation (the fall of its line, dB/km), the level of its line at
    // its start and end (dB, the trace's), and the spread of its points about that line (dB).
    std::optional<double> attenuationDbKm;
    std::optional<double> startLevelDb;
    std::optional<double> endLevelDb;
    std::optional<double> noiseDb;
};

struct Event
{
    double distanceM = 0; // where the event begins
    EventType type = EventType::NonReflective;
    double lossDb = 0;                     // negative for a gain
    std::optional<double> reflectanceDb;   // reflective events, and a reflecting end
    std::optional<double> attenuationDbKm; // of the section before the event
    // False for the front connector the trace starts on: no backscatter before it to measure
    // its loss by (lossDb is then 0, and means nothing).
    bool lossMeasured = true;
    Confidence confidence;
};

// A value no fibre has is never a result: it is left out ("não determinado") and a warning
// says what was found and why it was not kept.
struct Result
{
    std::vector<Event> events;
    std::optional<double> fiberEndM;
    std::optional<double> totalLossDb;
    std::optional<double> orlDb;
    Thresholds thresholds;
    QStringList warnings;
    // What the trace is made of, in order along it: each event lies between two sections.
    std::vector<Section> sections;
    std::optional<Confidence> endConfidence;
    // Why no end is given where the trace does not tell (empty when one is, or nothing was
    // analysed): a verdict cannot be reached without it.
    QString endDoubt;
};

// What instruments offer as thresholds (dB): a file's value outside these is no setting.
constexpr double FileLossThresholdsDb[] = {0.005, 5};
constexpr double FileReflectanceThresholdsDb[] = {-80, -10};
constexpr double FileEndThresholdsDb[] = {0.5, 30};

// What a fibre can measure: an ORL within these, a section of at least a kilometre within these
// dB/km; a total loss is never below 0.
constexpr double LowestOrlDb = 10;
constexpr double HighestOrlDb = 80;
constexpr double LowestAttenuationDbKm = 0.1;
constexpr double HighestAttenuationDbKm = 1.5;
constexpr double ShortestJudgedSectionM = 1000;
// No event but the fibre's end loses more than this where no backscatter follows it (a deeper
// step with a fibre's backscatter past it is a splitter's or a crushed fibre's), nor gains
// more than this (dB).
constexpr double HighestEventLossDb = 20;
constexpr double HighestEventGainDb = 5;

// What an analysis needs of a trace: levels in dB (NaN for "no data") at a constant spacing.
struct Input
{
    const double *levelsDb = nullptr;
    size_t count = 0;
    double spacingM = 0;
    int pulseNs = 0;
    double groupIndex = Sor::DefaultGroupIndex;
    double backscatterDb = -81.0; // for a 1 ns pulse
    double originM = 0;           // the first point's distance: results lie on the trace's axis
    // Where the user put the span's start (a launch cable's end), on that axis: nothing before
    // it is the span's, and its total loss runs from there.
    std::optional<double> spanStartM;
};

Result analyze(const Input &input, const Thresholds &thresholds = {});
// A read trace: its first pulse width's points from the front panel on, the span's start where
// its offsets put it, and the file's backscatter coefficient when it gives one, else
// defaultBackscatterDb() for its wavelength; with thresholdsFor() the trace when none are given.
Result analyze(const Sor::Trace &trace, const Thresholds &thresholds);
Result analyze(const Sor::Trace &trace);

// A typical single-mode fibre's backscatter coefficient for a 1 ns pulse.
double defaultBackscatterDb(double wavelengthNm);
// "reflective", "non-reflective", "end"
QString typeName(EventType type);
// "inside", "launch", "fibre", "tail", "ghost", "floor"
QString sectionName(SectionKind kind);
// In a user's words: "interior do equipamento", "lançamento", "fibra", "cauda do receptor",
// "fantasma", "piso de ruído".
QString sectionText(SectionKind kind);
// "45σ", or "incerto (5σ)" for one not sure.
QString confidenceText(const Confidence &confidence);
// The events as a file's event table holds them (type digit, then "A" for the analysis or "E"
// for the end), so that tables and plots show them as they show a file's.
Sor::KeyEvents asKeyEvents(const Result &result);

} // namespace Analysis
