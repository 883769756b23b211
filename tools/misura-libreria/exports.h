// The results as files a maker can keep, each written by one writer over the
// results: JSON (context, every case by process and round, comparisons), CSV
// (one row per round), Markdown (a table per conversion); and the baseline
// read back from an earlier JSON export. Every time is in seconds, which its
// field's name says ("median_s"); numbers are in the C locale's form, to the
// figures the console shows.
#pragma once

#include "tools/misura-libreria/results.h"

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace misura {

void writeJson(std::ostream& out, const Results& results);
// Columns library, label, conversion, method, part ("run", "call" or "reference"), bytes, process, round, core,
// samples, per_sample, seconds (the round's median per repetition), result ("right" or "wrong").
void writeCsv(std::ostream& out, const Results& results);
// One table per conversion: each case's figures and, for the later ones, the ratio with its interval and verdict.
void writeMarkdown(std::ostream& out, const Results& results);

// An earlier export that cannot serve as a baseline; what() says why.
class BaselineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a baseline holds: its context, and its first library's cases and the in-program routines'.
struct Baseline {
    Context context;
    std::vector<Case> cases;
};

// The baseline an earlier JSON export holds. Throws BaselineError for a text
// that is not such an export, or one made before exports kept each process's figures.
Baseline readBaseline(const std::string& json);

} // namespace misura
