// The statistics misura-libreria reports on a series of timed repetitions:
// summary figures, likely outliers, the ratio of two means with its
// uncertainty, the growth exponent over a scan of sizes, and the scan's sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace misura {

struct Summary {
    double mean = 0;
    double stddev = 0; // sample standard deviation; 0 for a single value
    double median = 0;
    double min = 0;
    double max = 0;
    std::size_t runs = 0;
    std::size_t outliers = 0; // values whose modified z-score exceeds 3.5 and that are 10 % off the median
};

// The summary of times, which must not be empty.
Summary summarize(std::span<const double> times);

// Whether the outliers in s are enough to make its mean doubtful: more than
// one in twenty runs, any at all in fewer than a hundred, or a maximum more
// than ten times the median.
bool outliersLikely(const Summary& s);

struct Ratio {
    double value = 0;
    double uncertainty = 0;
};

// How many times slower's mean is faster's, with the uncertainty that the
// standard errors of both means give it (first-order propagation).
Ratio ratio(const Summary& slower, const Summary& faster);

// The exponent k of the least-squares fit time = c * size^k on a log-log
// scale; sizes and times positive and of the same length, at least two distinct sizes.
double growthExponent(std::span<const double> sizes, std::span<const double> times);

// steps sizes from `from` to `to` spaced evenly on a log scale, rounded to
// whole bytes, without repeats; 1 <= from < to, steps >= 2.
std::vector<std::int32_t> logSpacedSizes(std::int32_t from, std::int32_t to, int steps);

} // namespace misura
