// The results as files a maker can keep: JSON (context, every repetition,
// comparisons), CSV (one row per repetition), Markdown (a table per
// conversion), and the baseline read back from an earlier JSON export.
// Every time is in seconds, which its field's name says ("median_s"); numbers
// are in the C locale's form.
#pragma once

#include "tools/misura-libreria/context.h"
#include "tools/misura-libreria/report.h"

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace misura {

void writeJson(std::ostream& out, const Context& context, const std::vector<Case>& cases,
               const std::vector<Compared>& comparisons, const std::vector<Growth>& growth);
// Columns library, conversion, method, part ("run" or "call"), bytes, run, seconds, result ("right" or "wrong").
void writeCsv(std::ostream& out, const std::vector<Case>& cases);
// One table per conversion: each case's figures and, for the later ones, the ratio with its interval and verdict.
void writeMarkdown(std::ostream& out, const std::vector<Case>& cases, const std::vector<Compared>& comparisons);

// An earlier export that cannot serve as a baseline; what() says why.
class BaselineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The cases of an earlier JSON export: its first library's and the in-program
// routines'; an export from before the fields named their unit ("times") is
// read as well. Throws BaselineError for a text that is not such an export.
std::vector<Case> readBaseline(const std::string& json);

} // namespace misura
