#include "linkmerge/splitters.h"

#include "sor/sortext.h"

#include <cmath>

namespace LinkMerge {

namespace {

SplitterRatio ratio(int ways, double typicalDb, double maxDb)
{
    return {ways, 10 * std::log10(double(ways)), typicalDb, maxDb};
}

double lowestDb(const SplitterRatio &r)
{
    return r.idealDb - SplitterSlackDb;
}

double highestDb(const SplitterRatio &r)
{
    return r.maxDb + SplitterSlackDb;
}

} // namespace

const QVector<SplitterRatio> &splitterRatios()
{
    // The ideal share 10·log10(N) plus the excess loss of planar splitters, as the class
    // budgets of ITU-T G.984.2 and the splitter figures of ITU-T G.671 count them: about 0.5 dB
    // over the ideal for 1:2, growing by about 0.4 dB with each doubling, and at most some
    // 0.5–1 dB over that.
    static const QVector<SplitterRatio> ratios{ratio(2, 3.5, 4.0),
                                               ratio(4, 6.9, 7.4),
                                               ratio(8, 10.2, 10.7),
                                               ratio(16, 13.3, 13.9),
                                               ratio(32, 16.5, 17.2),
                                               ratio(64, 19.9, 21.0)};
    return ratios;
}

std::optional<SplitterRatio> splitterFor(double lossDb)
{
    if (!std::isfinite(lossDb) || lossDb < SmallestSplitterStepDb)
        return std::nullopt;
    std::optional<SplitterRatio> best;
    for (const SplitterRatio &r : splitterRatios()) {
        if (lossDb < lowestDb(r) || lossDb > highestDb(r))
            continue;
        if (!best || std::abs(lossDb - r.typicalDb) < std::abs(lossDb - best->typicalDb))
            best = r;
    }
    return best;
}

QString whyNoSplitter(double lossDb)
{
    if (!std::isfinite(lossDb) || lossDb < SmallestSplitterStepDb || splitterFor(lossDb))
        return QString();
    const QVector<SplitterRatio> &ratios = splitterRatios();
    const QString loss = Sor::decimal(lossDb, 3) + QStringLiteral(" dB");
    if (lossDb < lowestDb(ratios.first()))
        return QStringLiteral("%1: menos que um divisor 1:2 (a partir de %2 dB)")
            .arg(loss, Sor::decimal(lowestDb(ratios.first()), 3));
    if (lossDb > highestDb(ratios.last()))
        return QStringLiteral("%1: mais que um divisor 1:64 (até %2 dB)")
            .arg(loss, Sor::decimal(highestDb(ratios.last()), 3));
    for (int i = 0; i + 1 < ratios.size(); ++i) {
        if (lossDb > highestDb(ratios.at(i)) && lossDb < lowestDb(ratios.at(i + 1))) {
            return QStringLiteral("%1: entre %2 (até %3 dB) e %4 (a partir de %5 dB)")
                .arg(loss,
                     ratioText(ratios.at(i).ways),
                     Sor::decimal(highestDb(ratios.at(i)), 3),
                     ratioText(ratios.at(i + 1).ways),
                     Sor::decimal(lowestDb(ratios.at(i + 1)), 3));
        }
    }
    return QString();
}

QString ratioText(int ways)
{
    return QStringLiteral("1:%1").arg(ways);
}

} // namespace LinkMerge
