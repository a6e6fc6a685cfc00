// The analysis against traces whose truth is known: detection, location, loss and fibre end,
// split by the local signal-to-noise ratio, and the time it takes.
#include "analysis/analysis.h"
#include "tracesim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using SorWriter::Simulation;
using SorWriter::TrueEvent;

// A fibre of random make, seeded: pulse widths from 10 ns to 10 us, a spacing that gives the
// pulse 2 to 200 points (as instruments pair them) within 0.1 to 20 m, 2 to 8 events at least
// two pulse lengths apart, an end with or without a reflection, and launch signal-to-noise
// ratios from marginal to high.
Simulation randomFibre(quint32 seed)
{
    std::mt19937 random(seed);
    auto uniform
        = [&](double lo, double hi) { return lo + (hi - lo) * double(random()) / 4294967296.0; };
    const int pulses[] = {10, 30, 100, 300, 1000, 3000, 10000};
    Simulation s;
    s.seed = seed;
    s.pulseNs = pulses[random() % 7];
    s.wavelengthNm = random() % 2 ? 1550 : 1310;
    s.attenuationDbKm = (s.wavelengthNm == 1550 ? 0.19 : 0.33) + uniform(-0.02, 0.02);
    s.backscatterDb = Analysis::defaultBackscatterDb(s.wavelengthNm);
    const double pulse = SorWriter::pulseLengthM(s.pulseNs, s.groupIndex);
    const double lo = std::max(0.1, pulse / 200);
    const double hi = std::min(20.0, pulse / 2);
    s.spacingM = std::exp(uniform(std::log(lo), std::log(std::max(lo, hi))));
    s.launchSnrDb = uniform(12, 40);
    const double length = std::min(0.85 * s.points * s.spacingM, 80000.0);
    const double margin = 3 * pulse + 10 * s.spacingM;
    const int count = 2 + int(random() % 7);
    QList<double> at;
    for (int tries = 0; at.size() < count && tries < 200; ++tries) {
        const double x = uniform(margin, length - margin);
        const bool clear = std::all_of(at.cbegin(), at.cend(), [&](double y) {
            return std::abs(x - y) >= 2 * pulse + 4 * s.spacingM + 3 * pulse;
        });
        if (clear)
            at.append(x);
    }
    std::sort(at.begin(), at.end());
    for (double x : at) {
        const double kind = uniform(0, 1);
        if (kind < 0.5)
            s.events.append({TrueEvent::Step, x, uniform(0.02, 0.6), 0});
        else if (kind < 0.6)
            s.events.append({TrueEvent::Step, x, -uniform(0.05, 0.3), 0});
        else
            s.events.append({TrueEvent::Reflection, x, uniform(0.05, 0.8), uniform(-70, -30)});
    }
    s.events.append({TrueEvent::End, length, 0, random() % 2 ? uniform(-16, -14) : 0.0});
    return s;
}

struct Tally
{
    int trueCount = 0;
    int found = 0;
    int falseFound = 0;
    std::vector<double> location;      // points
    std::vector<double> locationLimit; // 2 points + 1 m, in points
    std::vector<double> loss;
};

double percentile(std::vector<double> v, double share)
{
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(share * double(v.size() - 1) + 0.5))];
}

