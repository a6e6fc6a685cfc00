#pragma once

#include "acceptance/direction.h"
#include "acceptance/limits.h"
#include "acceptance/twoway.h"
#include "acceptance/verdict.h"
#include "route/locate.h"
#include "sor/sorcsv.h"
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
    // The ends' markers in the files' names ("ELMMIL0001_1550" and "MILELM0001_1550", "…013je"
    // and "…013jo"): A's, then B's; a name without one falls back to its fibre id.
    QStringList pairMarkers;
    // A trace whose events are the closures; none: where the fibres' events agree.
    QString referencePath;
    double toleranceM = 0;          // 0: the pulse length in the fibre, at least 3 samples
    std::optional<double> launchM;  // none: the files' user offset (the axis' 0), else 0
    std::optional<double> receiveM; // none: no receive cord
    Acceptance::Limits limits;      // checks nothing when empty
    // The cable's route: closures take its closures' names, a fibre that ends short is located.
    std::optional<Route::Route> route;
    double bendThresholdDb = Acceptance::DefaultBendThresholdDb;
};

// How an end's loss at a closure was got.
enum class How { Found, Measured, Absent };
QString howKey(How how); // "found", "measured", "absent"

// One file of the job, parsed once: its trace is kept without its points (a cable's points do
// not fit in memory at once, nor do its files); its points are taken from the file again while
// its fibre is measured, so that memory follows the fibre at hand.
struct File
{
    QString path;
    QString name;     // the file's name
    Sor::Trace trace; // blocks, events and figures; no points
    qint64 size = 0;  // as first read: a file that changed since is not measured
    QString problem;  // why it cannot be used; empty when it can
    QString note;     // what was made of a doubt about it (a name against its id)
    QString fiber;    // the fibre's key: its id or name with the end's marker taken out
    QString cable;
    QChar end;             // 'A' or 'B'
    int bandNm = 0;        // 1310, 1550, … (the nominal band of its wavelength)
    quint64 pointsKey = 0; // its points, to the hundredth of a dB: copies share it
    bool repeated = false; // an older measurement of the same fibre, end and band: not used
};

struct Closure
{
    int number = 0;
    double distanceM = 0; // from end A, on the span's axis
    int fibres = 0;       // how many fibres store an event there
    // Most of its events reflect: a connector (a reel's, a patch panel's), judged, coloured and
    // counted as one; else a splice.
    bool connector = false;
    QString name; // the route's closure here ("CEO-07"), with a route
};
// "conector" or "emenda", and the job's closures counted by kind: "Conectores: 2   Emendas: 14".
QString closureKind(const Closure &closure);
QString closureCounts(const QVector<Closure> &closures);
// The route's name where it has one, else the number, a connector's after a C: "CEO-07", "3",
// "C1".
QString closureTitle(const Closure &closure);

struct Cell
{
    QString fiber;
    int bandNm = 0;
    int closure = 0;
    std::optional<double> lossAbDb;
    std::optional<double> lossBaDb;
    std::optional<double> lossDb; // the mean, or the one end's where only one gives it
    // The worse of the two ends' where an end's event there reflects.
    std::optional<double> reflectanceDb;
    How howAb = How::Absent;
    How howBa = How::Absent;
    // Why an end gives no value where it is absent: not measured, or why its points cannot.
    QString whyAb;
    QString whyBa;
    // The verdict that went into the fibre's: its event's in the band's judged link (loss, and
    // reflectance at a connector), or, where only the points give the loss, the mean judged by
    // the closure's kind of limit.
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
    // Against a baseline (the as-built): the same fibre's loss at the same closure and band
    // then, and the loss now less it — both ends' mean where both jobs have both ends, else
    // the one end both measured.
    std::optional<double> baselineDb;
    std::optional<double> changeDb;
};

// The connector at the end of a launch or receive cord: measured and judged as a connector. An
// instrument's own front connector is shown, never judged: it is not the cable's.
struct Connector
{
    double distanceM = 0; // from end A
    std::optional<double> lossDb;
    std::optional<double> reflectanceDb;
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
    bool judged = true;
};
// "APROVADO", …, or "não julgado" for a connector that is not the cable's.
QString connectorVerdictText(const Connector &connector);

struct Fibre
{
    QString fiber;
    QString cable;
    QStringList files;
    std::optional<double> lengthM;     // the span's: the cords left out
    std::optional<double> totalLossDb; // mean of the two ends (first band), the cords' fibre out
    std::optional<double> orlDb;       // the worse end
    // Events that lose more at the longer band; none where no two bands could be compared.
    std::optional<int> bends;
    // Its length against the cable's own distance: its events lie at this share of the
    // closures' places (its helix in the tubes), fitted to the closures it shares.
    double lengthScale = 1;
    // What told its two ends apart, at its first band.
    Acceptance::EndsEvidence pairing;
    std::optional<Connector> launchConnector;  // with --launch, or a user offset in the files
    std::optional<Connector> receiveConnector; // with --receive
    // Each end's instrument's own front connector: at 0 m from A, at the fibre's end from B.
    std::optional<Connector> frontA;
    std::optional<Connector> frontB;
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
    QStringList reasons;
    int pageBand = 0; // the band its page shows: the first one with both ends
    // The span's events at that band as they were judged, each named as its pages name it
    // (where, sectionWhere): the matrix's closure there, a cord's connector, the end, or an
    // event of this fibre alone ("x1").
    QVector<Acceptance::JudgedEvent> events;
    // Against a baseline: its length and total loss then.
    std::optional<double> baselineLengthM;
    std::optional<double> baselineLossDb;
};

