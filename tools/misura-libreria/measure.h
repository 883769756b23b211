// The measurements misura-libreria makes: each of the four conversions the
// runs time, through the runs' own functions, repeated after a warm-up, each
// repetition on a fresh block made outside its timed interval.
#pragma once

#include "core/runs.h"
#include "tools/misura-libreria/stats.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace misura {

enum class Conversion { BytesToText, TextToBytes };

// One conversion with one method at one block size, and its timings in seconds.
struct Case {
    Conversion conversion;
    core::Method method;
    std::int32_t bytes;
    std::optional<double> firstCall; // the library function's first call, binding included
    std::vector<double> times;
    Summary summary;
};

// How to repeat a case.
struct Repetitions {
    std::optional<std::size_t> runs; // none: until about a second has passed, at least 10
    std::size_t warmup = 3;
};

// Reads the time in nanoseconds; the system's monotonic clock by default.
using Clock = std::function<std::int64_t()>;
// Told what is being measured between repetitions ("bytes to text, library, 50000 bytes: run 3").
using ProgressFn = std::function<void(const std::string&)>;

// What to measure: one conversion with one method at one block size.
struct CaseSpec {
    Conversion conversion;
    core::Method method;
    std::int32_t bytes;
    bool firstCall = false; // time the first call apart: the library's function has not been called yet
};

// How to measure: what the conversions run with, how often, the clock and whom to tell.
struct Bench {
    const core::RunEnvironment& env;
    Repetitions reps;
    Clock clock;
    ProgressFn progress; // may be empty
};

// The seconds one conversion takes on a fresh block (and, for text to bytes,
// a fresh text of spaces), read from the bench's clock just before and just after it.
double timeOnce(const CaseSpec& spec, const Bench& bench);

// Measures one case: its first call if asked, the warm-up, then the timed runs.
// Errors leave it as RuntimeError.
Case measureCase(const CaseSpec& spec, const Bench& bench);

// The conversion's name in texts and exports: "bytes-to-text" or "text-to-bytes".
const char* conversionId(Conversion c);
// The method's name in texts and exports: "library" or "in-program".
const char* methodId(core::Method m);

} // namespace misura
