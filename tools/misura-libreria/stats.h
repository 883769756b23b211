// The statistics misura-libreria reports on series of timed repetitions:
// summary figures, likely outliers, the comparison of two series (ratio of
// medians with a bootstrap interval, rank-sum test, verdict), the growth
// exponent over a scan of sizes, and the scan's sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
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

// The exponent k of the least-squares fit time = c * size^k on a log-log
// scale; sizes and times positive and of the same length, at least two distinct sizes.
// The median of values, which must not be empty.
double median(std::span<const double> values);

// How a later series compares with a first one.
enum class Verdict { Faster, Slower, NoSignificantDifference };

struct Comparison {
    double ratio = 0;     // the later series' median over the first's
    double ratioLow = 0;  // the 95 % bootstrap percentile interval of that ratio
    double ratioHigh = 0;
    double pValue = 1;    // two-sided Mann-Whitney U test
    Verdict verdict = Verdict::NoSignificantDifference;
};

// The two-sided p-value of the Mann-Whitney U test of a against b: exact when
// both have at most 30 values and none are tied, else the normal approximation
// with tie and continuity corrections. Both must be non-empty.
double mannWhitneyP(std::span<const double> a, std::span<const double> b);

// The 95 % percentile bootstrap interval of median(later) / median(first),
// from resamples drawn with a fixed seed, so that the same data give the same interval.
std::pair<double, double> bootstrapRatioInterval(std::span<const double> first, std::span<const double> later,
                                                 int resamples = 2000);

// later against first: "slower" or "faster" when p < 0.01 and the ratio of
// medians is more than 1 % away from 1, else no significant difference.
Comparison compare(std::span<const double> first, std::span<const double> later);

// The verdict's words: "faster", "slower", "no significant difference".
const char* verdictText(Verdict v);

double growthExponent(std::span<const double> sizes, std::span<const double> times);

// steps sizes from `from` to `to` spaced evenly on a log scale, rounded to
// whole bytes, without repeats; 1 <= from < to, steps >= 2.
std::vector<std::int32_t> logSpacedSizes(std::int32_t from, std::int32_t to, int steps);

} // namespace misura
