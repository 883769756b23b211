// What misura-libreria writes on the console: the header announcing the
// measurement, then, from the results, each case's figures, the comparisons
// with their warnings, a scan's table per block size and its growth exponents.
#pragma once

#include "tools/misura-libreria/results.h"

#include <ostream>

namespace misura {

// The header: the libraries, the clock, the processes and rounds, the time expected.
void writeHeader(std::ostream& out, const Plan& plan);
// The report of the results, after the header.
void writeReport(std::ostream& out, const Results& results);

// "p = 0.62 over 10 pairs of processes", or "p ≤ 0.002, the least 10 pairs of processes allow".
std::string pText(const Compared& c);
// The line of one comparison: ratio, its 95 % interval and resolution, p-value, verdict.
std::string comparisonText(const Compared& c);

} // namespace misura
