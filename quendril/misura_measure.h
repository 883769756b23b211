// The measurements misura-libreria makes: each of the four conversions the
// runs time, through the runs' own functions, repeated after a warm-up, each
// repetition on a fresh block made outside its timed interval.
#pragma once

#include "core/runs.h"
#include "quendril/misura_stats.h"

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
    std::optional<double> binding;   // the first call's binding of the library's functions
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

// The seconds one conversion takes on a fresh block (and, for text to bytes,
// a fresh text of spaces), read from clock just before and just after it.
double timeOnce(Conversion conversion, core::Method method, std::int32_t bytes,
                const core::RunEnvironment& env, const Clock& clock);

// Measures one case: its first call if firstCall says the function has not
// been called yet (for the library, its binding timed apart and added), the warm-up, then the timed runs. Errors leave it as RuntimeError.
Case measureCase(Conversion conversion, core::Method method, std::int32_t bytes, const Repetitions& reps,
                 const core::RunEnvironment& env, bool firstCall, const Clock& clock,
                 const ProgressFn& progress);

// The conversion's name in texts and exports: "bytes-to-text" or "text-to-bytes".
const char* conversionId(Conversion c);
// The method's name in texts and exports: "library" or "in-program".
const char* methodId(core::Method m);

} // namespace misura
