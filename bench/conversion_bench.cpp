// Benchmarks of the timed conversions, through the same functions the runs
// call, beside the floors they are judged against: how long each path takes at
// the run's 50000 bytes, how it grows with n, what the stopwatch costs and
// allocates, the peak heap of the in-program bytes-to-text conversion, and the
// program's start-up against a minimal Qt program.
#include "bench/counting_allocator.h"

#include "core/clstime.h"
#include "core/conversions.h"
#include "core/runs.h"
#include "platform/codepage.h"
#include "platform/folders.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

namespace {

using core::ByteArray;
using core::RunEnvironment;

constexpr std::int32_t kRunBytes = core::kBlockBytes;

// The C library's allocator gives memory back to the system when the top of
// the heap is freed, and serves blocks of 128 KiB and more with fresh pages;
// either way the next conversion pays a page fault per 4 KiB touched. The cases
// run on a heap kept warm, as a program that converts again and again sees it;
// the Cold cases show the cost with the allocator's defaults.
constexpr int kWarmThreshold = 256 << 20;
constexpr int kDefaultThreshold = 128 << 10;

void setHeapThresholds(int bytes)
{
    mallopt(M_TRIM_THRESHOLD, bytes);
    mallopt(M_MMAP_THRESHOLD, bytes);
}

const RunEnvironment& environment()
{
    static const RunEnvironment env = RunEnvironment::system();
    return env;
}

// --- The four timed intervals and their growth.

void BytesToText(benchmark::State& state, core::Method method)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    const ByteArray mat(0, static_cast<std::uint32_t>(n) + 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(core::BytesToText(method, mat, n, environment()));
    state.SetComplexityN(n);
    state.SetBytesProcessed(state.iterations() * n);
}

void TextToBytes(benchmark::State& state, core::Method method)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    ByteArray mat(0, static_cast<std::uint32_t>(n) + 1);
    std::u16string s(static_cast<std::size_t>(n), u' ');
    for (auto _ : state) {
        core::TextToBytes(method, s, mat, environment());
        benchmark::DoNotOptimize(mat.data());
    }
    state.SetComplexityN(n);
    state.SetBytesProcessed(state.iterations() * n);
}

void Run1_Library(benchmark::State& s) { BytesToText(s, core::Method::Library); }
void Run1_Library_Cold(benchmark::State& s)
{
    setHeapThresholds(kDefaultThreshold);
    BytesToText(s, core::Method::Library);
    setHeapThresholds(kWarmThreshold);
}
void Run2_Library_Cold(benchmark::State& s)
{
    setHeapThresholds(kDefaultThreshold);
    TextToBytes(s, core::Method::Library);
    setHeapThresholds(kWarmThreshold);
}
void Run1_InProgram(benchmark::State& s) { BytesToText(s, core::Method::InProgram); }
void Run2_Library(benchmark::State& s) { TextToBytes(s, core::Method::Library); }
void Run2_InProgram(benchmark::State& s) { TextToBytes(s, core::Method::InProgram); }

BENCHMARK(Run1_Library)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Run1_InProgram)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Run2_Library)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Run2_InProgram)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Run1_Library_Cold)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Run2_Library_Cold)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);

#define GROWTH(fn) \
    BENCHMARK(fn)->Name("Growth/" #fn)->RangeMultiplier(2)->Range(1 << 10, 1 << 16) \
        ->Complexity()->Unit(benchmark::kMicrosecond)
GROWTH(Run1_Library);
GROWTH(Run1_InProgram);
GROWTH(Run2_Library);
GROWTH(Run2_InProgram);

// --- Floors: the least work each path could do and still be what it is.

// A copy of n bytes (what the library does) and their widening to 16-bit characters.
void Floor_Library(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto source = std::make_unique<std::uint8_t[]>(n);
    const auto copy = std::make_unique<std::uint8_t[]>(n);
    const auto text = std::make_unique<char16_t[]>(n);
    for (auto _ : state) {
        std::memcpy(copy.get(), source.get(), n);
        benchmark::ClobberMemory();
        for (std::size_t i = 0; i < n; ++i)
            text[i] = copy[i];
        benchmark::DoNotOptimize(text.get());
        benchmark::ClobberMemory();
    }
    state.SetComplexityN(static_cast<std::int64_t>(n));
}

// Run 2's library path cannot avoid narrowing the text to bytes before the
// copy, so its own floor adds that pass to the library floor.
void Floor_Library_Run2(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::u16string source(n, u' ');
    const auto bytes = std::make_unique<char[]>(n);
    const auto copy = std::make_unique<char[]>(n);
    const auto text = std::make_unique<char16_t[]>(n);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<char>(source[i]);
        benchmark::ClobberMemory();
        std::memcpy(copy.get(), bytes.get(), n);
        benchmark::ClobberMemory();
        for (std::size_t i = 0; i < n; ++i)
            text[i] = static_cast<unsigned char>(copy[i]);
        benchmark::DoNotOptimize(text.get());
        benchmark::ClobberMemory();
    }
    state.SetComplexityN(static_cast<std::int64_t>(n));
}

