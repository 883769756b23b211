// Timed samples of the runs' conversions. Between two clock readings there
// are only calls of core::BytesToText or core::TextToBytes; making the block,
// keeping the results for a check and freeing them happen outside them. The
// library's call alone is timed by the runs' call watch, call by call.
#include "tools/misura-libreria/measure.h"

#include "core/byte_array.h"
#include "core/conversions.h"
#include "core/quendril_library.h"
#include "platform/bstr.h"
#include "tools/misura-libreria/stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace misura {

namespace {

// What the guard bytes (the block's spare element and those after it) hold.
constexpr std::uint8_t kGuard = 0xA5;
// Beyond this many repetitions a sample is long enough whatever the clock.
constexpr std::size_t kMostPerSample = 1000000;
// A sample this many times the time asked for cannot owe its length to an interruption.
constexpr double kConfirmBelow = 100;
// A reference sample after every this many samples.
constexpr std::size_t kReferenceEvery = 4;

// Adds up the clock's readings around each library call.
class ClockWatch : public core::CallWatch {
public:
    explicit ClockWatch(const Clock& clock) : clock_(clock) {}
    void before() override { start_ = clock_(); }
    void after() override
    {
        total_ += clock_() - start_;
        ++calls_;
    }
    std::optional<double> seconds() const
    {
        return calls_ ? std::optional<double>(static_cast<double>(total_) / 1e9) : std::nullopt;
    }

private:
    const Clock& clock_;
    std::int64_t start_ = 0;
    std::int64_t total_ = 0;
    std::size_t calls_ = 0;
};

// The block every run converts (all zeros, or every byte value in turn), its spare element and guard bytes after it.
enum class Content { Zeros, EveryValue };
core::ByteArray guardedBlock(std::int32_t bytes, Content content)
{
    const auto elements = static_cast<std::uint32_t>(bytes) + 1 + kGuardBytes;
    core::ByteArray mat(0, elements);
    for (std::int32_t i = 0; content == Content::EveryValue && i < bytes; ++i)
        mat.data()[i] = static_cast<std::uint8_t>(i);
    std::fill(mat.data() + bytes, mat.data() + elements, kGuard);
    return mat;
}

std::vector<std::uint8_t> wholeBlock(const core::ByteArray& mat, std::int32_t bytes)
{
    return std::vector<std::uint8_t>(mat.data(), mat.data() + bytes + 1 + kGuardBytes);
}

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

// The first byte of the block that differs, described; empty when none.
std::string blockDifference(const CaseSpec& spec, const Outcome& got, const Outcome& want)
{
    const std::size_t n = std::min(got.block.size(), want.block.size());
    const auto bytes = static_cast<std::size_t>(spec.bytes);
    for (std::size_t i = 0; i < n; ++i) {
        if (got.block[i] == want.block[i])
            continue;
        const std::string is = "byte " + std::to_string(i);
        const std::string was = hex(got.block[i]) + " where it was " + hex(want.block[i]);
        if (i >= bytes)
            return is + (spec.conversion == Conversion::BytesToText ? ", past the bytes converted, is "
                                                                    : ", past the text stored, is ") + was;
        if (spec.conversion == Conversion::BytesToText)
            return is + " of the block converted is " + was;
        return is + " is " + hex(got.block[i]) + " where the in-program routines give " + hex(want.block[i]);
    }
    return {};
}

// One untimed repetition of the library's spec checked against the in-program routines'.
std::string checked(const CaseSpec& spec, const Bench& bench)
{
    Outcome got, want;
    timeSample({spec.conversion, core::Method::InProgram, spec.bytes}, bench, 1, &want);
    timeSample({spec.conversion, spec.method, spec.bytes}, bench, 1, &got);
    return difference(spec, got, want);
}

} // namespace

const char* conversionId(Conversion c)
{
    return c == Conversion::BytesToText ? "bytes-to-text" : "text-to-bytes";
}

const char* methodId(core::Method m)
{
    return m == core::Method::Library ? "library" : "in-program";
}

