#pragma once

#include <vector>

// Plain statistics the analysis and the tools built on it share.
namespace Analysis {

// The middle value (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> values);

} // namespace Analysis
