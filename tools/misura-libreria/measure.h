// The measurements misura-libreria makes: the conversions the runs time,
// through the runs' own functions, repeated in batches, each repetition on a
// fresh block made outside its timed interval; the library's call timed alone
// inside it; and the library's results checked against the in-program routines.
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

// One conversion with one method at one block size, measured for one library
// (or the in-program routines), and its timings in seconds.
struct Case {
    std::string library; // the library's path; empty for the in-program routines
    Conversion conversion;
    core::Method method;
    std::int32_t bytes;
    std::optional<double> firstCall; // the library function's first call, binding included
    std::optional<double> binding;   // the first call's binding of the library's functions
    std::vector<double> times;       // each whole run, as the window times it
    Summary summary;
    std::vector<double> calls;       // the library call alone within each run
    std::optional<Summary> call;
    std::string wrong;               // why the library's results are wrong; empty when right
};

// Reads the time in nanoseconds; the system's monotonic clock by default.
using Clock = std::function<std::int64_t()>;

// What to measure: one conversion with one method at one block size.
struct CaseSpec {
    Conversion conversion;
    core::Method method;
    std::int32_t bytes;
    bool firstCall = false; // time the first call apart: the library's function has not been called yet
};

// What the conversions run with and the clock that times them.
struct Bench {
    const core::RunEnvironment& env;
    Clock clock;
};

// One batch of repetitions of a case, as one round asks of one library.
struct Batch {
    CaseSpec spec;
    std::size_t runs = 0;          // 0: until budgetNs has passed, at least one
    std::int64_t budgetNs = 0;
    std::size_t warmup = 0;        // untimed repetitions first
    bool checkFirst = false;       // check the first timed repetition's result
    bool checkLast = false;        // check the last one's
};

struct BatchResult {
    std::optional<double> firstCall; // binding included
    std::optional<double> binding;   // the binding alone, timed before the first call converts
    std::vector<double> times;
    std::vector<double> calls; // empty for the in-program routines
    std::string wrong;         // the first difference found; empty when none
};

// What one conversion produced: the text (bytes to text) or the block (text to bytes).
struct Outcome {
    std::u16string text;
    std::vector<std::uint8_t> block;
};

// The seconds one conversion takes on a fresh block (and, for text to bytes, a
// fresh text of spaces), read from the clock just before and just after it, and
// the library call's own seconds; keeps what it produced in outcome when given.
std::pair<double, std::optional<double>> timeOnce(const CaseSpec& spec, const Bench& bench,
                                                  Outcome* outcome = nullptr);

// The seconds one in-program conversion of bytes is expected to take, from one
// timed at bytes or calibrationBytes, whichever is smaller: bytes to text grows
// with the square of the size (each step copies the text so far), text to
// bytes in proportion to it.
double inProgramSecondsAt(Conversion conversion, std::int32_t bytes, std::int32_t calibrationBytes,
                          const Bench& bench);

// Measures one batch: its first call if asked (for the library, its binding timed apart
// and added), the warm-up, then the timed runs. Errors leave it as RuntimeError.
BatchResult measureBatch(const Batch& batch, const Bench& bench);

// How the library's result for spec differs from the in-program routines' on the
// same input ("0 characters where the in-program routines give 64"); empty when it does not.
std::string difference(const CaseSpec& spec, const Outcome& got, const Outcome& want);

// The library checked once on a block that holds every byte value, outside any
// timing: the difference from the in-program routines, empty when none.
std::string checkEveryByteValue(Conversion conversion, const core::RunEnvironment& env);

// The conversion's name in texts and exports: "bytes-to-text" or "text-to-bytes".
const char* conversionId(Conversion c);
// The method's name in texts and exports: "library" or "in-program".
const char* methodId(core::Method m);

} // namespace misura
