#include "cable/cablejob.h"

#include "analysis/pointloss.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <memory>

namespace Cable {

namespace {

// Two measurements of one fibre agree within this everywhere: the same trace saved twice.
constexpr double DuplicateDb = 0.01;
// A fibre longer or shorter than the cable's median by more than this share is flagged.
constexpr double LengthShare = 0.01;

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

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

// The fibre's id as the file gives it, else the file's name without its extension.
QString idOf(const File &f)
{
    const QString id = f.trace.general ? f.trace.general->fiberId.trimmed() : QString();
    return id.isEmpty() ? QFileInfo(f.path).completeBaseName() : id;
}

// Which fibre and which end each file is, by the ids' markers or by the locations.
void label(QVector<File> &files, const Options &o)
{
    QVector<QString> locations;
    for (const File &f : files) {
        if (f.problem.isEmpty() && f.trace.general)
            locations << f.trace.general->locationA.trimmed();
    }
    const QString locationA = locations.isEmpty() ? QString() : mostCommon(locations);
    for (File &f : files) {
        if (!f.problem.isEmpty())
            continue;
        f.cable = f.trace.general ? f.trace.general->cableId.trimmed() : QString();
        f.bandNm = f.trace.wavelengthNm ? bandOf(*f.trace.wavelengthNm) : 0;
        const QString id = idOf(f);
        if (o.pairMarkers.size() == 2) {
            const bool a = id.contains(o.pairMarkers.at(0));
            const bool b = id.contains(o.pairMarkers.at(1));
            if (a == b) {
                f.problem = QStringLiteral("o nome \"%1\" não traz só uma das marcas %2")
                                .arg(id, o.pairMarkers.join(QLatin1Char('/')));
                continue;
            }
            f.end = a ? QLatin1Char('A') : QLatin1Char('B');
            f.fiber = QString(id).remove(o.pairMarkers.at(a ? 0 : 1));
        } else {
            const QString here = f.trace.general ? f.trace.general->locationA.trimmed() : QString();
            f.end = here == locationA ? QLatin1Char('A') : QLatin1Char('B');
            f.fiber = id;
        }
    }
}

// A measurement's events on A's axis: B's mirrored over its own length.
QVector<double> eventsFromA(const File &f)
{
    QVector<double> at;
    const Acceptance::Link link = Acceptance::fileLink(f.trace);
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (e.end || e.marker || e.pastEnd)
            continue;
        at << (f.end == QLatin1Char('A') || !link.lengthM ? e.distanceM
                                                          : *link.lengthM - e.distanceM);
    }
    return at;
}

// One fibre at one band: its two ends, and what averaging them gave.
struct Measured
{
    const File *a = nullptr;
    const File *b = nullptr;
    // Each end's trace with its points, read again for this fibre only.
    std::shared_ptr<const Sor::Trace> pointsA;
    std::shared_ptr<const Sor::Trace> pointsB;
    std::optional<Acceptance::TwoWay> twoWay;
    Acceptance::Link link; // averaged, or the one end's
};

Measured measure(const File *a, const File *b, double toleranceM)
{
    Measured m;
    m.a = a;
    m.b = b;
    if (a)
        m.pointsA = std::make_shared<const Sor::Trace>(Sor::readFile(a->path));
    if (b)
        m.pointsB = std::make_shared<const Sor::Trace>(Sor::readFile(b->path));
    if (a && b) {
        const Acceptance::Link la = Acceptance::fileLink(*m.pointsA);
        const Acceptance::Link lb = Acceptance::fileLink(*m.pointsB);
        const Acceptance::Measurement ma = Acceptance::measurementOf(a->name, *m.pointsA, la);
        const Acceptance::Measurement mb = Acceptance::measurementOf(b->name, *m.pointsB, lb);
        if (Acceptance::directionsProblem(ma, mb).isEmpty()) {
            m.twoWay = Acceptance::averageDirections(ma, mb, toleranceM);
            m.link = Acceptance::averagedLink(*m.twoWay, la, lb);
            return m;
        }
    }
    m.link = Acceptance::fileLink((a ? a : b)->trace);
    return m;
}

// Where a distance from A lies on B's own axis.
std::optional<double> onB(const Measured &m, double fromA)
{
    if (m.twoWay && m.twoWay->lengthAM && m.twoWay->lengthBM && *m.twoWay->lengthAM > 0) {
        const double la = *m.twoWay->lengthAM;
        const double lb = *m.twoWay->lengthBM;
        return lb - (fromA - m.twoWay->shiftM) * lb / la;
    }
    const std::optional<double> length = Acceptance::fileLink(m.b->trace).lengthM;
    if (!length)
        return std::nullopt;
    return *length - fromA;
}

// One end's loss at a closure: the event it stores there, else measured on its points.
void endLoss(const File *file,
             const Measured &m,
             double closureM,
             double toleranceM,
             std::optional<double> &loss,
             How &how)
{
    if (!file)
        return;
    const bool isA = file == m.a;
    if (m.twoWay) {
        for (const Acceptance::TwoWayEvent &e : m.twoWay->events) {
            if (std::abs(e.distanceM - closureM) > toleranceM)
                continue;
            const std::optional<double> &value = isA ? e.lossAbDb : e.lossBaDb;
            if (value) {
                loss = value;
                how = (isA ? e.measuredA : e.measuredB) ? How::Measured : How::Found;
                return;
            }
        }
    } else {
        const Acceptance::Link link = Acceptance::fileLink(file->trace);
        for (const Acceptance::JudgedEvent &e : link.events) {
            const double fromA = isA || !link.lengthM ? e.distanceM : *link.lengthM - e.distanceM;
            if (!e.end && e.lossDb && std::abs(fromA - closureM) <= toleranceM) {
                loss = e.lossDb;
                how = How::Found;
                return;
            }
        }
    }
    const std::optional<double> there = isA ? std::optional<double>(closureM) : onB(m, closureM);
    if (there) {
        loss = Analysis::lossAt(isA ? *m.pointsA : *m.pointsB, *there).db;
        how = loss ? How::Measured : How::Absent;
    }
}

QVector<Closure> findClosures(const QMap<QString, QVector<double>> &eventsByFibre,
                              double toleranceM,
                              double fromM,
                              double toM)
{
    QVector<QPair<double, QString>> all;
    for (auto it = eventsByFibre.cbegin(); it != eventsByFibre.cend(); ++it) {
        for (double at : it.value()) {
            if (at > fromM + toleranceM && at < toM - toleranceM)
                all.append({at, it.key()});
        }
    }
    std::sort(all.begin(), all.end());
    const int needed = std::max(1, int(std::ceil(eventsByFibre.size() / 3.0)));
    QVector<Closure> closures;
    for (int i = 0; i < all.size();) {
        int j = i + 1;
        while (j < all.size() && all.at(j).first - all.at(j - 1).first <= toleranceM)
            ++j;
        QSet<QString> fibres;
        QVector<double> at;
        for (int k = i; k < j; ++k) {
            fibres.insert(all.at(k).second);
            at << all.at(k).first;
        }
        if (fibres.size() >= needed)
            closures.append({int(closures.size()) + 1, median(at), int(fibres.size())});
        i = j;
    }
    return closures;
}

// Files whose settings differ from the rest of the same end and band.
QStringList settingsChecks(const QVector<const File *> &files)
{
    QMap<QString, QVector<const File *>> groups;
    for (const File *f : files)
        groups[QStringLiteral("%1 %2").arg(f->end).arg(f->bandNm)].append(f);
    QStringList found;
    using Setting = std::function<QString(const File &)>;
    const QList<QPair<QString, Setting>> settings{
        {QStringLiteral("pulso"),
         [](const File &f) {
             return f.trace.fixed && !f.trace.fixed->pulseWidthsNs.isEmpty()
                        ? QStringLiteral("%1 ns").arg(f.trace.fixed->pulseWidthsNs.first())
                        : QString();
         }},
        {QStringLiteral("alcance"),
         [](const File &f) {
             return f.trace.rangeM ? Sor::kilometres(*f.trace.rangeM) : QString();
         }},
        {QStringLiteral("espaçamento"),
         [](const File &f) {
             return f.trace.spacingM ? Sor::decimal(*f.trace.spacingM, 3) + QStringLiteral(" m")
                                     : QString();
         }},
        {QStringLiteral("tempo de média"),
         [](const File &f) {
             return f.trace.fixed && f.trace.fixed->averagingTime
                        ? QStringLiteral("%1 s").arg(*f.trace.fixed->averagingTime / 10.0)
                        : QString();
         }},
        {QStringLiteral("índice de grupo"),
         [](const File &f) {
             return f.trace.groupIndex ? Sor::decimal(*f.trace.groupIndex, 5) : QString();
         }},
        {QStringLiteral("limiares"), [](const File &f) {
             return f.trace.fixed ? QStringLiteral("%1/%2/%3")
                                        .arg(f.trace.fixed->lossThreshold)
                                        .arg(f.trace.fixed->reflectanceThreshold)
                                        .arg(f.trace.fixed->endOfFiberThreshold)
                                  : QString();
         }}};
    for (const auto &group : groups) {
        if (group.size() < 3) // two files cannot say which one is odd
            continue;
        for (const auto &setting : settings) {
            QVector<QString> values;
            for (const File *f : group)
                values << setting.second(*f);
            const QString usual = mostCommon(values);
            for (int i = 0; i < group.size(); ++i) {
                if (values.at(i) != usual)
                    found << QStringLiteral("%1: %2 %3 (os outros da ponta %4 em %5 nm: %6)")
                                 .arg(group.at(i)->name,
                                      setting.first,
                                      values.at(i).isEmpty() ? QStringLiteral("—") : values.at(i))
                                 .arg(group.at(i)->end)
                                 .arg(group.at(i)->bandNm)
                                 .arg(usual.isEmpty() ? QStringLiteral("—") : usual);
            }
        }
    }
    return found;
}

// A trace's coarse shape: files that could be copies of each other share it.
QString shapeOf(const Sor::Trace &t)
{
    const std::vector<double> &y = t.levelDb;
    QString key = QString::number(y.size());
    for (int s = 0; s < 8 && !y.empty(); ++s) {
        const double v = y[y.size() * size_t(s) / 8];
        key += QLatin1Char(':')
               + (std::isnan(v) ? QStringLiteral("n") : QString::number(std::lround(v * 10)));
    }
    return key;
}

bool samePoints(const Sor::Trace &a, const Sor::Trace &b)
{
    if (a.levelDb.size() != b.levelDb.size())
        return false;
    for (size_t k = 0; k < a.levelDb.size(); ++k) {
        const double x = a.levelDb[k];
        const double y = b.levelDb[k];
        if (!((std::isnan(x) && std::isnan(y)) || std::abs(x - y) <= DuplicateDb))
            return false;
    }
    return true;
}

// Two files whose points agree within 0.01 dB everywhere but that are labelled as two fibres;
// only files of one shape are read again and compared.
QStringList duplicateChecks(const QVector<const File *> &files, const QVector<QString> &shapes)
{
    QHash<QString, QVector<const File *>> buckets;
    for (int i = 0; i < files.size(); ++i)
        buckets[shapes.at(i)].append(files.at(i));
    QStringList found;
    for (const auto &bucket : buckets) {
        if (bucket.size() < 2)
            continue;
        std::vector<Sor::Trace> traces;
        for (const File *f : bucket)
            traces.push_back(Sor::readFile(f->path));
        for (int i = 0; i < bucket.size(); ++i) {
            for (int j = i + 1; j < bucket.size(); ++j) {
                const File &a = *bucket.at(i);
                const File &b = *bucket.at(j);
                if (a.fiber == b.fiber && a.end == b.end)
                    continue;
                if (samePoints(traces[size_t(i)], traces[size_t(j)]))
                    found << QStringLiteral("%1 e %2: os mesmos pontos, fibras %3 e %4")
                                 .arg(a.name, b.name, a.fiber, b.fiber);
            }
        }
    }
    found.sort();
    return found;
}

// The event nearest a place, within the tolerance, as a connector judged by the limits.
std::optional<Connector> connectorAt(const Acceptance::Link &link,
                                     double atM,
                                     double toleranceM,
                                     const Acceptance::Limits &limits)
{
    const Acceptance::JudgedEvent *best = nullptr;
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (!e.end && std::abs(e.distanceM - atM) <= toleranceM
            && (!best || std::abs(e.distanceM - atM) < std::abs(best->distanceM - atM)))
            best = &e;
    }
    if (!best)
        return std::nullopt;
    Connector c{best->distanceM, best->lossDb, best->reflectanceDb, Acceptance::Verdict::NoLimits};
    Acceptance::Link alone;
    Acceptance::JudgedEvent e = *best;
    e.reflective = true;
    e.sectionM.reset(); // its section is the cord's: not judged here
    e.attenuationDbKm.reset();
    alone.events = {e};
    alone.lengthM = 1; // judged for its own values, not for the link's
    Acceptance::Limits connectorLimits;
    connectorLimits.connectorLossMaxDb = limits.connectorLossMaxDb;
    connectorLimits.reflectanceMaxDb = limits.reflectanceMaxDb;
    if (connectorLimits.checksAnything())
        c.verdict = Acceptance::judge(alone, connectorLimits).events.value(0).verdict;
    return c;
}