// Per appended character: one exact-size allocation and one copy of what came before.
void Floor_BytesToText(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto mat = std::make_unique<std::uint8_t[]>(n);
    for (auto _ : state) {
        std::unique_ptr<char16_t[]> acc;
        for (std::size_t i = 0; i < n; ++i) {
            std::unique_ptr<char16_t[]> next(new char16_t[i + 1]);
            std::memcpy(next.get(), acc.get(), i * sizeof(char16_t));
            next[i] = mat[i];
            acc = std::move(next);
        }
        benchmark::DoNotOptimize(acc.get());
    }
    state.SetComplexityN(static_cast<std::int64_t>(n));
}

// Per character: one one-character text, one table lookup and one store.
void Floor_TextToBytes(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::u16string s(n, u' ');
    const auto mat = std::make_unique<std::uint8_t[]>(n);
    std::array<std::uint8_t, 256> table{};
    for (std::size_t c = 0; c < table.size(); ++c)
        table[c] = static_cast<std::uint8_t>(c);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::u16string one(1, s[i]);
            benchmark::DoNotOptimize(one.data());
            mat[i] = table[one[0] & 0xFF];
        }
        benchmark::DoNotOptimize(mat.get());
    }
    state.SetComplexityN(static_cast<std::int64_t>(n));
}

BENCHMARK(Floor_Library)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Floor_Library_Run2)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Floor_BytesToText)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Floor_TextToBytes)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
GROWTH(Floor_Library);
GROWTH(Floor_BytesToText);
GROWTH(Floor_TextToBytes);

// --- The stopwatch: the cost of a mark and what it allocates.

void Stopwatch(benchmark::State& state, void (core::ClsTime::*mark)())
{
    core::ClsTime t;
    const auto before = bench::heapCounters().allocations;
    for (auto _ : state) {
        (t.*mark)();
        benchmark::ClobberMemory();
    }
    state.counters["allocations"] =
        static_cast<double>(bench::heapCounters().allocations - before);
}

void Stopwatch_Inizio(benchmark::State& s) { Stopwatch(s, &core::ClsTime::Inizio); }
void Stopwatch_Fine(benchmark::State& s) { Stopwatch(s, &core::ClsTime::Fine); }
BENCHMARK(Stopwatch_Inizio);
BENCHMARK(Stopwatch_Fine);

// --- Peak heap of the in-program bytes-to-text conversion of the run's block.

void PeakHeap_Run1_InProgram(benchmark::State& state)
{
    const ByteArray mat(0, core::kBlockElements);
    std::size_t peak = 0;
    std::size_t finalText = 0;
    for (auto _ : state) {
        const std::size_t baseline = bench::heapCounters().liveBytes;
        bench::resetHeapPeak();
        const std::u16string s = core::BytesToText(core::Method::InProgram, mat, kRunBytes, environment());
        peak = bench::heapCounters().peakBytes - baseline;
        finalText = s.size() * sizeof(char16_t);
    }
    state.counters["peak_bytes"] = static_cast<double>(peak);
    state.counters["final_text_bytes"] = static_cast<double>(finalText);
}
BENCHMARK(PeakHeap_Run1_InProgram)->Iterations(1)->Unit(benchmark::kMillisecond);

// --- Start-up: process start until the window is shown, as a whole process.

void Startup(benchmark::State& state, const char* program)
{
    const std::string path = platform::programFolder() + "/" + program;
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    static std::string runtimeDir = [] {
        std::string dir = "/tmp/vc-bench-runtime-" + std::to_string(getuid());
        mkdir(dir.c_str(), 0700);
        return dir;
    }();
    std::string platformVar = "QT_QPA_PLATFORM=offscreen";
    std::string runtimeVar = "XDG_RUNTIME_DIR=" + runtimeDir;
    char* envp[] = {platformVar.data(), runtimeVar.data(), nullptr};
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp) != 0) {
            state.SkipWithError("cannot start the program");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program did not end cleanly");
            return;
        }
    }
}

void Startup_Tarmelo(benchmark::State& s) { Startup(s, "startup_probe"); }
void Startup_MinimalQt(benchmark::State& s) { Startup(s, "minimal_window"); }
BENCHMARK(Startup_Tarmelo)->Iterations(15)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Startup_MinimalQt)->Iterations(15)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    setHeapThresholds(kWarmThreshold);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