// The bends found, or "—" where no two bands could be compared (one band: none checked).
QString bendsText(const Fibre &fibre);

// What changed since a baseline (the as-built job of the same cable).
struct SinceBaseline
{
    QString label; // the baseline's folders, as given
    double thresholdDb = 0;
    double shiftM = 0;       // added to the baseline's closures to lay them on these
    QVector<int> closureOf;  // for each of this job's closures (by number - 1): the baseline's
                             // number, 0 where it had none
    QStringList newClosures; // closures the baseline had not
    QStringList goneClosures;
    QStringList changes;       // every cell, fibre or closure that changed by the threshold
    QStringList fibresWithout; // fibres the baseline does not have
    bool changed() const { return !changes.isEmpty(); }
};

struct Checks
{
    QStringList settings;       // files whose settings differ from the rest of their group
    QStringList duplicates;     // copies: the same points under two names
    QStringList repeated;       // re-shoots: one fibre, end and band measured again (noted)
    QStringList missing;        // fibres without an end or a band the others have
    QStringList lengthOutliers; // fibres more than 1 % off the cable's median length
    QStringList scaleOutliers;  // fibres whose length scale is far from the others'
    QStringList ends;           // ends the traces and the labels disagree on, or cannot tell
    // Reels at the ends counted as cable: the options that leave them out.
    QStringList cords;
    bool raised() const;
};

struct Job
{
    Options options; // as the job was run
    // Why the job has nothing to show (marks no file holds); empty when it ran.
    QString problem;
    QVector<File> files;
    QVector<int> bands; // ascending
    QVector<Closure> closures;
    QVector<Cell> matrix; // by fibre, band, closure
    QVector<Fibre> fibres;
    Checks checks;
    double toleranceM = 0;
    // With a route: the closures laid on it, and what did not fit.
    std::optional<Route::Calibration> routeCalibration;
    std::optional<SinceBaseline> baseline;
    // 0: every fibre passes, no check is raised and, against a baseline, nothing changed; 1
    // otherwise.
    int status() const;
};

// What a fibre's pages call a place on it (A's axis): the matrix's closure there, a cord's
// connector, an instrument's front connector, the end, or an event of this fibre alone ("x1");
// its flag on a plot, how a reason names it and the section before it.
struct PlaceName
{
    enum Kind { None, Closure, Front, Launch, Receive, End, Alone };
    Kind kind = None;
    int closure = 0; // its number, for a closure
    QString flag;    // "3", "C1", "CEO-07", "F", "L", "R", "fim", "x1"
    QString where;   // "emenda 3", "conector C1", …
    QString section; // "trecho antes da emenda 3", …
};
// The name of a fibre's event on A's axis, as its page, its plot and its reasons give it.
PlaceName placeName(const Job &job, const Fibre &fibre, double atM, bool end = false);

// What the job's files say of the measurement, for a cover and a workbook: when, with what,
// from where, at which bands and pulses.
struct Facts
{
    QString cable;           // the cable's id, as most files give it
    QString dates;           // "20/11/2026", "de 20/11/2026 a 21/11/2026"
    QStringList instruments; // "maker model, série serial", each once
    QString locationA;       // where end A was measured from
    QString locationB;
    QStringList bands; // "1550 nm, pulso 300 ns"
};
Facts facts(const Job &job);
// The facts as a job sheet's and a cover's rows ("Medição", "Equipamento", "Ponta A", …).
QList<QPair<QString, QString>> factRows(const Facts &facts);

// The .sor files of a folder (and its folders), in name order, or the file itself.
QStringList sorFiles(const QStringList &filesOrFolders);

Job run(const QStringList &paths, const Options &options);
// The change since the as-built in each cell of the job: the baseline's closures laid on the
// job's, each cell against the same fibre's at the same closure and band; what changed by the
// threshold or more (a loss, a fibre's length or total loss, a closure that came or went) listed.
void compareWithBaseline(Job &job, const Job &base, const QString &label, double thresholdDb);

// The checks in the order the tools show them, each with its title and what it says when it
// found nothing ("nenhuma").
struct CheckList
{
    QString title;
    QString none;
    QStringList lines;
};
QVector<CheckList> checkLists(const Checks &checks);
// The checks as lines to show: each title with its count or its "none", what it found indented,
// then the files not used and why.
QStringList checkLines(const Job &job);

// Against a baseline: its verdict, then each change, closure that came or went and fibre it
// lacks, one line each; none without a baseline.
QStringList baselineLines(const Job &job);

QJsonObject toJson(const Job &job);
// The matrix, one row per fibre, band and closure, in the CSV style given.
QString matrixCsv(const Job &job, const Sor::CsvStyle &style = Sor::CsvStyle());
// The fibre summary, the matrix of averaged losses and the checks, as text for a terminal.
QString table(const Job &job);

} // namespace Cable
