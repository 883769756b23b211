// Timed repetitions of the runs' conversions. Between two clock readings there
// is exactly one call of core::BytesToText or core::TextToBytes; making the
// block and the text, and freeing the result, happen outside them.
#include "tools/misura-libreria/measure.h"

#include "core/byte_array.h"

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

double timeOnce(const CaseSpec& spec, const Bench& bench)
{
    core::ByteArray mat(0, static_cast<std::uint32_t>(spec.bytes) + 1);
    std::int64_t start = 0;
    std::int64_t end = 0;
    if (spec.conversion == Conversion::BytesToText) {
        std::u16string s;
        start = bench.clock();
        s = core::BytesToText(spec.method, mat, spec.bytes, bench.env);
        end = bench.clock();
    } else {
        std::u16string s(static_cast<std::size_t>(spec.bytes), u' ');
        start = bench.clock();
        core::TextToBytes(spec.method, s, mat, bench.env);
        end = bench.clock();
    }
    return static_cast<double>(end - start) / 1e9;
}

namespace {

// Tells the bench's listener what is being done, at most every kProgressEveryNs.
class Teller {
public:
    Teller(const CaseSpec& spec, const Bench& bench)
        : bench_(bench), what_(std::string(conversionId(spec.conversion)) + ", " + methodId(spec.method) + ", "
                               + std::to_string(spec.bytes) + " bytes: "),
          lastTold_(bench.clock() - kProgressEveryNs)
    {
    }

    // step makes the text only when it is told.
    template <typename Step> void operator()(const Step& step)
    {
        if (!bench_.progress)
            return;
        const std::int64_t now = bench_.clock();
        if (now - lastTold_ >= kProgressEveryNs) {
            lastTold_ = now;
            bench_.progress(what_ + step());
        }
    }

private:
    const Bench& bench_;
    std::string what_;
    std::int64_t lastTold_;
};

bool enoughRuns(const Repetitions& reps, std::size_t done, std::int64_t elapsedNs)
{
    return reps.runs ? done >= *reps.runs : done >= kLeastDefaultRuns && elapsedNs >= kDefaultBudgetNs;
}

} // namespace

Case measureCase(const CaseSpec& spec, const Bench& bench)
{
    Case c{spec.conversion, spec.method, spec.bytes, std::nullopt, {}, {}};
    Teller tell(spec, bench);
    if (spec.firstCall) {
        tell([] { return std::string("first call"); });
        c.firstCall = timeOnce(spec, bench);
    }
    const std::size_t warmup = bench.reps.warmup;
    for (std::size_t i = 0; i < warmup; ++i) {
        tell([&] { return "warm-up " + std::to_string(i + 1) + "/" + std::to_string(warmup); });
        timeOnce(spec, bench);
    }
    const std::int64_t started = bench.clock();
    for (std::size_t i = 0; !enoughRuns(bench.reps, i, bench.clock() - started); ++i) {
        tell([&] {
            const auto& runs = bench.reps.runs;
            return "run " + std::to_string(i + 1) + (runs ? "/" + std::to_string(*runs) : std::string());
        });
        c.times.push_back(timeOnce(spec, bench));
    }
    c.summary = summarize(c.times);
    return c;
}

} // namespace misura
