// Timed repetitions of the runs' conversions. Between two clock readings there
// is exactly one call of core::BytesToText or core::TextToBytes; making the
// block and the text, keeping the result for a check and freeing it happen
// outside them. The library's call alone is timed by the runs' call watch.
#include "tools/misura-libreria/measure.h"

#include "core/byte_array.h"
#include "core/conversions.h"
#include "core/quendril_library.h"

#include <cstdio>
#include <string>
#include <utility>

namespace misura {

namespace {

// Reads the clock around each library call.
class ClockWatch : public core::CallWatch {
public:
    explicit ClockWatch(const Clock& clock) : clock_(clock) {}
    void before() override { start_ = clock_(); }
    void after() override { end_ = clock_(); }
    std::optional<double> seconds() const
    {
        return end_ > 0 ? std::optional<double>(static_cast<double>(end_ - start_) / 1e9) : std::nullopt;
    }

private:
    const Clock& clock_;
    std::int64_t start_ = 0;
    std::int64_t end_ = 0;
};

std::vector<std::uint8_t> copyOf(const core::ByteArray& mat, std::int32_t bytes)
{
    return std::vector<std::uint8_t>(mat.data(), mat.data() + bytes + 1);
}

// The block of bytes bytes that every run converts, all zeros, or every byte value in turn.
core::ByteArray blockOf(std::int32_t bytes, bool everyValue)
{
    core::ByteArray mat(0, static_cast<std::uint32_t>(bytes) + 1);
    for (std::int32_t i = 0; everyValue && i < bytes; ++i)
        mat.data()[i] = static_cast<std::uint8_t>(i);
    return mat;
}

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
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

std::pair<double, std::optional<double>> timeOnce(const CaseSpec& spec, const Bench& bench, Outcome* outcome)
{
    ClockWatch watch(bench.clock);
    core::RunEnvironment env = bench.env;
    env.callWatch = &watch;
    core::ByteArray mat = blockOf(spec.bytes, false);
    std::int64_t start = 0;
    std::int64_t end = 0;
    if (spec.conversion == Conversion::BytesToText) {
        std::u16string s;
        start = bench.clock();
        s = core::BytesToText(spec.method, mat, spec.bytes, env);
        end = bench.clock();
        if (outcome)
            outcome->text = std::move(s);
    } else {
        std::u16string s(static_cast<std::size_t>(spec.bytes), u' ');
        start = bench.clock();
        core::TextToBytes(spec.method, s, mat, env);
        end = bench.clock();
        if (outcome)
            outcome->block = copyOf(mat, spec.bytes);
    }
    return {static_cast<double>(end - start) / 1e9, watch.seconds()};
}

double inProgramSecondsAt(Conversion conversion, std::int32_t bytes, std::int32_t calibrationBytes,
                          const Bench& bench)
{
    const std::int32_t timed = std::min(bytes, calibrationBytes);
    const double seconds = timeOnce({conversion, core::Method::InProgram, timed}, bench).first;
    const double growth = static_cast<double>(bytes) / timed;
    return seconds * (conversion == Conversion::BytesToText ? growth * growth : growth);
}

BatchResult measureBatch(const Batch& batch, const Bench& bench)
{
    BatchResult r;
    if (batch.spec.firstCall) {
        // The binding a first call of the library starts with, timed on its own;
        // the trying ahead of the loading is over before, as in the window.
        if (batch.spec.method == core::Method::Library) {
            bench.env.libraryInUse().waitUntilPrepared();
            const std::int64_t start = bench.clock();
            bench.env.libraryInUse().bind();
            r.binding = static_cast<double>(bench.clock() - start) / 1e9;
        }
        r.firstCall = r.binding.value_or(0) + timeOnce(batch.spec, bench).first;
    }
    for (std::size_t i = 0; i < batch.warmup; ++i)
        timeOnce(batch.spec, bench);
    Outcome outcome, want;
    const bool check = batch.checkFirst || batch.checkLast;
    if (check)
        timeOnce({batch.spec.conversion, core::Method::InProgram, batch.spec.bytes}, bench, &want);
    const std::int64_t started = bench.clock();
    for (std::size_t i = 0; batch.runs ? i < batch.runs : i == 0 || bench.clock() - started < batch.budgetNs; ++i) {
        const auto [seconds, call] = timeOnce(batch.spec, bench, check ? &outcome : nullptr);
        r.times.push_back(seconds);
        if (call)
            r.calls.push_back(*call);
        if (i == 0 && batch.checkFirst && r.wrong.empty())
            r.wrong = difference(batch.spec, outcome, want);
    }
    if (batch.checkLast && r.wrong.empty())
        r.wrong = difference(batch.spec, outcome, want);
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
        return {};
    }
    for (std::size_t i = 0; i < got.block.size() && i < want.block.size(); ++i)
        if (got.block[i] != want.block[i])
            return where + "byte " + std::to_string(i) + " is " + hex(got.block[i])
                 + " where the in-program routines give " + hex(want.block[i]);
    return {};
}

std::string checkEveryByteValue(Conversion conversion, const core::RunEnvironment& env)
{
    constexpr std::int32_t kBytes = 256;
    const core::ByteArray block = blockOf(kBytes, true);
    const CaseSpec spec{conversion, core::Method::Library, kBytes};
    Outcome got, want;
    if (conversion == Conversion::BytesToText) {
        got.text = core::BytesToText(core::Method::Library, block, kBytes, env);
        want.text = core::BytesToText(core::Method::InProgram, block, kBytes, env);
    } else {
        const std::u16string text = core::BytesToText(core::Method::InProgram, block, kBytes, env);
        std::u16string s = text;
        core::ByteArray mat = blockOf(kBytes, false);
        core::TextToBytes(core::Method::Library, s, mat, env);
        got.block = copyOf(mat, kBytes);
        s = text;
        mat = blockOf(kBytes, false);
        core::TextToBytes(core::Method::InProgram, s, mat, env);
        want.block = copyOf(mat, kBytes);
    }
    const std::string d = difference(spec, got, want);
    return d.empty() ? d : "every byte value, " + d;
}

} // namespace misura