std::pair<double, std::optional<double>> timeSample(const CaseSpec& spec, const Bench& bench, std::size_t perSample,
                                                    Outcome* outcome)
{
    ClockWatch watch(bench.clock);
    core::RunEnvironment env = bench.env;
    env.callWatch = &watch;
    core::ByteArray mat = guardedBlock(spec.bytes, Content::Zeros);
    std::int64_t start = 0, end = 0;
    if (spec.conversion == Conversion::BytesToText) {
        // Each repetition frees the text before it, the first one made here, so that all do
        // alike and reuse the memory the one before had.
        std::u16string s(static_cast<std::size_t>(spec.bytes), u' ');
        start = bench.clock();
        for (std::size_t i = 0; i < perSample; ++i)
            s = core::BytesToText(spec.method, mat, spec.bytes, env);
        end = bench.clock();
        if (outcome)
            outcome->text = std::move(s);
    } else {
        // A right conversion leaves the text as it was: each repetition converts it again.
        std::u16string s(static_cast<std::size_t>(spec.bytes), u' ');
        start = bench.clock();
        for (std::size_t i = 0; i < perSample; ++i)
            core::TextToBytes(spec.method, s, mat, env);
        end = bench.clock();
    }
    if (outcome)
        outcome->block = wholeBlock(mat, spec.bytes);
    const auto each = static_cast<double>(perSample);
    const std::optional<double> call = watch.seconds();
    return {static_cast<double>(end - start) / 1e9 / each, call ? std::optional<double>(*call / each) : std::nullopt};
}

double referenceSample(std::int32_t bytes, const Bench& bench, std::size_t perSample)
{
    const std::vector<char> block(static_cast<std::size_t>(bytes), 0);
    const std::string_view content(block.data(), block.size());
    const std::int64_t start = bench.clock();
    for (std::size_t i = 0; i < perSample; ++i)
        platform::Bstr made = platform::Bstr::fromBytes(content);
    return static_cast<double>(bench.clock() - start) / 1e9 / static_cast<double>(perSample);
}

std::size_t samplesSize(const std::function<double(std::size_t)>& sample, std::int64_t sampleNs)
{
    const auto target = static_cast<double>(sampleNs);
    std::size_t perSample = 1;
    for (;;) {
        // A short sample long enough is timed again, up to three times, so that one the system
        // interrupted does not stop the growth; the shortest counts.
        double ns = sample(perSample);
        for (int again = 0; again < 2 && ns >= target && ns < kConfirmBelow * target; ++again)
            ns = std::min(ns, sample(perSample));
        const std::optional<std::size_t> next = grownPerSample(perSample, ns, target);
        if (!next)
            return perSample;
        perSample = *next;
    }
}

std::optional<std::size_t> grownPerSample(std::size_t perSample, double ns, double target)
{
    if (ns >= target || perSample >= kMostPerSample)
        return std::nullopt;
    // Grows by the shortfall seen, with some to spare; tenfold while the sample is far too short to trust.
    const double multiplier = ns / target > 0.1 ? target * 1.4 / std::max(ns, 1.0) : 10.0;
    const auto next = static_cast<std::size_t>(static_cast<double>(perSample) * multiplier);
    return std::min(kMostPerSample, std::max(perSample + 1, next));
}

double inProgramSecondsAt(Conversion conversion, std::int32_t bytes, std::int32_t calibrationBytes,
                          const Bench& bench)
{
    const std::int32_t timed = std::min(bytes, calibrationBytes);
    // The shorter of two: the first may pay for the heap's growth.
    const CaseSpec spec{conversion, core::Method::InProgram, timed};
    const double seconds = std::min(timeSample(spec, bench, 1).first, timeSample(spec, bench, 1).first);
    const double growth = static_cast<double>(bytes) / timed;
    return seconds * (conversion == Conversion::BytesToText ? growth * growth : growth);
}

namespace {

// The repetitions of the batch's samples and reference samples: as asked, or sized here.
void sizeSamples(const Batch& batch, const Bench& bench, BatchResult& r)
{
    const CaseSpec spec{batch.spec.conversion, batch.spec.method, batch.spec.bytes};
    // The library's samples are sized on its call, the shortest part timed.
    r.perSample = batch.perSample ? batch.perSample : samplesSize([&](std::size_t n) {
        const auto [run, call] = timeSample(spec, bench, n);
        return call.value_or(run) * 1e9 * static_cast<double>(n);
    }, batch.sampleNs);
    r.referencePerSample = batch.referencePerSample ? batch.referencePerSample : samplesSize([&](std::size_t n) {
        return referenceSample(spec.bytes, bench, n) * 1e9 * static_cast<double>(n);
    }, batch.sampleNs);
}

} // namespace

