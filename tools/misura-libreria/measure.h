// The measurements misura-libreria makes: the conversions the runs time,
// through the runs' own functions, in batches of samples; each sample times
// one or more repetitions back to back on a block made outside its timed
// interval, and the library's call alone inside them. The library's results
// are checked against the in-program routines, with guard bytes after the block.
#pragma once

#include "core/runs.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace misura {

enum class Conversion { BytesToText, TextToBytes };

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

// One batch of samples of a case, as one round asks of one process.
struct Batch {
    CaseSpec spec;
    std::size_t samples = 0;     // 0: until budgetNs has passed, at least one
    std::int64_t budgetNs = 0;
    std::size_t perSample = 0;   // repetitions each sample times; 0: as many as last sampleNs, sized here
    std::int64_t sampleNs = 0;
    std::size_t referencePerSample = 0; // likewise for the reference copy; 0: sized here
    std::size_t warmup = 0;      // untimed repetitions first
    int core = -1;               // the processor to run on (from 0); -1: wherever the system puts it
    bool checkFirst = false;     // check an untimed repetition before the samples
    bool checkLast = false;      // and one after them
};

// A batch's figures: the medians over its samples of the seconds per repetition.
struct BatchResult {
    std::optional<double> firstCall; // binding included
    std::optional<double> binding;   // the binding alone, timed before the first call converts
    std::size_t samples = 0;
    std::size_t perSample = 1;
    double run = 0;                  // the whole run, as the window times it
    std::optional<double> call;      // the library call alone; none for the in-program routines
    std::size_t referencePerSample = 1;
    double reference = 0;            // the reference copy, timed beside the samples
    int core = -1;                   // the processor it was kept on; -1: none
    double seconds = 0;              // the batch's whole time, checks and warm-up included
    std::string wrong;               // the first difference found; empty when none
};

// Bytes after the block (its spare element included) that no conversion may change.
inline constexpr std::int32_t kGuardBytes = 16;

// What one conversion produced and left: the text (bytes to text) and the whole
// block, spare element and guard bytes included.
struct Outcome {
    std::u16string text;
    std::vector<std::uint8_t> block;
};

// One sample: perSample repetitions of spec timed together on a block made
// before; the seconds per repetition of the whole run and of the library's call.
// Keeps the last repetition's outcome when asked.
std::pair<double, std::optional<double>> timeSample(const CaseSpec& spec, const Bench& bench, std::size_t perSample,
                                                    Outcome* outcome = nullptr);

// The reference copy: perSample counted strings made from a block of bytes
// bytes and freed, timed together, as the simplest library's call does; the
// seconds per repetition. Timed beside a case's samples, it follows how fast
// the machine is at the moment, so that figures taken at other times can be
// compared through it.
double referenceSample(std::int32_t bytes, const Bench& bench, std::size_t perSample);

// The repetitions per sample that make one sample last at least sampleNs,
// found as a benchmark library sizes its iterations: growing from one by the
// shortfall seen, at most tenfold while a sample is far too short. sample
// times one sample of so many repetitions, in nanoseconds.
std::size_t samplesSize(const std::function<double(std::size_t)>& sample, std::int64_t sampleNs);
// The repetitions the next try times, after perSample took ns against a target of
// target ns; none when the sample was long enough.
std::optional<std::size_t> grownPerSample(std::size_t perSample, double ns, double target);

// The seconds one in-program conversion of bytes is expected to take, from the
// shorter of two timed at bytes or calibrationBytes, whichever is smaller: bytes to text grows
// with the square of the size (each step copies the text so far), text to
// bytes in proportion to it.
double inProgramSecondsAt(Conversion conversion, std::int32_t bytes, std::int32_t calibrationBytes,
                          const Bench& bench);

// Measures one batch: its first call if asked (for the library, its binding timed apart
// and added), the warm-up, then the samples, with a reference sample after every
// fourth. Errors leave it as RuntimeError.
BatchResult measureBatch(const Batch& batch, const Bench& bench);

// How the library's outcome for spec differs from the in-program routines' on the
// same input ("0 characters where the in-program routines give 64", a changed
// guard byte); empty when it does not.
std::string difference(const CaseSpec& spec, const Outcome& got, const Outcome& want);

// The library checked once on a block that holds every byte value, outside any
// timing: the difference from the in-program routines, empty when none.
std::string checkEveryByteValue(Conversion conversion, const core::RunEnvironment& env);

// The smallest step the clock is seen to move by between two readings, in nanoseconds (at least 1).
std::int64_t clockStep(const Clock& clock);

// Keeps the calling thread on processor core (from 0); whether it could.
bool keepOnCore(int core);
// The processors this process may run on, from 0; at least one.
std::vector<int> usableCores();

// The conversion's name in texts and exports: "bytes-to-text" or "text-to-bytes".
const char* conversionId(Conversion c);
// The method's name in texts and exports: "library" or "in-program".
const char* methodId(core::Method m);

} // namespace misura
