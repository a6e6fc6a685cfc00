#pragma once

#include <vector>

// Plain statistics the analysis and the tools built on it share.
namespace Analysis {

// The middle value (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> values);

// The standard deviation of normally spread values, read from their median distance to
// `centre`: the few outliers among them (events among noise) do not move it.
double robustDeviation(std::vector<double> values, double centre);
// The same about their own median.
double robustDeviation(std::vector<double> values);
// The standard deviation of a trace's point noise from the sizes of its second differences
// (y[i-1] - 2 y[i] + y[i+1], whose spread is the points' times the square root of 6).
double noiseOfSecondDifferences(std::vector<double> sizes);

} // namespace Analysis