BatchResult measureBatch(const Batch& batch, const Bench& bench)
{
    BatchResult r;
    const std::int64_t begun = bench.clock();
    if (batch.core >= 0 && keepOnCore(batch.core))
        r.core = batch.core;
    const CaseSpec spec{batch.spec.conversion, batch.spec.method, batch.spec.bytes};
    if (batch.spec.firstCall) {
        // The binding a first call of the library starts with, timed on its own;
        // the trying ahead of the loading is over before, as in the window.
        if (spec.method == core::Method::Library) {
            bench.env.libraryInUse().waitUntilPrepared();
            const std::int64_t start = bench.clock();
            bench.env.libraryInUse().bind();
            r.binding = static_cast<double>(bench.clock() - start) / 1e9;
        }
        r.firstCall = r.binding.value_or(0) + timeSample(spec, bench, 1).first;
    }
    for (std::size_t i = 0; i < batch.warmup; ++i)
        timeSample(spec, bench, 1);
    sizeSamples(batch, bench, r);
    if (batch.checkFirst)
        r.wrong = checked(spec, bench);
    std::vector<double> runs, calls, references;
    const std::int64_t started = bench.clock();
    for (std::size_t i = 0; batch.samples ? i < batch.samples : i == 0 || bench.clock() - started < batch.budgetNs; ++i) {
        const auto [run, call] = timeSample(spec, bench, r.perSample);
        runs.push_back(run);
        if (call)
            calls.push_back(*call);
        if (i % kReferenceEvery == 0)
            references.push_back(referenceSample(spec.bytes, bench, r.referencePerSample));
    }
    if (batch.checkLast && r.wrong.empty())
        r.wrong = checked(spec, bench);
    r.samples = runs.size();
    r.seconds = static_cast<double>(bench.clock() - begun) / 1e9;
    r.run = median(runs);
    r.reference = median(references);
    if (!calls.empty())
        r.call = median(calls);
    return r;
}

std::string difference(const CaseSpec& spec, const Outcome& got, const Outcome& want)
{
    const std::string where = std::string(conversionId(spec.conversion)) + " of " + std::to_string(spec.bytes)
                            + " bytes: ";
    if (spec.conversion == Conversion::BytesToText) {
        if (got.text.size() != want.text.size())
            return where + std::to_string(got.text.size()) + " characters where the in-program routines give "
                 + std::to_string(want.text.size());
        for (std::size_t i = 0; i < got.text.size(); ++i)
            if (got.text[i] != want.text[i])
                return where + "character " + std::to_string(i) + " is U+" + hex(got.text[i])
                     + " where the in-program routines give U+" + hex(want.text[i]);
    }
    const std::string block = blockDifference(spec, got, want);
    return block.empty() ? block : where + block;
}

std::string checkEveryByteValue(Conversion conversion, const core::RunEnvironment& env)
{
    constexpr std::int32_t kBytes = 256;
    const CaseSpec spec{conversion, core::Method::Library, kBytes};
    Outcome got, want;
    core::ByteArray block = guardedBlock(kBytes, Content::EveryValue);
    if (conversion == Conversion::BytesToText) {
        want.block = wholeBlock(block, kBytes);
        want.text = core::BytesToText(core::Method::InProgram, block, kBytes, env);
        got.text = core::BytesToText(core::Method::Library, block, kBytes, env);
        got.block = wholeBlock(block, kBytes);
    } else {
        const std::u16string text = core::BytesToText(core::Method::InProgram, block, kBytes, env);
        for (const core::Method m : {core::Method::Library, core::Method::InProgram}) {
            std::u16string s = text;
            core::ByteArray mat = guardedBlock(kBytes, Content::Zeros);
            core::TextToBytes(m, s, mat, env);
            (m == core::Method::Library ? got : want).block = wholeBlock(mat, kBytes);
        }
    }
    const std::string d = difference(spec, got, want);
    return d.empty() ? d : "every byte value, " + d;
}

std::int64_t clockStep(const Clock& clock)
{
    std::int64_t step = 0;
    std::int64_t last = clock();
    // Enough readings to see the clock move a hundred times; a clock that never moves counts as 1 ns.
    for (int seen = 0, readings = 0; seen < 100 && readings < 1000000; ++readings) {
        const std::int64_t now = clock();
        if (now > last) {
            step = step ? std::min(step, now - last) : now - last;
            ++seen;
        }
        last = now;
    }
    return std::max<std::int64_t>(step, 1);
}

} // namespace misura
