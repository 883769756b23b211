// What misura-libreria writes on the console: each case's figures, the
// comparisons of later libraries with the first (or with a baseline), a scan's
// table per block size and its growth exponents.
#pragma once

#include "tools/misura-libreria/measure.h"

#include <ostream>
#include <string>
#include <vector>

namespace misura {

// One later series compared with a first one (or with its counterpart in a baseline).
struct Compared {
    Conversion conversion;
    std::int32_t bytes;
    std::string library;  // what the later series measured
    std::string baseline; // what the first one did
    bool onCall;          // compared on the library call alone (two libraries); else on the whole run
    bool sameMethod;      // two builds of a library, or the in-program routines with themselves
    Comparison stats;
};

// The comparisons of one block size and conversion: every later case against
// the first, or, when baseline is given, each case against the baseline's case
// of the same method (named baselineName).
std::vector<Compared> compareCases(const std::vector<Case>& cases, const std::vector<Case>* baseline,
                                   const std::string& baselineName);

// The console lines for one case: first call, run mean ± σ, median, range, the
// library call, runs, a wrong result, an outlier warning.
void writeCase(std::ostream& out, const Case& c);
// The line of one comparison: ratio of medians, its 95 % interval, p-value, verdict.
void writeCompared(std::ostream& out, const Compared& c);
// A scan's table for one block size: one row per case measured at that size.
void writeSizeTable(std::ostream& out, const std::vector<Case>& cases, std::int32_t bytes);

// One fitted growth exponent of a scan.
struct Growth {
    std::string measured; // measuredWith() of the series
    Conversion conversion;
    double exponent;
};
// The growth exponent of each series measured at two sizes or more, fitted on the medians.
std::vector<Growth> growthExponents(const std::vector<Case>& cases);
// The exponents' lines.
void writeGrowth(std::ostream& out, const std::vector<Growth>& growth);

} // namespace misura
