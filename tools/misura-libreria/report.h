// What misura-libreria writes: the console report of each case and of a
// scan, and the results as JSON, CSV, Markdown and an SVG log-log plot.
// Exports give every time in seconds.
#pragma once

#include "tools/misura-libreria/measure.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace misura {

// seconds with a unit chosen to fit (ns, µs, ms, s) and three or four significant digits.
std::string formatDuration(double seconds);

// The console lines for one case: first call, mean ± σ, median, range, runs, outlier warning.
void writeCase(std::ostream& out, const Case& c);
// The line saying how many times faster one method is than the other, for a conversion measured both ways.
void writeComparison(std::ostream& out, const Case& library, const Case& inProgram);
// A scan's table for one block size: one row per case measured at that size.
void writeSizeTable(std::ostream& out, const std::vector<Case>& cases, std::int32_t bytes);

// One fitted growth exponent of a scan.
struct Growth {
    Conversion conversion;
    core::Method method;
    double exponent;
};
// The growth exponent of each conversion and method measured at two sizes or more, fitted on the medians.
std::vector<Growth> growthExponents(const std::vector<Case>& cases);
// The exponents' lines.
void writeGrowth(std::ostream& out, const std::vector<Growth>& growth);

// The results as JSON: the library's path (null when none was loaded), each
// case with its summary and times, and the exponents.
void writeJson(std::ostream& out, const std::string& libraryPath, const std::vector<Case>& cases,
               const std::vector<Growth>& growth);
// The results as CSV, one row per case; the last column holds the times separated by spaces.
void writeCsv(std::ostream& out, const std::vector<Case>& cases);
// The results as a Markdown table, each case's mean also relative to the faster method's.
void writeMarkdown(std::ostream& out, const std::vector<Case>& cases);
// The medians of each conversion and method against the block size, as a log-log SVG plot.
void writeSvgPlot(std::ostream& out, const std::vector<Case>& cases);

} // namespace misura
