#pragma once

#include "report/pdfpage.h"
#include "report/report.h"

#include <functional>
#include <optional>

namespace Report {

// A trace's pages: its verdict and why, its identification, its plot and its events; how many
// pages they took. Each page comes from `nextPage`.
int tracePages(const std::function<Pdf::Page()> &nextPage,
               const Entry &e,
               const Options &o,
               const std::optional<LinkMerge::Link> &map);

} // namespace Report