int snrBin(double snr)
{
    return snr < 10 ? 0 : snr < 15 ? 1 : snr < 20 ? 2 : snr < 30 ? 3 : 4;
}
const char *const BinNames[] = {"< 10 dB", "10-15 dB", "15-20 dB", "20-30 dB", ">= 30 dB"};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption tracesOption("traces", "Simulated traces.", "N", "1000");
    const QCommandLineOption showOption(
        "show", "Print the truth and the findings of trace N.", "N");
    const QCommandLineOption missesOption("misses",
                                          "Name the traces with a missed event or a wrong end.");
    parser.addOptions({tracesOption, showOption, missesOption});
    parser.process(app);
    const int count = parser.value(tracesOption).toInt();
    QTextStream out(stdout);

    Tally bins[5];
    std::vector<double> endError;
    double seconds = 0;
    qint64 points = 0;
    for (int c = 0; c < count; ++c) {
        const Simulation s = randomFibre(quint32(1000 + c));
        const std::vector<double> levels = SorWriter::simulateLevels(s);
        const Analysis::Input input{levels.data(),
                                    levels.size(),
                                    s.spacingM,
                                    s.pulseNs,
                                    s.groupIndex,
                                    s.backscatterDb,
                                    0,
                                    {}};
        QElapsedTimer timer;
        timer.start();
        const Analysis::Result r = Analysis::analyze(input);
        seconds += timer.nsecsElapsed() / 1e9;
        points += qint64(levels.size());

        if (parser.isSet(showOption) && parser.value(showOption).toInt() == c) {
            out << QString("pulse %1 ns, spacing %2 m, snr %3 dB, %4 points\n")
                       .arg(s.pulseNs)
                       .arg(s.spacingM)
                       .arg(s.launchSnrDb)
                       .arg(levels.size());
            for (const TrueEvent &e : s.events)
                out << QString("  true  %1 m  kind %2  loss %3  refl %4  snr %5\n")
                           .arg(e.positionM, 0, 'f', 1)
                           .arg(int(e.kind))
                           .arg(e.lossDb, 0, 'f', 3)
                           .arg(e.reflectanceDb, 0, 'f', 1)
                           .arg(SorWriter::localSnrDb(s, e.positionM), 0, 'f', 1);
            for (const Analysis::Event &e : r.events)
                out << QString("  found %1 m  %2  loss %3  refl %4\n")
                           .arg(e.distanceM, 0, 'f', 1)
                           .arg(Analysis::typeName(e.type))
                           .arg(e.lossDb, 0, 'f', 3)
                           .arg(e.reflectanceDb.value_or(0), 0, 'f', 1);
            out << "  end " << r.fiberEndM.value_or(-1) << " total " << r.totalLossDb.value_or(-1)
                << " orl " << r.orlDb.value_or(-1) << "\n";
        }
        const double pulse = SorWriter::pulseLengthM(s.pulseNs, s.groupIndex);
        const double tolerance = pulse + 3 * s.spacingM;
        std::vector<bool> used(r.events.size(), false);
        for (const TrueEvent &e : s.events) {
            if (e.kind == TrueEvent::End) {
                if (r.fiberEndM)
                    endError.push_back(std::abs(*r.fiberEndM - e.positionM) / s.spacingM);
                else
                    endError.push_back(1e9);
                if (parser.isSet(missesOption) && endError.back() > 2)
                    out << "end: trace " << c << " off by " << endError.back() << " points\n";
                continue;
            }
            const bool detectable = std::abs(e.lossDb) >= 0.1
                                    || (e.kind == TrueEvent::Reflection && e.reflectanceDb >= -60);
            if (!detectable)
                continue;
            Tally &bin = bins[snrBin(SorWriter::localSnrDb(s, e.positionM))];
            ++bin.trueCount;
            int best = -1;
            for (size_t k = 0; k < r.events.size(); ++k) {
                if (!used[k] && r.events[k].type != Analysis::EventType::End
                    && std::abs(r.events[k].distanceM - e.positionM) <= tolerance
                    && (best < 0
                        || std::abs(r.events[k].distanceM - e.positionM)
                               < std::abs(r.events[size_t(best)].distanceM - e.positionM)))
                    best = int(k);
            }
            if (best < 0) {
                if (parser.isSet(missesOption) && SorWriter::localSnrDb(s, e.positionM) >= 10)
                    out << "missed: trace " << c << " at " << e.positionM << " m\n";
                continue;
            }
            used[size_t(best)] = true;
            ++bin.found;
            bin.location.push_back(std::abs(r.events[size_t(best)].distanceM - e.positionM)
                                   / s.spacingM);
            bin.locationLimit.push_back(2 + 1 / s.spacingM);
            bin.loss.push_back(std::abs(r.events[size_t(best)].lossDb - e.lossDb));
        }
        // Found events that match no true one, whatever their size: false detections.
        for (size_t k = 0; k < r.events.size(); ++k) {
            if (used[k] || r.events[k].type == Analysis::EventType::End)
                continue;
            const bool near
                = std::any_of(s.events.cbegin(), s.events.cend(), [&](const TrueEvent &e) {
                      return std::abs(r.events[k].distanceM - e.positionM) <= tolerance;
                  });
            if (!near)
                ++bins[snrBin(SorWriter::localSnrDb(s, r.events[k].distanceM))].falseFound;
        }
    }

    out << "Analysis of " << count << " simulated traces (" << points << " points)\n\n";
    out << "local SNR   true  found  recall  false  precision  loc.med  loc.p95  within(2+1m)  "
           "loss.med  loss.p95\n";
    for (int b = 0; b < 5; ++b) {
        const Tally &t = bins[b];
        int within = 0;
        for (size_t i = 0; i < t.location.size(); ++i)
            within += t.location[i] <= t.locationLimit[i] ? 1 : 0;
        out << QString("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11\n")
                   .arg(BinNames[b], -10)
                   .arg(t.trueCount, 5)
                   .arg(t.found, 6)
                   .arg(100.0 * t.found / std::max(1, t.trueCount), 6, 'f', 1)
                   .arg(t.falseFound, 6)
                   .arg(100.0 * t.found / std::max(1, t.found + t.falseFound), 9, 'f', 1)
                   .arg(percentile(t.location, 0.5), 8, 'f', 2)
                   .arg(percentile(t.location, 0.95), 8, 'f', 2)
                   .arg(100.0 * within / std::max<size_t>(1, t.location.size()), 12, 'f', 1)
                   .arg(percentile(t.loss, 0.5), 9, 'f', 3)
                   .arg(percentile(t.loss, 0.95), 9, 'f', 3);
    }
    int endWithin = 0;
    for (double e : endError)
        endWithin += e <= 2 ? 1 : 0;
    out << QString("\nfibre end within 2 points: %1 of %2 (%3 %); median error %4 points\n")
               .arg(endWithin)
               .arg(endError.size())
               .arg(100.0 * endWithin / std::max<size_t>(1, endError.size()), 0, 'f', 1)
               .arg(percentile(endError, 0.5), 0, 'f', 2);
    out << QString("speed: %1 s for %2 traces on one core (%3 ns a point)\n")
               .arg(seconds, 0, 'f', 3)
               .arg(count)
               .arg(seconds * 1e9 / double(std::max<qint64>(1, points)), 0, 'f', 1);
    return 0;
}
