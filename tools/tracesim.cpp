#include "tracesim.h"

#include "sor/sortrace.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace SorWriter {

namespace {

// The receiver's recovery after a reflection: a share of the reflection's power that fades
// over the simulation's recovery (half a pulse length unless it saturates).
constexpr double RecoveryShare = 0.05;
// Where an instrument that cuts its floor stores every level below the noise.
constexpr double ClipBelowNoiseDb = 3;

// The one-way level (dB) of the backscatter just past a distance, from the attenuation and the
// steps before it.
double idealLevel(const Simulation &s, double x)
{
    double level = -s.attenuationDbKm * x / 1000.0;
    for (const TrueEvent &e : s.events) {
        if (e.kind != TrueEvent::End && e.kind != TrueEvent::Ghost && e.positionM < x)
            level -= e.lossDb;
    }
    return level;
}

double endOf(const Simulation &s)
{
    for (const TrueEvent &e : s.events) {
        if (e.kind == TrueEvent::End)
            return e.positionM;
    }
    return std::numeric_limits<double>::infinity();
}

// Gaussian noise from a generator whose sequence is the same on every system.
class Noise
{
public:
    explicit Noise(quint32 seed)
        : engine(seed)
    {
    }
    double next()
    {
        if (spare) {
            spare = false;
            return kept;
        }
        double u1 = 0;
        while (u1 <= 0)
            u1 = uniform();
        const double u2 = uniform();
        const double radius = std::sqrt(-2.0 * std::log(u1));
        kept = radius * std::sin(2 * M_PI * u2);
        spare = true;
        return radius * std::cos(2 * M_PI * u2);
    }

private:
    double uniform() { return double(engine()) / 4294967296.0; }

    std::mt19937 engine;
    bool spare = false;
    double kept = 0;
};

} // namespace

double pulseLengthM(int pulseNs, double groupIndex)
{
    return Sor::pulseLengthM(pulseNs, groupIndex);
}

double peakHeightDb(double reflectanceDb, double backscatterDb, int pulseNs)
{
    const double ratio
        = std::pow(10.0, (reflectanceDb - backscatterDb - 10.0 * std::log10(pulseNs)) / 10.0);
    return 5.0 * std::log10(1.0 + ratio);
}

double localSnrDb(const Simulation &s, double positionM)
{
    return s.launchSnrDb + idealLevel(s, positionM);
}