// The link of the span alone: the cords' events and fibre left out, their connectors kept.
Acceptance::Link spanLink(Acceptance::Link link, double launchM, double receiveM, double toleranceM)
{
    if (launchM <= 0 && receiveM <= 0)
        return link;
    const std::optional<double> length = link.lengthM;
    double cordsDb = 0;
    QVector<Acceptance::JudgedEvent> kept;
    std::optional<double> firstSection;
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (!firstSection && !e.end)
            firstSection = e.attenuationDbKm;
        const bool beforeSpan = launchM > 0 && e.distanceM < launchM - toleranceM;
        const bool afterSpan
            = receiveM > 0 && length && !e.end && e.distanceM > *length - receiveM + toleranceM;
        if (!beforeSpan && !afterSpan)
            kept.append(e);
    }
    if (launchM > 0 && firstSection)
        cordsDb += launchM / 1000 * *firstSection;
    std::optional<double> lastSection;
    for (const Acceptance::JudgedEvent &e : link.events) {
        if (e.end)
            lastSection = e.attenuationDbKm;
    }
    if (receiveM > 0 && lastSection)
        cordsDb += receiveM / 1000 * *lastSection;
    link.events = kept;
    if (length)
        link.lengthM = *length - launchM - receiveM;
    if (link.totalLossDb)
        link.totalLossDb = *link.totalLossDb - cordsDb;
    return link;
}

} // namespace

