#pragma once

#include "cable/cablejob.h"

#include <QMap>

#include <functional>

#include <memory>

// The cable job's steps, each in a file of its own: the files read and told apart, the closures
// placed, each fibre measured.
namespace Cable {

// cablefiles.cpp
// Each file read once: its trace without points, its bytes kept for its fibre's measurement, a
// key of its points, why it cannot be used.
QVector<File> readFiles(const QStringList &paths);
// Which fibre, end and band each file is: by the markers in the names (else the ids), by the
// ids that swap the places' codes, by the places, and where every file names the same place (a
// template's) by the traces; each fibre turned to the cable's own A; what decided, by fibre.
QMap<QString, QString> label(QVector<File> &files, const Options &options, Checks &checks);
// Copies (the same points) and re-shoots (one fibre, end and band measured again): the newest
// of a re-shoot is used, the others set aside and listed.
void setAsideRepeated(QVector<File> &files, Checks &checks);

// cableclosures.cpp
// An event seen on one end of a fibre, on A's axis.
struct Witness
{
    double atM = 0;
    QChar end;
    bool reflective = false;
};
struct FibreEvents
{
    QVector<Witness> events;
    std::optional<double> lengthM;
};
struct Placement
{
    QVector<Closure> closures;   // in the cable's own distance
    QMap<QString, double> scale; // by fibre: its events lie at scale × the closures' places
};
// Where the fibres' events agree once each fibre's length scale is taken out: a closure is an
// event two fibres share, or both ends of one; each fibre's scale fitted to the closures it
// shares, the cable's own distance being the median fibre's.
Placement placeClosures(const QMap<QString, FibreEvents> &byFibre,
                        double toleranceM,
                        double fromM,
                        double toM);

// cablecells.cpp
// One fibre at one band: its two ends, and what averaging them gave.
struct Measured
{
    const File *a = nullptr;
    const File *b = nullptr;
    // Each end's trace with its points, taken from the bytes read for this fibre.
    std::shared_ptr<const Sor::Trace> pointsA;
    std::shared_ptr<const Sor::Trace> pointsB;
    std::optional<Acceptance::TwoWay> twoWay;
    Acceptance::Link link; // averaged, or the one end's
};

// Reads the fibre's two ends' points and averages them where they are two ends of one fibre.
Measured measure(const File *a, const File *b, double toleranceM);
// One fibre's cells at every closure and band: each end's loss at its own place of the closure,
// its events on the cable's distance at `scale`, each judged as its fibre is (`judged`: each
// band's span). Returns why a cell the judged links do not hold breaks a limit.
QStringList fillCells(Job &job,
                      const QString &fiber,
                      const QMap<int, Measured> &byBand,
                      const QMap<int, Acceptance::Judgement> &judged,
                      double scale,
                      const Options &o);

// cablefibre.cpp
// Where a fibre's cords end: as given, or a launch reel's end at the axis' 0 where A's files
// carry a user offset.
struct Cords
{
    double launchM = 0;
    double receiveM = 0;
    bool launchAtStart = false;
};
Cords cordsOf(const Measured &m, const Options &o);
// A band's link without its cords (their events, connectors, length and fibre loss) and without
// the instruments' own front connectors, which are kept apart.
struct Span
{
    Acceptance::Link link;
    std::optional<Connector> frontA;
    std::optional<Connector> frontB; // on A's axis
};
Span spanOf(const Measured &m, const Cords &cords, double toleranceM);
// Each band's span judged by the limits, its events named after the job's closures (`scale`:
// the fibre's length scale).
QMap<int, Acceptance::Judgement>
judgedBands(const QMap<int, Measured> &byBand, const Job &job, double scale, const Options &o);
// The fibre's figures at its first band; its verdict the worst of its bands' (`judged`); its
// cords' connectors; its bends; what told its ends apart.
Fibre summarised(const QString &fiber,
                 const QMap<int, Measured> &byBand,
                 const QMap<int, Acceptance::Judgement> &judged,
                 double toleranceM,
                 const Options &o);

// cablenames.cpp
// Each event named as the fibre's pages name it: at a closure (within the tolerance of its
// place on this fibre, `scale` × the cable's distance) after it, and judged as its kind (a
// connector's events as connectors); the end; any other "x1", "x2", … along the fibre. `onA`
// gives an event's place from A.
void nameEvents(QVector<Acceptance::JudgedEvent> &events,
                const Job &job,
                double scale,
                const std::function<double(double)> &onA);
// The closure nearest a place on a fibre, within the tolerance; none where none is.
const Closure *closureNear(const Job &job, double scale, double atM);

// cablechecks.cpp
// Files whose settings differ from the rest of the same end and band.
QStringList settingsChecks(const QVector<const File *> &files);
// What a fibre lacks that the job has, and whether its length is the cable's.
void fibreChecks(Job &job,
                 const QString &fiber,
                 const QMap<int, Measured> &byBand,
                 const Fibre &summary,
                 bool twoEnded,
                 double spanLength);
// Fibres whose length scale lies far from the others'.
QStringList scaleChecks(const QVector<Fibre> &fibres);

// The shared median, on the cable's vectors.
double median(const QVector<double> &values);

// The value most files of a group share.
template<typename T>
T mostCommon(const QVector<T> &values)
{
    QMap<T, int> counts;
    for (const T &v : values)
        ++counts[v];
    T best = values.value(0);
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    }
    return best;
}

} // namespace Cable
