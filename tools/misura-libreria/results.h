// misura-libreria's results, the one model every writer (console, JSON, CSV,
// Markdown, SVG) reads: each case's figures by process and round, the
// comparisons made from them, the growth over a scan's sizes, and the context.
#pragma once

#include "tools/misura-libreria/context.h"
#include "tools/misura-libreria/measure.h"
#include "tools/misura-libreria/stats.h"

#include <optional>
#include <string>
#include <vector>

namespace misura {

// One round of one process: the medians over its samples, in seconds per repetition.
struct Round {
    double run = 0;
    std::optional<double> call;
    std::optional<double> reference; // the reference copy, timed beside them
    std::size_t samples = 0;
    int core = -1; // the processor it was kept on; -1: none
};

// One fresh process's rounds of a case.
struct Process {
    std::size_t perSample = 1; // repetitions each sample timed
    std::size_t referencePerSample = 1;
    std::vector<Round> rounds;
};

// One library (or the in-program routines) at one block size and conversion.
struct Case {
    std::string library; // the library's path; empty for the in-program routines
    std::string label;   // how the report names it: the shortest part of the path that tells it apart
    Conversion conversion;
    core::Method method;
    std::int32_t bytes;
    std::optional<double> firstCall; // the library function's first call, binding included
    std::optional<double> binding;   // the first call's binding of the library's functions
    std::vector<Process> processes;
    std::string wrong; // why the library's results are wrong; empty when right
};

// The whole run's figure by process and round.
Units runUnits(const Case& c);
// The library call's figure by process and round; empty for the in-program routines.
Units callUnits(const Case& c);
// The reference copy's figure by process and round.
Units referenceUnits(const Case& c);

// What a comparison compares: the library call alone (two libraries) or the whole run.
enum class Figure { Call, Run };
const char* figureId(Figure f); // "call" or "run"

// One later case compared with a first one, or with its counterpart in a baseline.
struct Compared {
    Conversion conversion;
    std::int32_t bytes;
    std::string library;  // the later case's label
    std::string baseline; // the first one's
    Figure figure;
    bool libraries;       // both are libraries
    bool againstBaseline; // the first one is a baseline's, measured at another time: each figure
                          // is then taken over the reference copy timed beside it
    Comparison stats;
    std::vector<std::string> warnings; // what may change the verdict
};

// One fitted growth exponent of a scan.
struct Growth {
    std::string measured; // the series' label
    Conversion conversion;
    double exponent;
};

// How the measurement was laid out, as the header announces it.
struct Plan {
    std::vector<std::string> libraries; // the libraries' paths
    std::size_t processes = 0;          // per participant
    std::size_t rounds = 0;             // per process and case
    std::vector<int> cores;             // the processors the rounds took in turn
    std::int64_t clockStepNs = 1;
    std::int64_t sampleNs = 0;          // a sample lasts at least this long
    std::size_t warmup = 0;
    bool scan = false;
    double expectedSeconds = 0;
};

struct Results {
    Plan plan;
    Context context;
    std::optional<Context> baselineContext;
    std::vector<Case> cases;
    std::vector<Compared> comparisons;
    std::vector<Growth> growth;
    std::vector<std::string> warnings; // about the whole run: a baseline from another machine, build or load
    std::vector<std::string> errors;   // the reports that ended a library's measurement
    double seconds = 0;          // the command's wall time
    double measuringSeconds = 0; // of which the processes spent measuring
    double waitingSeconds = 0;   // and the time their answers took beyond that, waiting for the processor
};

// The comparisons of one block size and conversion: every later case against
// the first, side by side in the same rounds; or, with a baseline, each case
// against the baseline's case of the same method.
std::vector<Compared> compareCases(const std::vector<Case>& cases, const std::vector<Case>* baseline);

// The growth exponent of each series measured at two distinct sizes or more, fitted on the medians.
std::vector<Growth> growthExponents(const std::vector<Case>& cases);

// What makes a baseline's figures doubtful beside these: another processor,
// build type, version or load; one line each, none when alike.
std::vector<std::string> contextDifferences(const Context& baseline, const Context& now);

// For each path, the fewest trailing parts of it that tell it from every other path given;
// a path given again is followed by its turn ("q.so (2)").
std::vector<std::string> distinguishingLabels(const std::vector<std::string>& paths);

} // namespace misura
