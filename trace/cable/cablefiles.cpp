#include "analysis/eventsource.h"
#include "cable/cableparts.h"

#include "acceptance/twoway.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace Cable {

namespace {

// A name without the band it often carries ("ELMMIL0001_1550" → "ELMMIL0001").
QString withoutBand(QString name)
{
    static const QRegularExpression band = [] {
        QStringList bands;
        for (const int b : Sor::Bands)
            bands << QString::number(b);
        const QString any = bands.join(QLatin1Char('|'));
        return QRegularExpression(
            QStringLiteral("[_\\-. ]?(%1)(nm|NM|Nm)?$|^(%1)(nm|NM|Nm)?[_\\-. ]?").arg(any));
    }();
    name.remove(band);
    return name;
}

// An id whose letters are two places' codes before a number ("ELMMIL0001"): the fibre as both
// ends name it (the codes in one order) and the end this file is from.
bool placesCodes(const QString &id, QString &key, QChar &end)
{
    int n = 0;
    while (n < id.size() && id.at(n).isLetter())
        ++n;
    if (n < 2 || n % 2 != 0 || n == id.size())
        return false;
    const QString here = id.left(n / 2);
    const QString there = id.mid(n / 2, n / 2);
    if (here == there)
        return false;
    const bool first = here < there;
    key = (first ? here + there : there + here) + id.mid(n);
    end = first ? QLatin1Char('A') : QLatin1Char('B');
    return true;
}

QString cableIdOf(const File &f)
{
    return f.trace.general ? f.trace.general->cableId.trimmed() : QString();
}

// One cable's id as each end may write it: in another case, or its two places' codes swapped
// ("ELM-MIL", "MIL-ELM"; "ELMMIL", "MILELM").
bool sameCable(const QString &x, const QString &y)
{
    if (x.compare(y, Qt::CaseInsensitive) == 0)
        return true;
    const QString a = x.toUpper();
    const QString b = y.toUpper();
    if (Acceptance::namedFromTheOtherEnd(a, b))
        return true;
    static const QRegularExpression separator(QStringLiteral("[-_/ ]"));
    const QStringList pa = a.split(separator);
    const QStringList pb = b.split(separator);
    return pa.size() == 2 && pb.size() == 2 && pa.at(0) == pb.at(1) && pa.at(1) == pb.at(0);
}

// A file of another cable (its id not the job's, which most files give) is set aside: it is
// no fibre of this one. A file without an id says nothing against the job's.
void keepToOneCable(QVector<File> &files)
{
    QVector<QString> ids;
    for (const File &f : files) {
        if (f.problem.isEmpty())
            ids << cableIdOf(f);
    }
    if (ids.isEmpty())
        return;
    const QString job = mostCommon(ids);
    for (File &f : files) {
        const QString own = cableIdOf(f);
        if (!f.problem.isEmpty() || own.isEmpty() || sameCable(own, job))
            continue;
        f.problem = job.isEmpty() ? QStringLiteral("é do cabo \"%1\"; os outros arquivos não "
                                                   "dizem cabo")
                                        .arg(own)
                                  : QStringLiteral("é do cabo \"%1\", não do cabo deste "
                                                   "trabalho (\"%2\")")
                                        .arg(own, job);
    }
}

QString fiberIdOf(const File &f)
{
    return f.trace.general ? f.trace.general->fiberId.trimmed() : QString();
}

Acceptance::Measurement measurementOf(const File &f)
{
    return Acceptance::measurementOf(f.name, f.trace, Acceptance::fileLink(f.trace));
}

// The end each file of a fibre is from, where the labels cannot say: the first file (in name
// order) is A, each other one A or B as the traces lay over it. What cannot be told is a
// problem.
void endsFromTraces(QVector<File *> &group)
{
    std::sort(
        group.begin(), group.end(), [](const File *x, const File *y) { return x->name < y->name; });
    const Acceptance::Measurement first = measurementOf(*group.first());
    group.first()->end = QLatin1Char('A');
    for (int i = 1; i < group.size(); ++i) {
        const Acceptance::EndsEvidence e
            = Acceptance::endsFromTraces(first, measurementOf(*group.at(i)));
        if (e.ends == Acceptance::Ends::Unknown)
            group.at(i)->problem = QStringLiteral("os rótulos não dizem de que ponta é, e os "
                                                  "traços não decidem contra %1")
                                       .arg(group.first()->name);
        else
            group.at(i)->end
                = e.ends == Acceptance::Ends::Two ? QLatin1Char('B') : QLatin1Char('A');
    }
}

// The file of a fibre's end at the band most files have, to compare fibres by.
const File *endAt(const QVector<File *> &group, QChar end, int band)
{
    const File *any = nullptr;
    for (const File *f : group) {
        if (!f->problem.isEmpty() || f->end != end)
            continue;
        if (f->bandNm == band)
            return f;
        any = any ? any : f;
    }
    return any;
}

QString locationAOf(const File &f)
{
    return f.trace.general ? f.trace.general->locationA.trimmed() : QString();
}

// The place most files were measured from, and whether every file names it (a template's
// place, which says nothing of the end).
struct Places
{
    QString locationA;
    bool onePlace = true;
};

Places placesOf(const QVector<File> &files)
{
    QVector<QString> locations;
    for (const File &f : files) {
        if (f.problem.isEmpty() && f.trace.general)
            locations << locationAOf(f);
    }
    Places places;
    places.locationA = locations.isEmpty() ? QString() : mostCommon(locations);
    places.onePlace = std::all_of(locations.cbegin(), locations.cend(), [&](const QString &l) {
        return l == places.locationA;
    });
    return places;
}

// The fibre and end from the user's two markers, in the file's name else in its fibre id;
// what decided ("names", "ids"), or nothing where neither carries just one of them.
QString endFromMarkers(File &f, const QStringList &markers, Checks &checks)
{
    const QString name = QFileInfo(f.path).completeBaseName();
    const QString id = fiberIdOf(f);
    const auto endIn = [&](const QString &text) -> QChar {
        const bool a = text.contains(markers.at(0));
        const bool b = text.contains(markers.at(1));
        return a == b ? QChar() : a ? QLatin1Char('A') : QLatin1Char('B');
    };
    const QChar byName = endIn(name);
    const QChar byId = endIn(id);
    if (byName.isNull() && byId.isNull()) {
        f.problem = QStringLiteral("nem o nome \"%1\" nem o id \"%2\" trazem só uma das "
                                   "marcas %3")
                        .arg(name, id, markers.join(QLatin1Char('/')));
        return QString();
    }
    const bool fromName = !byName.isNull();
    f.end = fromName ? byName : byId;
    const QString marker = markers.at(f.end == QLatin1Char('A') ? 0 : 1);
    f.fiber = fromName ? withoutBand(QString(name).remove(marker)) : QString(id).remove(marker);
    if (fromName && !byId.isNull() && byId != byName) {
        f.note = QStringLiteral("%1: o nome diz a ponta %2 e o id \"%3\" a ponta %4; "
                                "seguido o nome")
                     .arg(f.name, QString(byName), id, QString(byId));
        checks.ends << f.note;
    }
    return fromName ? QStringLiteral("names") : QStringLiteral("ids");
}

// The fibre from its id (else its name without the band) and the end from the places' codes
// in it, else from the place it was measured from; what decided ("ids", "labels"), or nothing
// where every file names one place and only the traces can tell.
QString endFromLabels(File &f, const Places &places)
{
    const QString id = fiberIdOf(f);
    const QString own = id.isEmpty() ? withoutBand(QFileInfo(f.path).completeBaseName()) : id;
    QString key;
    QChar end;
    if (placesCodes(own, key, end)) {
        f.fiber = key;
        f.end = end;
        return QStringLiteral("ids");
    }
    f.fiber = own;
    if (places.onePlace)
        return QString();
    f.end = locationAOf(f) == places.locationA ? QLatin1Char('A') : QLatin1Char('B');
    return QStringLiteral("labels");
}

// A template's places say nothing: each fibre's ends from its traces, then each fibre
// turned to the first one's A.
void endsFromTracesAlone(const QVector<File *> &byTraces,
                         QMap<QString, QString> &decidedBy,
                         Checks &checks)
{
    QMap<QString, QVector<File *>> groups;
    for (File *f : byTraces)
        groups[f->fiber].append(f);
    QVector<int> bands;
    for (File *f : byTraces)
        bands << f->bandNm;
    const int band = mostCommon(bands);
    const File *reference = nullptr;
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        endsFromTraces(it.value());
        decidedBy.insert(it.key(), QStringLiteral("traces"));
        const File *ownA = endAt(it.value(), QLatin1Char('A'), band);
        if (!ownA)
            continue;
        if (!reference) {
            reference = ownA;
            continue;
        }
        const Acceptance::EndsEvidence e
            = Acceptance::endsFromTraces(measurementOf(*reference), measurementOf(*ownA));
        if (e.ends == Acceptance::Ends::Two) {
            for (File *f : it.value())
                f->end = f->end == QLatin1Char('A') ? QLatin1Char('B') : QLatin1Char('A');
        } else if (e.ends == Acceptance::Ends::Unknown) {
            checks.ends << QStringLiteral("fibra %1: os traços não dizem qual ponta é a do cabo "
                                          "(contra %2); tomada a ponta de %3")
                               .arg(it.key(), reference->name, ownA->name);
        }
    }
}

} // namespace

