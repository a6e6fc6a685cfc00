#include "linkmerge/shots.h"

#include "acceptance/fibreids.h"
#include "sor/linesums.h"
#include "sor/sortext.h"

#include <cmath>

namespace LinkMerge {

namespace {

// Where the backscatter's spread about its own line passes this (dB) for good, the trace has
// sunk into its noise: a loss read there is the noise's.
constexpr double FadedSpreadDb = 0.5;
// Stretches of this many windows in a row past that spread end the reach (one alone may be a
// reflection).
constexpr int FadedWindows = 3;

double pulseLength(const Shot &s)
{
    const double n = s.trace && s.trace->groupIndex && *s.trace->groupIndex > 1
                         ? *s.trace->groupIndex
                         : Sor::DefaultGroupIndex;
    return Sor::pulseLengthM(s.pulseNs, n);
}

// The spread (dB) of levels [from, to) about their least-squares line; NaN when too few of them
// are levels at all ("no data").
double
spreadAboutLine(const std::vector<double> &x, const std::vector<double> &y, size_t from, size_t to)
{
    Sor::LineSums sums;
    for (size_t i = from; i < to; ++i) {
        if (!std::isnan(y[i]))
            sums.add(x[i], y[i]);
    }
    const double n = sums.n;
    if (n < 0.5 * double(to - from) || n < 4)
        return std::numeric_limits<double>::quiet_NaN();
    const double slope = sums.determinant() != 0 ? sums.slope() : 0;
    const double intercept = (sums.sy - slope * sums.sx) / n;
    double ss = 0;
    for (size_t i = from; i < to; ++i) {
        if (!std::isnan(y[i])) {
            const double r = y[i] - (intercept + slope * x[i]);
            ss += r * r;
        }
    }
    return std::sqrt(ss / n);
}

// Where a trace that finds no end sinks into its noise for good: the start of the first run of
// windows whose spread passes FadedSpreadDb; the last point when it never does.
double fadeM(const Sor::Trace &t, const Shot &s)
{
    const std::vector<double> &x = t.distanceM;
    const std::vector<double> &y = t.levelDb;
    if (x.empty())
        return 0;
    const double pulsePoints = s.spacingM > 0 ? pulseLength(s) / s.spacingM : 1;
    const size_t window = size_t(std::max(32.0, 4 * pulsePoints));
    size_t first = 0;
    while (first < x.size() && x[first] < s.deadZoneM)
        ++first;
    int faded = 0;
    size_t fadeStart = 0;
    for (size_t from = first; from + window <= x.size(); from += window) {
        const double spread = spreadAboutLine(x, y, from, from + window);
        if (std::isnan(spread) || spread > FadedSpreadDb) {
            if (faded++ == 0)
                fadeStart = from;
            if (faded >= FadedWindows)
                return x[fadeStart];
        } else {
            faded = 0;
        }
    }
    return x.back();
}

QString idsText(const Shot &s)
{
    return Acceptance::idsText(s.cableId, s.fiberId);
}

bool hasIds(const Shot &s)
{
    return !s.cableId.isEmpty() || !s.fiberId.isEmpty();
}

// Two shots' ids vouch for one fibre where one kind of id is in both files and agrees.
bool idsVouch(const Shot &a, const Shot &b)
{
    const auto same = [](const QString &x, const QString &y) { return !x.isEmpty() && x == y; };
    return same(a.cableId, b.cableId) || same(a.fiberId, b.fiberId);
}

// Two shots whose cable or fibre ids differ (where both have one): why they are no one fibre.
QString idsProblem(const QVector<Shot> &shots)
{
    const auto differ
        = [](const QString &x, const QString &y) { return !x.isEmpty() && !y.isEmpty() && x != y; };
    for (int i = 0; i < shots.size(); ++i) {
        for (int j = i + 1; j < shots.size(); ++j) {
            const Shot &a = shots.at(i);
            const Shot &b = shots.at(j);
            if (differ(a.cableId, b.cableId) || differ(a.fiberId, b.fiberId)) {
                return QStringLiteral("são fibras diferentes: %1 em %2, %3 em %4")
                    .arg(idsText(a), a.name, idsText(b), b.name);
            }
        }
    }
    return QString();
}

// "CENTRAL–CAIXA": where a shot was taken from and towards; empty where the file says neither.
QString placesText(const Shot &s)
{
    if (!s.trace || !s.trace->general)
        return QString();
    const Sor::GeneralParameters &g = *s.trace->general;
    const QString a = g.locationA.trimmed();
    const QString b = g.locationB.trimmed();
    return a.isEmpty() && b.isEmpty() ? QString() : QStringLiteral("%1–%2").arg(a, b);
}

// The instrument by its maker, model and serial number; empty where the file gives no serial.
QString instrumentText(const Shot &s)
{
    if (!s.trace || !s.trace->supplier || s.trace->supplier->mainframeSerial.trimmed().isEmpty())
        return QString();
    const Sor::SupplierParameters &p = *s.trace->supplier;
    return QStringList{p.supplier.trimmed(), p.mainframe.trimmed(), p.mainframeSerial.trimmed()}
        .join(QLatin1Char(' '))
        .trimmed();
}

// Where ids name each shot but no kind of id is in both files, nothing vouches for one fibre:
// then the places and the instrument, where both files give them, must agree, since one
// fibre's shots from one end are taken there, one after another, by one instrument.
QString unvouchedProblem(const QVector<Shot> &shots)
{
    for (int i = 0; i < shots.size(); ++i) {
        for (int j = i + 1; j < shots.size(); ++j) {
            const Shot &a = shots.at(i);
            const Shot &b = shots.at(j);
            if (idsVouch(a, b) || (!hasIds(a) && !hasIds(b)))
                continue;
            const QList<std::pair<QString, std::pair<QString, QString>>> evidence{
                {QStringLiteral("os locais"), {placesText(a), placesText(b)}},
                {QStringLiteral("os instrumentos"), {instrumentText(a), instrumentText(b)}}};
            for (const auto &e : evidence) {
                const QString &x = e.second.first;
                const QString &y = e.second.second;
                if (x.isEmpty() || y.isEmpty() || x == y)
                    continue;
                return QStringLiteral("são fibras diferentes: não há identificação comum (%1 em "
                                      "%2, %3 em %4) e %5 diferem (%6 em %2, %7 em %4)")
                    .arg(idsText(a), a.name, idsText(b), b.name, e.first, x, y);
            }
        }
    }
    return QString();
}

// A fibre ends once: a shot's end where another, ending past it, sees nothing at all is
// another fibre's end. Only found ends count: where a trace fades is a guess of the noise.
QString endsProblem(const QVector<Shot> &shots)
{
    for (const Shot &a : shots) {
        if (!a.endFound)
            continue;
        for (const Shot &b : shots) {
            const double tol = a.resolutionM + b.resolutionM;
            if (&a == &b || !b.endFound || b.reachM <= a.reachM + tol)
                continue;
            bool seen = false;
            for (const Analysis::Event &e : b.analysis.events)
                seen = seen || std::abs(e.distanceM - a.reachM) <= tol;
            if (!seen) {
                return QStringLiteral("não são a mesma fibra: %1 termina em %2, mas %3 segue até "
                                      "%4 sem evento ali")
                    .arg(shotText(a),
                         Sor::kilometres(a.reachM),
                         shotText(b),
                         Sor::kilometres(b.reachM));
            }
        }
    }
    return QString();
}

} // namespace

bool givesEventsAt(const Shot &shot, double distanceM)
{
    const double last = shot.endFound ? shot.reachM : shot.reachM - shot.resolutionM;
    return distanceM >= shot.deadZoneM && distanceM <= last;
}

QString shotText(const Shot &shot)
{
    return QStringLiteral("%1 (%2 ns)").arg(shot.name).arg(shot.pulseNs);
}

Shot shotOf(const QString &name, const Sor::Trace &trace, const Analysis::Result &analysis)
{
    Shot s;
    s.name = name;
    s.trace = std::make_shared<const Sor::Trace>(trace);
    s.analysis = analysis;
    if (trace.fixed && !trace.fixed->pulseWidthsNs.isEmpty())
        s.pulseNs = trace.fixed->pulseWidthsNs.first();
    s.spacingM = trace.spacingM.value_or(0);
    const int nominal = trace.general ? trace.general->nominalWavelengthNm : 0;
    s.wavelengthNm = trace.wavelengthNm.value_or(nominal);
    s.band = nominal > 0                      ? Sor::bandOf(nominal)
             : trace.wavelengthNm.has_value() ? Sor::bandOf(*trace.wavelengthNm)
                                              : 0;
    if (trace.general) {
        s.cableId = trace.general->cableId.trimmed();
        s.fiberId = trace.general->fiberId.trimmed();
    }
    s.resolutionM = Sor::eventToleranceM(trace);
    // The front connector blinds the receiver for two pulse lengths past its top, and a long
    // pulse's receiver recovers for some more (seen: up to five).
    s.deadZoneM = 5 * pulseLength(s) + 2 * s.spacingM;
    s.endFound = analysis.fiberEndM.has_value() && *analysis.fiberEndM > 0;
    s.reachM = s.endFound ? *analysis.fiberEndM : fadeM(trace, s);
    return s;
}

QString oneFibreProblem(const QVector<Shot> &shots, bool sameFibre)
{
    if (shots.isEmpty())
        return QStringLiteral("nenhum traço para juntar");
    for (const Shot &s : shots) {
        if (!s.trace || s.trace->points() == 0 || s.pulseNs <= 0 || s.spacingM <= 0)
            return QStringLiteral("%1 não traz pontos, pulso e espaçamento").arg(s.name);
        if (s.band <= 0)
            return QStringLiteral("o comprimento de onda de %1 não é conhecido").arg(s.name);
    }
    if (!sameFibre) {
        for (const QString &why : {idsProblem(shots), unvouchedProblem(shots)}) {
            if (!why.isEmpty())
                return why;
        }
    }
    return endsProblem(shots);
}

QString oneFibreDoubt(const QVector<Shot> &shots)
{
    for (int i = 0; i < shots.size(); ++i) {
        for (int j = i + 1; j < shots.size(); ++j) {
            const Shot &a = shots.at(i);
            const Shot &b = shots.at(j);
            if (!idsVouch(a, b) && (hasIds(a) || hasIds(b))) {
                return QStringLiteral("não há identificação comum: confira que é a mesma fibra "
                                      "(%1 em %2, %3 em %4)")
                    .arg(idsText(a), a.name, idsText(b), b.name);
            }
        }
    }
    return QString();
}

} // namespace LinkMerge
