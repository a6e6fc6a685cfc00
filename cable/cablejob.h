#pragma once

#include "acceptance/limits.h"
#include "acceptance/twoway.h"
#include "acceptance/verdict.h"
#include "sor/sortrace.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A cable's job: every fibre measured from both ends (often at two wavelengths), its splice
// points (closures) found where most fibres agree, and the matrix the client accepts: each
// fibre's loss at each closure seen from A, from B and their mean, with each fibre's length,
// total loss, ORL, bends and verdict, and the checks a job must pass before hand-over.
namespace Cable {

struct Options
{
    // When the fibre ids differ by end ("ELMMIL0001" and "MILELM0001"): A's marker, B's marker.
    QStringList pairMarkers;
    // A trace whose events are the closures; none: where the fibres' events agree.
    QString referencePath;
    double toleranceM = 0;          // 0: the pulse length in the fibre, at least 3 samples
    std::optional<double> launchM;  // none: the files' user offset (the axis' 0), else 0
    std::optional<double> receiveM; // none: no receive cord
    Acceptance::Limits limits;      // checks nothing when empty
    double bendThresholdDb = Acceptance::DefaultBendThresholdDb;
};

// How an end's loss at a closure was got.
enum class How { Found, Measured, Absent };
QString howKey(How how); // "found", "measured", "absent"

// One file of the job. Its trace is kept without its points (a cable's points do not fit in
// memory at once): each fibre's are read again while that fibre is measured.
struct File
{
    QString path;
    QString name;     // the file's name
    Sor::Trace trace; // blocks, events and figures; no points
    QString problem;  // why it cannot be used; empty when it can
    QString fiber;    // the fibre's key: its id with the end's marker taken out
    QString cable;
    QChar end;      // 'A' or 'B'
    int bandNm = 0; // 1310, 1550, … (the nominal band of its wavelength)
};

struct Closure
{
    int number = 0;
    double distanceM = 0; // from end A, on the span's axis
    int fibres = 0;       // how many fibres store an event there
};

struct Cell
{
    QString fiber;
    int bandNm = 0;
    int closure = 0;
    std::optional<double> lossAbDb;
    std::optional<double> lossBaDb;
    std::optional<double> lossDb; // the mean, or the one end's where only one gives it
    How howAb = How::Absent;
    How howBa = How::Absent;
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
};

// The connector at the end of a launch or receive cord: measured and judged as a connector.
struct Connector
{
    double distanceM = 0; // from end A
    std::optional<double> lossDb;
    std::optional<double> reflectanceDb;
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
};

struct Fibre
{
    QString fiber;
    QString cable;
    QStringList files;
    std::optional<double> lengthM;     // the span's: the cords left out
    std::optional<double> totalLossDb; // mean of the two ends (first band), the cords' fibre out
    std::optional<double> orlDb;       // the worse end
    int bends = 0;                     // events that lose more at the longer band
    std::optional<Connector> launchConnector;  // with --launch
    std::optional<Connector> receiveConnector; // with --receive
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
    QStringList reasons;
};

struct Checks
{
    QStringList settings;       // files whose settings differ from the rest of their group
    QStringList duplicates;     // two files with the same points under different fibres
    QStringList missing;        // fibres without an end or a band the others have
    QStringList lengthOutliers; // fibres more than 1 % off the cable's median length
    bool raised() const;
};

struct Job
{
    QVector<File> files;
    QVector<int> bands; // ascending
    QVector<Closure> closures;
    QVector<Cell> matrix; // by fibre, band, closure
    QVector<Fibre> fibres;
    Checks checks;
    double toleranceM = 0;
    // 0: every fibre passes and no check is raised; 1 otherwise.
    int status() const;
};

// The .sor files of a folder (and its folders), in name order, or the file itself.
QStringList sorFiles(const QStringList &filesOrFolders);
// The band a laser's wavelength belongs to: 1310, 1383, 1490, 1550 or 1625 within 30 nm, else
// the wavelength rounded.
int bandOf(double wavelengthNm);

Job run(const QStringList &paths, const Options &options);

QJsonObject toJson(const Job &job);
// The matrix, one row per fibre, band and closure.
QString matrixCsv(const Job &job);
// The fibre summary, the matrix of averaged losses and the checks, as text for a terminal.
QString table(const Job &job);

} // namespace Cable