QVector<File> readFiles(const QStringList &paths)
{
    QVector<File> files;
    for (const QString &path : sorFiles(paths)) {
        File f;
        f.path = path;
        f.name = QFileInfo(path).fileName();
        const QByteArray bytes = Sor::readBytes(path, f.problem);
        f.size = bytes.size();
        if (f.problem.isEmpty()) {
            // The points are counted and hashed, not converted: they are taken from the bytes
            // when the fibre is measured, so that memory follows the fibre at hand.
            Sor::Opened opened = Sor::openTrace(bytes, Sor::Detail::Check);
            f.problem = opened.problem;
            if (f.problem.isEmpty() && opened.trace.damaged())
                f.problem = Sor::damagedWord() + QStringLiteral(": ")
                            + Sor::damageText(opened.trace, Sor::DamageWording::Command);
            f.pointsKey = opened.trace.pointsDigest;
            // A file that stores no events is taken with the analysis' of its points.
            if (f.problem.isEmpty() && !Analysis::storesEvents(opened.trace)) {
                Sor::Trace whole = Sor::read(bytes);
                if (Analysis::supplyEvents(whole))
                    opened.trace.keyEvents = whole.keyEvents;
            }
            f.trace = std::move(opened.trace);
        }
        files.append(f);
    }
    return files;
}