std::vector<double> simulateLevels(const Simulation &s)
{
    const size_t n = size_t(std::max(s.points, 0));
    const double end = endOf(s);
    const double pulse = pulseLengthM(s.pulseNs, s.groupIndex);
    // The pulse smears the backscatter: each point sees the power of one pulse length of fibre.
    std::vector<double> power(n);
    std::vector<double> sum(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const double x = double(i) * s.spacingM;
        const double ideal = x < end && x >= s.darkM ? std::pow(10.0, idealLevel(s, x) / 5.0) : 0.0;
        sum[i + 1] = sum[i] + ideal;
    }
    const size_t span = size_t(std::max<long>(1, std::lround(pulse / s.spacingM)));
    for (size_t i = 0; i < n; ++i) {
        const size_t from = i + 1 >= span ? i + 1 - span : 0;
        power[i] = (sum[i + 1] - sum[from]) / double(i + 1 - from);
    }
    // Reflections: the pulse's length of reflected power on top, then the receiver's recovery.
    const double ceiling = std::pow(10.0, s.saturationDb / 5.0);
    for (const TrueEvent &e : s.events) {
        if (e.reflectanceDb >= 0 || e.kind == TrueEvent::Step)
            continue;
        const double height = peakHeightDb(e.reflectanceDb, s.backscatterDb, s.pulseNs);
        const double reflected = (std::pow(10.0, height / 5.0) - 1.0)
                                 * std::pow(10.0, idealLevel(s, e.positionM) / 5.0);
        const double tail = pulse * s.recoveryPulses;
        // A saturated receiver recovers from what it could take, not from what arrived.
        const double recovering = std::min(reflected, ceiling);
        for (size_t i = size_t(std::max(0.0, std::ceil(e.positionM / s.spacingM))); i < n; ++i) {
            const double past = double(i) * s.spacingM - e.positionM;
            if (past < pulse) {
                power[i] += reflected;
            } else if (s.saturationTailM > 0 && reflected > ceiling) {
                const double fade = std::pow(1 + (past - pulse) / s.saturationTailM, -2);
                if (fade < 1e-9)
                    break;
                power[i] += ceiling * fade;
            } else {
                const double fade = RecoveryShare * std::exp(-(past - pulse) / tail);
                if (fade < 1e-9)
                    break;
                power[i] += recovering * fade;
            }
        }
    }
    if (s.receiverM > 0) {
        const double keep = std::exp(-s.spacingM / s.receiverM);
        for (size_t i = 1; i < n; ++i)
            power[i] = keep * power[i - 1] + (1 - keep) * power[i];
    }
    if (s.launchTailDb > 0 && s.launchTailM > 0) {
        const double height = std::pow(10.0, s.launchTailDb / 5.0) - 1.0;
        for (size_t i = 0; i < n; ++i) {
            const double past = double(i) * s.spacingM - s.darkM;
            if (past >= 0)
                power[i] += height * std::exp(-past / s.launchTailM);
        }
    }
    if (s.launchRiseM > 0) {
        for (size_t i = 0; i < n; ++i) {
            const double past = double(i) * s.spacingM - s.darkM;
            power[i] *= past > 0 ? 1 - std::exp(-3 * past / s.launchRiseM) : 0;
        }
    }
    // Noise in the power, before the logarithm: the level's noise grows as the power falls, and
    // past the end the receiver shows the noise's magnitude, its floor. An instrument's filter
    // spreads each sample of it over several points.
    const double noise = std::pow(10.0, -s.launchSnrDb / 5.0);
    Noise random(s.seed);
    const size_t spread = size_t(std::max(1, s.noiseSpreadPoints));
    std::vector<double> samples(n + spread);
    for (double &v : samples)
        v = random.next();
    // A generator of its own, so that the noise's other samples stay what the seed makes them.
    std::mt19937 bursts(s.seed ^ 0x9e3779b9u);
    for (double &v : samples) {
        if (s.burstShare > 0 && double(bursts()) / 4294967296.0 < s.burstShare)
            v *= s.burstScale;
    }
    std::vector<double> levels(n);
    double window = 0;
    for (size_t k = 0; k < spread; ++k)
        window += samples[k];
    for (size_t i = 0; i < n; ++i) {
        const double sample = spread == 1 ? samples[i] : window / std::sqrt(double(spread));
        window += samples[i + spread] - samples[i];
        const double measured = std::min(power[i], ceiling) + noise * sample;
        if (s.noDataFloor && measured < noise) {
            levels[i] = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        if (s.clippedFloor && measured < noise) {
            levels[i] = 5.0 * std::log10(noise) - ClipBelowNoiseDb;
            continue;
        }
        levels[i] = 5.0 * std::log10(std::max(std::abs(measured), noise * 1e-3));
    }
    return levels;
}

Simulation fromOtherEnd(const Simulation &s)
{
    Simulation other = s;
    const double end = endOf(s);
    other.events.clear();
    for (const TrueEvent &e : s.events) {
        if (e.kind == TrueEvent::End || e.kind == TrueEvent::Ghost)
            continue;
        TrueEvent mirrored = e;
        mirrored.positionM = end - e.positionM;
        mirrored.lossDb = e.lossFromEndDb.value_or(e.lossDb);
        mirrored.lossFromEndDb = e.lossDb;
        other.events.prepend(mirrored);
    }
    for (const TrueEvent &e : s.events) {
        if (e.kind == TrueEvent::End)
            other.events.append(e);
    }
    other.seed = s.seed + 1;
    return other;
}

namespace {

// As an instrument stores them: measured from the span's start (spanStartM along the points),
// the events before it and past the fibre's end left out.
QList<Event>
trueEvents(const Simulation &s, qint32 groupIndex, qint32 &endToEndLoss, double spanStartM = 0)
{
    QList<Event> events;
    double total = 0;
    double endM = std::numeric_limits<double>::infinity();
    for (const TrueEvent &t : s.events) {
        if (t.kind == TrueEvent::End)
            endM = std::min(endM, t.positionM);
    }
    for (const TrueEvent &t : s.events) {
        if (t.positionM < spanStartM || t.kind == TrueEvent::Ghost
            || (t.kind != TrueEvent::End && t.positionM > endM))
            continue;
        Event e;
        e.number = qint16(events.size() + 1);
        e.time = timeFor(t.positionM - spanStartM, groupIndex);
        e.attenuation = qint16(std::lround(s.attenuationDbKm * 1000));
        const bool reflects = t.kind != TrueEvent::Step && t.reflectanceDb < 0;
        e.reflectance = reflects ? qint32(std::lround(t.reflectanceDb * 1000)) : 0;
        if (t.kind == TrueEvent::End) {
            e.code = "1E9999";
            total += s.attenuationDbKm * (t.positionM - spanStartM) / 1000.0;
        } else {
            e.loss = qint16(std::lround(t.lossDb * 1000));
            e.code = reflects ? "1F9999" : "0F9999";
            total += t.lossDb;
        }
        events.append(e);
    }
    endToEndLoss = qint32(std::lround(total * 1000));
    return events;
}

} // namespace

Trace simulatedTrace(const Simulation &s, bool withTrueEvents)
{
    Trace t;
    t.wavelength = quint16(s.wavelengthNm * 10);
    t.nominalWavelength = qint16(s.wavelengthNm);
    t.groupIndex = qint32(std::lround(s.groupIndex * 100000));
    t.backscatter = qint16(std::lround(-s.backscatterDb * 10));
    t.pulses = {{qint16(s.pulseNs), spacingFor(s.spacingM, t.groupIndex), s.points}};
    t.withEvents = withTrueEvents;
    if (withTrueEvents)
        t.events = trueEvents(s, t.groupIndex, t.endToEndLoss);
    const std::vector<double> levels = simulateLevels(s);
    double top = -std::numeric_limits<double>::infinity();
    for (double level : levels)
        top = std::isnan(level) ? top : std::max(top, level);
    Scale scale;
    scale.values.reserve(int(levels.size()));
    for (double level : levels)
        scale.values.append(
            std::isnan(level)
                ? quint16(65535)
                : quint16(std::clamp(std::lround((top - level) * 1000.0), 0L, 65534L)));
    t.data = {scale};
    return t;
}

QList<Case> offsetCases()
{
    // As the makers store them (distances): a front panel offset alone; an acquisition that
    // starts before the front panel; a launch reel's end as the user offset; all three at once.
    struct Kind
    {
        const char *name;
        const char *supplier;
        Checksum checksum;
        const char *method;
        double frontPanelM;
        double acquisitionM;
        double userM;
    };
    const Kind kinds[] = {
        {"front panel offset", "Anritsu", Checksum::XmodemBefore, "xmodem-before", 20.4, 0, 0},
        {"negative acquisition offset",
         "otdr sample generator",
         Checksum::CcittFalseBefore,
         "ccitt-false-before",
         0,
         -43.9,
         0},
        {"user offset",
         "otdr sample generator",
         Checksum::CcittFalseBefore,
         "ccitt-false-before",
         0,
         0,
         1004.4},
        {"all three offsets",
         "Noyes",
         Checksum::CcittFalseBefore,
         "ccitt-false-before",
         43.9,
         -43.9,
         503.4},
    };
    QList<Case> cases;
    quint32 seed = 27;
    for (const Kind &k : kinds) {
        Simulation s;
        s.spacingM = 1;
        s.pulseNs = 100;
        s.launchSnrDb = 32;
        s.seed = seed++;
        s.events = {{TrueEvent::Step, 1800, 0.3},
                    {TrueEvent::Reflection, 3200, 0.4, -42},
                    {TrueEvent::End, 5500, 0, -14}};
        s.points = 6300;
        Trace t = launchedTrace(s, {k.frontPanelM, k.acquisitionM, k.userM});
        t.supplier = k.supplier;
        t.checksum = k.checksum;
        cases.append({QString::fromLatin1(k.name),
                      t,
                      QStringLiteral("valid"),
                      QString::fromLatin1(k.method),
                      QString(),
                      Launch{k.frontPanelM, k.acquisitionM, k.userM}.spanStartM()});
    }
    return cases;
}

Trace launchedTrace(const Simulation &span, const Launch &launch)
{
    // Along the points: the front panel (the instrument's own fibre before it), then the
    // launch cable, then the span; its connectors reflect.
    const double start = launch.spanStartM();
    const double panel = start - launch.userM;
    Simulation s = span;
    s.points = span.points + int(std::ceil(start / span.spacingM));
    s.darkM = launch.darkInside ? panel : 0;
    s.events.clear();
    s.events.append({TrueEvent::Reflection, panel, 0.2, -50});
    if (launch.userM > 0)
        s.events.append({TrueEvent::Reflection, start, 0.3, -45});
    for (TrueEvent e : span.events) {
        e.positionM += start;
        s.events.append(e);
    }
    Trace t = simulatedTrace(s);
    t.withEvents = true;
    t.events = trueEvents(s, t.groupIndex, t.endToEndLoss, start);
    t.frontPanelOffset = timeFor(launch.frontPanelM, t.groupIndex);
    t.acquisitionOffset = timeFor(launch.acquisitionM, t.groupIndex);
    t.acquisitionOffsetDistance = qint32(std::lround(launch.acquisitionM * 10));
    t.userOffset = timeFor(launch.userM, t.groupIndex);
    t.userOffsetDistance = qint32(std::lround(launch.userM * 10));
    return t;
}

CableEnds cableFibre(int i,
                     double endM,
                     int pulseNs,
                     double launchM,
                     double receiveM,
                     double scale,
                     double frontReflectanceDb)
{
    const auto fibre = [&](int pulse) {
        Simulation s;
        s.spacingM = 2;
        s.points = 16000;
        s.pulseNs = pulse;
        s.attenuationDbKm = 0.19;
        s.launchSnrDb = 34;
        s.seed = quint32(100 + i);
        s.events = {{TrueEvent::Step, CableClosuresM[0], 0.10 + 0.01 * i, 0, 0.06 + 0.01 * i},
                    {TrueEvent::Step, CableClosuresM[1], 0.15, 0, 0.11},
                    {TrueEvent::Reflection, CableClosuresM[2], 0.40, -50},
                    {TrueEvent::End, endM, 0, -14}};
        if (launchM > 0)
            s.events.prepend({TrueEvent::Reflection, launchM, 0.30, -50});
        if (receiveM > 0)
            s.events.insert(s.events.size() - 1,
                            {TrueEvent::Reflection, endM - receiveM, 0.30, -50});
        for (TrueEvent &e : s.events)
            e.positionM *= scale;
        return s;
    };
    Simulation back = fromOtherEnd(fibre(300));
    // The far end puts the fibre's end a sample further.
    for (TrueEvent &e : back.events)
        e.positionM += 2;
    Simulation there = fibre(pulseNs);
    // Each instrument's own front connector, stored as instruments store it: no loss.
    if (frontReflectanceDb < 0) {
        there.events.prepend({TrueEvent::Reflection, 0, 0, frontReflectanceDb});
        back.events.prepend({TrueEvent::Reflection, 0, 0, frontReflectanceDb});
    }
    CableEnds ends{simulatedTrace(there, true), simulatedTrace(back, true)};
    for (Trace *t : {&ends.a, &ends.b}) {
        t->cableId = "CB-1";
        t->fiberId = QByteArray("F0") + QByteArray::number(i);
        t->locationA = t == &ends.a ? "CENTRAL" : "POSTE";
        t->locationB = t == &ends.a ? "POSTE" : "CENTRAL";
    }
    return ends;
}

QList<Case> twoEndedSamples()
{
    QList<Case> samples;
    for (const int wavelength : {1310, 1550}) {
        Simulation s;
        s.spacingM = 2;
        s.points = 14000;
        s.pulseNs = 300;
        s.wavelengthNm = wavelength;
        s.attenuationDbKm = wavelength == 1310 ? 0.33 : 0.19;
        s.launchSnrDb = 34;
        s.seed = quint32(wavelength);
        s.events = {{TrueEvent::Step, 4000, -0.05, 0, 0.25},
                    {TrueEvent::Reflection, 9500, 0.45, -48},
                    {TrueEvent::Step, 15000, 0.14, 0, 0.08},
                    {TrueEvent::Step, 19000, wavelength == 1310 ? 0.12 : 0.95, 0},
                    {TrueEvent::End, 24000, 0, -14}};
        Simulation back = fromOtherEnd(s);
        // The far end puts the fibre's end a sample further.
        for (TrueEvent &e : back.events)
            e.positionM += s.spacingM;
        for (const Simulation *one : {&s, &back}) {
            Trace t = simulatedTrace(*one, true);
            t.cableId = "CB-12";
            t.fiberId = "07";
            t.locationA = one == &s ? "CENTRAL" : "POSTE 14";
            t.locationB = one == &s ? "POSTE 14" : "CENTRAL";
            const QString name
                = QStringLiteral("%1-%2.sor").arg(wavelength).arg(one == &s ? "ab" : "ba");
            samples.append({name,
                            t,
                            QStringLiteral("valid"),
                            QStringLiteral("ccitt-false-before"),
                            QString()});
        }
    }
    return samples;
}

QList<TrueEvent> multiPulseTruth(int wavelengthNm)
{
    // The splice at 21 km is bent: it loses 0.25 dB at 1310 nm and 1.05 dB at 1550 nm.
    const bool longer = wavelengthNm > 1400;
    return {{TrueEvent::Reflection, 0, 0, -45},
            {TrueEvent::Reflection, 400, 0.35, -50},
            {TrueEvent::Step, 1500, 0.15},
            {TrueEvent::Step, 1510, 0.20},
            {TrueEvent::Step, 5000, 0.15},
            {TrueEvent::Reflection, 16000, 0.50, -45},
            {TrueEvent::Step, 21000, longer ? 1.05 : 0.25},
            {TrueEvent::End, 26000, 0, -14}};
}

QList<PulseShot> multiPulseShots(quint32 seed)
{
    struct Pulse
    {
        int ns;
        double spacingM;
        int points;
        double snrDb;
    };
    // Instruments pair a short pulse with a fine spacing and a short range.
    const Pulse pulses[] = {{20, 0.5, 16000, 13}, {200, 2, 16000, 19}, {2000, 8, 4000, 25}};
    QList<PulseShot> shots;
    for (int wavelength : {1310, 1550}) {
        for (const Pulse &p : pulses) {
            Simulation s;
            s.wavelengthNm = wavelength;
            s.attenuationDbKm = wavelength == 1310 ? 0.33 : 0.19;
            s.backscatterDb = wavelength == 1310 ? -79.4 : -81.7;
            s.pulseNs = p.ns;
            s.spacingM = p.spacingM;
            s.points = p.points;
            s.launchSnrDb = p.snrDb;
            s.seed = seed++;
            s.events = multiPulseTruth(wavelength);
            Trace t = simulatedTrace(s);
            // A technician's own thresholds: splices of 0.05 dB are events.
            t.lossThreshold = 50;
            t.cableId = "CB-50";
            t.fiberId = "F05";
            shots.append({QStringLiteral("%1_%2ns.sor").arg(wavelength).arg(p.ns), s, t});
        }
    }
    return shots;
}

double ponSplitterM(int index)
{
    return 2000 + 1500 * index;
}

Simulation ponLink(const QList<double> &splitterLossesDb, quint32 seed)
{
    Simulation s;
    s.wavelengthNm = 1625;
    s.attenuationDbKm = 0.25;
    s.backscatterDb = -82.4;
    s.pulseNs = 100;
    s.spacingM = 1;
    s.launchSnrDb = 36;
    s.seed = seed;
    s.events = {{TrueEvent::Reflection, 0, 0, -45}, {TrueEvent::Reflection, 300, 0.3, -50}};
    for (int i = 0; i < splitterLossesDb.size(); ++i) {
        if (i > 0)
            s.events.append({TrueEvent::Step, ponSplitterM(i) - 750, 0.25});
        s.events.append({TrueEvent::Step, ponSplitterM(i), splitterLossesDb.at(i)});
    }
    const double end = ponSplitterM(int(splitterLossesDb.size()) - 1) + 1500;
    s.events.append({TrueEvent::End, end, 0, -30});
    s.points = int(end / s.spacingM) + 2000;
    return s;
}

Trace ponTrace(const Simulation &simulation)
{
    Trace t = simulatedTrace(simulation);
    t.lossThreshold = 50;
    t.cableId = "PON-1";
    t.fiberId = "CTO-3";
    return t;
}

} // namespace SorWriter