QString howKey(How how)
{
    switch (how) {
    case How::Found:
        return QStringLiteral("found");
    case How::Measured:
        return QStringLiteral("measured");
    case How::Absent:
        return QStringLiteral("absent");
    }
    return QString();
}

bool Checks::raised() const
{
    return !settings.isEmpty() || !duplicates.isEmpty() || !missing.isEmpty()
           || !lengthOutliers.isEmpty();
}

int Job::status() const
{
    if (checks.raised())
        return 1;
    for (const Fibre &f : fibres) {
        if (f.verdict == Acceptance::Verdict::Fail || f.verdict == Acceptance::Verdict::Unknown)
            return 1;
    }
    for (const File &f : files) {
        if (!f.problem.isEmpty())
            return 1;
    }
    return 0;
}

QStringList sorFiles(const QStringList &filesOrFolders)
{
    QStringList found;
    for (const QString &path : filesOrFolders) {
        if (!QFileInfo(path).isDir()) {
            found << path;
            continue;
        }
        QStringList inside;
        QDirIterator it(path,
                        {QStringLiteral("*.sor"), QStringLiteral("*.SOR")},
                        QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            inside << it.next();
        inside.sort();
        found << inside;
    }
    return found;
}

int bandOf(double wavelengthNm)
{
    for (int band : {1310, 1383, 1490, 1550, 1625}) {
        if (std::abs(wavelengthNm - band) <= 30)
            return band;
    }
    return int(std::lround(wavelengthNm));
}

Job run(const QStringList &paths, const Options &o)
{
    Job job;
    QHash<QString, QString> shapes; // by path
    for (const QString &path : sorFiles(paths)) {
        File f;
        f.path = path;
        f.name = QFileInfo(path).fileName();
        const QString unreadable = Sor::unreadableReason(path);
        if (!unreadable.isEmpty()) {
            f.problem = unreadable;
        } else {
            f.trace = Sor::readFile(path);
            if (f.trace.points() == 0)
                f.problem = f.trace.errors.value(0, QStringLiteral("o arquivo não traz pontos"));
            else if (f.trace.damaged())
                f.problem = Sor::damagedWord() + QStringLiteral(": ")
                            + Sor::damageText(f.trace, Sor::DamageWording::Command);
            shapes.insert(path, shapeOf(f.trace));
            // The points are read again when the fibre is measured.
            f.trace.distanceM = std::vector<double>();
            f.trace.levelDb = std::vector<double>();
        }
        job.files.append(f);
    }
    label(job.files, o);

    // The usable files by fibre, band and end; the tolerance from the coarsest of them.
    QVector<const File *> usable;
    QMap<QString, QMap<int, QPair<const File *, const File *>>> byFibre;
    double toleranceM = o.toleranceM;
    QSet<int> bands;
    for (const File &f : job.files) {
        if (!f.problem.isEmpty())
            continue;
        usable << &f;
        bands.insert(f.bandNm);
        auto &ends = byFibre[f.fiber][f.bandNm];
        const File *&slot = f.end == QLatin1Char('A') ? ends.first : ends.second;
        if (slot)
            job.checks.duplicates << QStringLiteral("%1 e %2: a mesma fibra %3, ponta %4, %5 nm")
                                         .arg(slot->name, f.name, f.fiber)
                                         .arg(f.end)
                                         .arg(f.bandNm);
        else
            slot = &f;
        if (o.toleranceM <= 0) {
            const int pulse = f.trace.fixed && !f.trace.fixed->pulseWidthsNs.isEmpty()
                                  ? f.trace.fixed->pulseWidthsNs.first()
                                  : 0;
            toleranceM = std::max(
                {toleranceM,
                 Sor::pulseLengthM(pulse, f.trace.groupIndex.value_or(Sor::DefaultGroupIndex)),
                 3 * f.trace.spacingM.value_or(0)});
        }
    }
    job.toleranceM = toleranceM;
    job.bands = QVector<int>(bands.cbegin(), bands.cend());
    std::sort(job.bands.begin(), job.bands.end());

    // Where the fibres' events agree, from each file's own events (B's mirrored on its length).
    QMap<QString, QVector<double>> eventsByFibre;
    QVector<double> lengths;
    for (const File *f : usable) {
        eventsByFibre[f->fiber] << eventsFromA(*f);
        const std::optional<double> length = Acceptance::fileLink(f->trace).lengthM;
        if (length)
            lengths << *length;
    }
    const double cableLength = median(lengths);
    const double launch = o.launchM.value_or(0);
    const double receive = o.receiveM.value_or(0);
    if (!o.referencePath.isEmpty()) {
        File ref;
        ref.trace = Sor::readFile(o.referencePath);
        ref.end = QLatin1Char('A');
        for (double d : eventsFromA(ref)) {
            if (d > launch + toleranceM && d < cableLength - receive - toleranceM)
                job.closures.append({int(job.closures.size()) + 1, d, 0});
        }
    } else {
        job.closures = findClosures(eventsByFibre, toleranceM, launch, cableLength - receive);
    }
    const bool twoEnded = std::any_of(
        usable.cbegin(), usable.cend(), [](const File *f) { return f->end == QLatin1Char('B'); });

    // Fibre by fibre, with only that fibre's points in memory: the matrix and its summary.
    for (auto fibre = byFibre.cbegin(); fibre != byFibre.cend(); ++fibre) {
        QMap<int, Measured> byBand;
        for (auto band = fibre.value().cbegin(); band != fibre.value().cend(); ++band)
            byBand[band.key()] = measure(band.value().first, band.value().second, toleranceM);
        Fibre summary;
        summary.fiber = fibre.key();
        for (const Measured &m : byBand) {
            for (const File *f : {m.a, m.b}) {
                if (f) {
                    summary.files << f->name;
                    if (summary.cable.isEmpty())
                        summary.cable = f->cable;
                }
            }
        }
        for (const Closure &c : job.closures) {
            for (auto band = byBand.cbegin(); band != byBand.cend(); ++band) {
                const Measured &m = band.value();
                Cell cell;
                cell.fiber = fibre.key();
                cell.bandNm = band.key();
                cell.closure = c.number;
                endLoss(m.a, m, c.distanceM, toleranceM, cell.lossAbDb, cell.howAb);
                endLoss(m.b, m, c.distanceM, toleranceM, cell.lossBaDb, cell.howBa);
                if (cell.lossAbDb && cell.lossBaDb)
                    cell.lossDb = (*cell.lossAbDb + *cell.lossBaDb) / 2;
                else
                    cell.lossDb = cell.lossAbDb ? cell.lossAbDb : cell.lossBaDb;
                if (o.limits.spliceLossMaxDb)
                    cell.verdict = !cell.lossDb ? Acceptance::Verdict::Unknown
                                   : *cell.lossDb > *o.limits.spliceLossMaxDb
                                       ? Acceptance::Verdict::Fail
                                       : Acceptance::Verdict::Pass;
                job.matrix.append(cell);
            }
        }
        // The fibre's figures at its first band, judged on the averaged values of the span.
        const Measured &first = byBand.first();
        if (launch > 0)
            summary.launchConnector = connectorAt(first.link, launch, toleranceM, o.limits);
        if (receive > 0 && first.link.lengthM)
            summary.receiveConnector
                = connectorAt(first.link, *first.link.lengthM - receive, toleranceM, o.limits);
        const Acceptance::Link span = spanLink(first.link, launch, receive, toleranceM);
        summary.lengthM = span.lengthM;
        summary.totalLossDb = span.totalLossDb;
        summary.orlDb = span.orlDb;
        const Acceptance::Judgement j = Acceptance::judge(span, o.limits);
        summary.verdict = j.verdict;
        summary.reasons = j.reasons;
        for (const auto &cord :
             {std::make_pair(QStringLiteral("lançamento"), summary.launchConnector),
              std::make_pair(QStringLiteral("recepção"), summary.receiveConnector)}) {
            if (!cord.second || cord.second->verdict != Acceptance::Verdict::Fail)
                continue;
            summary.verdict = Acceptance::Verdict::Fail;
            summary.reasons << QStringLiteral("conector do cordão de %1 (%2): fora do limite")
                                   .arg(cord.first, Sor::kilometres(cord.second->distanceM));
        }
        // Bends: the A end at its shortest band against each longer one.
        if (byBand.size() > 1 && first.a) {
            const Acceptance::Measurement shorter = Acceptance::measurementOf(
                first.a->name, *first.pointsA, Acceptance::fileLink(*first.pointsA));
            for (auto band = std::next(byBand.cbegin()); band != byBand.cend(); ++band) {
                const Measured &m = band.value();
                if (!m.a)
                    continue;
                const Acceptance::Measurement longer = Acceptance::measurementOf(
                    m.a->name, *m.pointsA, Acceptance::fileLink(*m.pointsA));
                if (Acceptance::wavelengthsProblem(shorter, longer).isEmpty())
                    summary.bends += Acceptance::compareWavelengths(
                                         shorter, longer, o.bendThresholdDb, toleranceM)
                                         .bends();
            }
        }
        if (summary.bends > 0 && summary.verdict == Acceptance::Verdict::Pass)
            summary.reasons << QStringLiteral("%1 curvatura(s)").arg(summary.bends);

        // What this fibre lacks that the job has.
        for (int band : job.bands) {
            const auto it = byBand.constFind(band);
            if (it == byBand.cend()) {
                job.checks.missing
                    << QStringLiteral("fibra %1: nada em %2 nm").arg(fibre.key()).arg(band);
                continue;
            }
            if (!it.value().a)
                job.checks.missing << QStringLiteral("fibra %1: falta a ponta A em %2 nm")
                                          .arg(fibre.key())
                                          .arg(band);
            if (twoEnded && !it.value().b)
                job.checks.missing << QStringLiteral("fibra %1: falta a ponta B em %2 nm")
                                          .arg(fibre.key())
                                          .arg(band);
        }
        const double spanLength = cableLength - launch - receive;
        if (summary.lengthM && spanLength > 0
            && std::abs(*summary.lengthM - spanLength) > LengthShare * spanLength) {
            job.checks.lengthOutliers
                << QStringLiteral("fibra %1: %2, %3 % da mediana do cabo (%4)")
                       .arg(fibre.key(),
                            Sor::kilometres(*summary.lengthM),
                            Sor::decimal(100 * (*summary.lengthM - spanLength) / spanLength, 1),
                            Sor::kilometres(spanLength));
        }
        job.fibres.append(summary);
    }
    job.checks.settings = settingsChecks(usable);
    QVector<QString> usableShapes;
    for (const File *f : usable)
        usableShapes << shapes.value(f->path);
    job.checks.duplicates << duplicateChecks(usable, usableShapes);
    return job;
}

} // namespace Cable