QMap<QString, QString> label(QVector<File> &files, const Options &o, Checks &checks)
{
    keepToOneCable(files);
    QMap<QString, QString> decidedBy;
    const Places places = placesOf(files);
    QVector<File *> byTraces;
    for (File &f : files) {
        if (!f.problem.isEmpty())
            continue;
        f.cable = cableIdOf(f);
        f.bandNm = f.trace.wavelengthNm ? Sor::bandOf(*f.trace.wavelengthNm) : 0;
        const QString decided = o.pairMarkers.size() == 2 ? endFromMarkers(f, o.pairMarkers, checks)
                                                          : endFromLabels(f, places);
        if (!decided.isEmpty())
            decidedBy.insert(f.fiber, decided);
        else if (f.problem.isEmpty())
            byTraces << &f;
    }
    if (!byTraces.isEmpty())
        endsFromTracesAlone(byTraces, decidedBy, checks);
    return decidedBy;
}

void setAsideRepeated(QVector<File> &files, Checks &checks)
{
    QMap<QString, QVector<File *>> byEnd;
    QHash<quint64, File *> seen;
    for (File &f : files) {
        if (!f.problem.isEmpty())
            continue;
        byEnd[QStringLiteral("%1|%2|%3").arg(f.fiber).arg(f.end).arg(f.bandNm)].append(&f);
        if (File *copy = seen.value(f.pointsKey, nullptr)) {
            // The same points under another fibre or end: a copy, flagged; under the same one it
            // is set aside below.
            if (copy->fiber != f.fiber || copy->end != f.end)
                checks.duplicates << QStringLiteral("%1 e %2: os mesmos pontos, fibras %3 e %4")
                                         .arg(copy->name, f.name, copy->fiber, f.fiber);
        } else {
            seen.insert(f.pointsKey, &f);
        }
    }
    for (QVector<File *> &same : byEnd) {
        if (same.size() < 2)
            continue;
        // The newest measurement is used.
        std::sort(same.begin(), same.end(), [](const File *x, const File *y) {
            const quint32 tx = x->trace.fixed ? x->trace.fixed->dateTime : 0;
            const quint32 ty = y->trace.fixed ? y->trace.fixed->dateTime : 0;
            return tx != ty ? tx > ty : x->name < y->name;
        });
        const File *used = same.first();
        for (int i = 1; i < same.size(); ++i) {
            File *older = same.at(i);
            older->repeated = true;
            if (older->pointsKey == used->pointsKey)
                checks.duplicates << QStringLiteral("%1 e %2: os mesmos pontos, a mesma fibra %3, "
                                                    "ponta %4, %5 nm (cópias)")
                                         .arg(used->name, older->name, used->fiber)
                                         .arg(used->end)
                                         .arg(used->bandNm);
            else
                checks.repeated << QStringLiteral("fibra %1, ponta %2, %3 nm: usada %4 (%5), "
                                                  "repetida %6 (%7)")
                                       .arg(used->fiber)
                                       .arg(used->end)
                                       .arg(used->bandNm)
                                       .arg(used->name,
                                            used->trace.date ? Sor::dateText(*used->trace.date)
                                                             : QStringLiteral("sem data"),
                                            older->name,
                                            older->trace.date ? Sor::dateText(*older->trace.date)
                                                              : QStringLiteral("sem data"));
        }
    }
    checks.duplicates.sort();
}

} // namespace Cable
