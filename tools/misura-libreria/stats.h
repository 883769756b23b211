// The statistics misura-libreria reports. Its units are processes and the
// rounds inside them, never single repetitions: most of the variation lies
// between processes (where a library lands in memory) and between rounds (what
// else the machine was doing), so only they count as independent. Also the
// growth exponent over a scan of sizes, and the scan's sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace misura {

// One figure measured in rounds inside processes: by process, each round's
// value (a positive time in seconds, the round's median).
using Units = std::vector<std::vector<double>>;

// How a figure spread over its units.
struct Spread {
    double median = 0;     // the median of every round's value
    double lowest = 0;     // the lowest and highest process median
    double highest = 0;
    std::size_t processes = 0;
    std::size_t rounds = 0; // in all
};

// The spread of units, which must hold at least one round.
Spread spreadOf(const Units& units);

// A round whose value is far from its figure's other rounds: process and round from 0.
struct Disagreement {
    std::size_t process;
    std::size_t round;
    double factor; // the round's value over the median of all rounds
};

// The rounds more than 1.5 times from the median of all rounds (either way).
std::vector<Disagreement> disagreeingRounds(const Units& units);

// How a later figure compares with a first one.
enum class Verdict { Faster, Slower, NoSignificantDifference };

struct Comparison {
    double ratio = 1;      // later over first: the geometric mean over units
    double ratioLow = 1;   // the 95 % interval of that ratio, from a hierarchical bootstrap
    double ratioHigh = 1;
    double resolution = 0; // the smallest relative difference the units can tell from none (0.012: 1.2 %)
    double pValue = 1;     // exact rank test over processes
    double pFloor = 1;     // the smallest p-value the number of processes allows
    std::size_t units = 0; // the independent units the test counted: pairs of processes, or processes
    Verdict verdict = Verdict::NoSignificantDifference;
};

// later against first, both measured in the same processes' rounds (pairs: process
// i and round j of each ran side by side). Each round gives the log of the ratio of
// the two values, each process the mean of the middle half of its rounds' logs,
// and the ratio is the mean over processes; processes count as the independent units.
Comparison comparePaired(const Units& first, const Units& later);

// later against first measured at other times (a baseline): each one's
// processes are its own units, and both spreads count.
Comparison compareApart(const Units& first, const Units& later);

// The verdict's words: "faster", "slower", "no significant difference".
const char* verdictText(Verdict v);

// The two-sided p-value of the Mann-Whitney U test of a against b: exact when
// both have at most 30 values and none are tied, else the normal approximation
// with tie and continuity corrections. Both must be non-empty.
double mannWhitneyP(std::span<const double> a, std::span<const double> b);

// The two-sided exact p-value of the Wilcoxon signed-rank test of d against a
// centre of 0 (zeros dropped, ties of size given midranks); 1 when nothing is left.
double signedRankP(std::span<const double> d);

// The 97.5 % quantile of Student's t distribution with df degrees of freedom (df >= 1).
double studentT975(double df);

// The lower tail a percentile interval of a mean over few units takes, so
// that it is as wide as Student's t interval with df degrees of freedom would
// be (the expanded percentile interval): 0.0086 for 9, 0.025 as df grows.
double expandedTail(double df);

// The 95 % interval of the mean over processes of each process's centre (the
// mean of its middle half of rounds), less subtracted's (when given, resampled
// on its own), drawing processes and then rounds within each with replacement;
// its percentiles expanded for df degrees of freedom (none below 1). Log values
// in, with a fixed seed so that the same data give the same interval.
std::pair<double, double> hierarchicalInterval(const Units& values, const Units& subtracted, double df,
                                               int resamples = 2000);

// The exponent k of the least-squares fit time = c * size^k on a log-log
// scale; sizes and times positive and of the same length, at least two distinct sizes.
double growthExponent(std::span<const double> sizes, std::span<const double> times);

// The median of values, which must not be empty.
double median(std::span<const double> values);

// steps sizes from `from` to `to` spaced evenly on a log scale, rounded to
// whole bytes, without repeats; 1 <= from < to, steps >= 2.
std::vector<std::int32_t> logSpacedSizes(std::int32_t from, std::int32_t to, int steps);

} // namespace misura
