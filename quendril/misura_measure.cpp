// Timed repetitions of the runs' conversions. Between two clock readings there
// is exactly one call of core::BytesToText or core::TextToBytes; making the
// block and the text, and freeing the result, happen outside them.
#include "quendril/misura_measure.h"

#include "core/byte_array.h"
#include "core/quendril_library.h"

#include <string>
#include <utility>

namespace misura {

namespace {

constexpr std::int64_t kDefaultBudgetNs = 1000000000;
constexpr std::size_t kLeastDefaultRuns = 10;
// Progress is told at most this often, so that telling it costs nothing measurable.
constexpr std::int64_t kProgressEveryNs = 100000000;

} // namespace

const char* conversionId(Conversion c)
{
    return c == Conversion::BytesToText ? "bytes-to-text" : "text-to-bytes";
}

const char* methodId(core::Method m)
{
    return m == core::Method::Library ? "library" : "in-program";
}

double timeOnce(Conversion conversion, core::Method method, std::int32_t bytes,
                const core::RunEnvironment& env, const Clock& clock)
{
    core::ByteArray mat(0, static_cast<std::uint32_t>(bytes) + 1);
    std::int64_t start = 0;
    std::int64_t end = 0;
    if (conversion == Conversion::BytesToText) {
        std::u16string s;
        start = clock();
        s = core::BytesToText(method, mat, bytes, env);
        end = clock();
    } else {
        std::u16string s(static_cast<std::size_t>(bytes), u' ');
        start = clock();
        core::TextToBytes(method, s, mat, env);
        end = clock();
    }
    return static_cast<double>(end - start) / 1e9;
}

Case measureCase(Conversion conversion, core::Method method, std::int32_t bytes, const Repetitions& reps,
                 const core::RunEnvironment& env, bool firstCall, const Clock& clock,
                 const ProgressFn& progress)
{
    Case c{conversion, method, bytes, std::nullopt, std::nullopt, {}, {}};
    const std::string what = std::string(conversionId(conversion)) + ", " + methodId(method) + ", "
                           + std::to_string(bytes) + " bytes: ";
    std::int64_t lastTold = clock() - kProgressEveryNs;
    // step makes the text only when it is told.
    const auto tell = [&](const auto& step) {
        if (!progress)
            return;
        const std::int64_t now = clock();
        if (now - lastTold >= kProgressEveryNs) {
            lastTold = now;
            progress(what + step());
        }
    };
    if (firstCall) {
        tell([] { return std::string("first call"); });
        // The binding a first call of the library starts with, timed on its own.
        if (method == core::Method::Library) {
            const std::int64_t start = clock();
            env.library.bind();
            c.binding = static_cast<double>(clock() - start) / 1e9;
        }
        c.firstCall = c.binding.value_or(0) + timeOnce(conversion, method, bytes, env, clock);
    }
    for (std::size_t i = 0; i < reps.warmup; ++i) {
        tell([&] { return "warm-up " + std::to_string(i + 1) + "/" + std::to_string(reps.warmup); });
        timeOnce(conversion, method, bytes, env, clock);
    }
    const std::int64_t started = clock();
    for (std::size_t i = 0;; ++i) {
        if (reps.runs ? i >= *reps.runs
                      : i >= kLeastDefaultRuns && clock() - started >= kDefaultBudgetNs)
            break;
        tell([&] {
            std::string line = "run " + std::to_string(i + 1);
            if (reps.runs)
                line.append("/").append(std::to_string(*reps.runs));
            return line;
        });
        c.times.push_back(timeOnce(conversion, method, bytes, env, clock));
    }
    c.summary = summarize(c.times);
    return c;
}

} // namespace misura
