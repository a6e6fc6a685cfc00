#pragma once

#include <QString>
#include <QVector>

#include <optional>

// Optical splitters as a trace shows them: a step of a known size after which the backscatter
// goes on, one branch's share of the light. A step is named by the ratio whose losses it fits.
namespace LinkMerge {

// A 1:N splitter's losses (dB): the ideal 10·log10(N) that dividing the light in N costs, the
// loss a splitter typically adds to it, and the most a sound one loses.
struct SplitterRatio
{
    int ways = 0;
    double idealDb = 0;
    double typicalDb = 0;
    double maxDb = 0;
};

// 1:2 to 1:64, from the shortest step to the longest.
const QVector<SplitterRatio> &splitterRatios();

// How far a measured step may fall short of the ideal loss, or pass the most a sound splitter
// loses, and still be that splitter: an OTDR's own reading of a step of several dB.
constexpr double SplitterSlackDb = 0.5;
// Smaller steps are splices or connectors, never splitters.
constexpr double SmallestSplitterStepDb = 2.5;

// The ratio a step's loss fits (the nearest typical loss among those whose range holds it);
// none when it fits none.
std::optional<SplitterRatio> splitterFor(double lossDb);
// Why a step of at least SmallestSplitterStepDb is no splitter: "4,900 dB: entre 1:2 (até
// 4,500 dB) e 1:4 (a partir de 5,520 dB)". Empty when it is one, or too small to ask.
QString whyNoSplitter(double lossDb);
// "1:8"
QString ratioText(int ways);

} // namespace LinkMerge
