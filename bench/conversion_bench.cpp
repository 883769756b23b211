// Benchmarks of the timed conversions, through the same functions the runs
// call, beside the floors they are judged against: how long each path takes at
// the run's 50000 bytes, how it grows with n, what the stopwatch costs and
// allocates, the peak heap of the in-program bytes-to-text conversion, presses
// in fresh processes and after library runs, and the program's start-up
// against a minimal Qt program.
#include "bench/counting_allocator.h"

#include "core/clstime.h"
#include "core/conversions.h"
#include "core/runs.h"
#include "platform/codepage.h"
#include "platform/folders.h"
#include "platform/heap.h"
#include "contract/quendril.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using core::ByteArray;
using core::RunEnvironment;

constexpr std::int32_t kRunBytes = core::kBlockBytes;

// The cases run on the heap the programs set up at start-up, which keeps
// freed memory. The Cold cases show the cost with the C library's default
// limits, under which the top of the heap goes back to the system and large
// blocks are fresh mappings: a page fault per 4 KiB touched.
constexpr int kDefaultThreshold = 128 << 10;

void setDefaultHeapLimits()
{
    mallopt(M_TRIM_THRESHOLD, kDefaultThreshold);
    mallopt(M_MMAP_THRESHOLD, kDefaultThreshold);
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
    setDefaultHeapLimits();
    BytesToText(s, core::Method::Library);
    platform::keepFreedMemory();
}
void Run2_Library_Cold(benchmark::State& s)
{
    setDefaultHeapLimits();
    TextToBytes(s, core::Method::Library);
    platform::keepFreedMemory();
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
            if (acc)
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

// The library's own functions, called bare: bound once, no guard, no wrapper.
struct BareLibrary {
    void* handle = dlopen((platform::programFolder() + "/libquendril.so").c_str(), RTLD_NOW);
    decltype(&::xrQuendril) quendril =
        handle ? reinterpret_cast<decltype(&::xrQuendril)>(dlsym(handle, "xrQuendril")) : nullptr;
    decltype(&::xrStringToArray) stringToArray =
        handle ? reinterpret_cast<decltype(&::xrStringToArray)>(dlsym(handle, "xrStringToArray")) : nullptr;
};

const BareLibrary& bareLibrary()
{
    static const BareLibrary lib;
    return lib;
}

// What the library path must do with the bytes it gets back in the program's
// code page: widen them into a fresh text, and find whether any of them is one
// of the 32 (0x80-0x9F) that stand for another character.
std::u16string widened(BSTR b)
{
    const auto* first = reinterpret_cast<const unsigned char*>(b);
    const std::size_t n = SysStringByteLen(b);
    std::u16string text(first, first + n);
    unsigned char least = 0xFF;
    for (std::size_t i = 0; i < n; ++i)
        least = std::min<unsigned char>(least, first[i] ^ 0x80);
    if (least < 0x20)
        text.clear();
    return text;
}

// Run 1's library path at its least: the bare call and its result widened.
void Floor_LibraryCall(benchmark::State& state)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    const auto& lib = bareLibrary();
    if (!lib.quendril) {
        state.SkipWithError("cannot bind the library");
        return;
    }
    const ByteArray mat(0, static_cast<std::uint32_t>(n) + 1);
    for (auto _ : state) {
        BSTR b = lib.quendril(mat.data(), n);
        std::u16string text = widened(b);
        SysFreeString(b);
        benchmark::DoNotOptimize(text.data());
    }
}

// Run 2's library path at its least: the text narrowed into a fresh counted
// string, the bare call, and what it leaves widened back into the text.
void Floor_LibraryCall_Run2(benchmark::State& state)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    const auto& lib = bareLibrary();
    if (!lib.stringToArray) {
        state.SkipWithError("cannot bind the library");
        return;
    }
    ByteArray mat(0, static_cast<std::uint32_t>(n) + 1);
    std::u16string s(static_cast<std::size_t>(n), u' ');
    for (auto _ : state) {
        BSTR b = SysAllocStringByteLen(nullptr, static_cast<unsigned>(n));
        char* const out = reinterpret_cast<char*>(b);
        const char16_t* const in = s.data();
        const std::size_t count = s.size();
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<char>(in[i]);
        lib.stringToArray(&b, mat.data());
        s = widened(b);
        SysFreeString(b);
        benchmark::DoNotOptimize(mat.data());
    }
}

BENCHMARK(Floor_Library)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Floor_Library_Run2)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Floor_BytesToText)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Floor_TextToBytes)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Floor_LibraryCall)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Floor_LibraryCall_Run2)->Arg(kRunBytes)->Unit(benchmark::kMicrosecond);
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

// --- Presses: the in-program Quendril after library runs, and in fresh processes.

// Each press follows both library runs ("Quendril" and "StringToArray" with
// the library selected), untimed, in this process.
void Press_AfterLibrary_InProgram(benchmark::State& state)
{
    const ByteArray mat(0, core::kBlockElements);
    std::u16string s(kRunBytes, u' ');
    ByteArray back(0, core::kBlockElements);
    for (auto _ : state) {
        state.PauseTiming();
        benchmark::DoNotOptimize(core::BytesToText(core::Method::Library, mat, kRunBytes, environment()));
        core::TextToBytes(core::Method::Library, s, back, environment());
        state.ResumeTiming();
        benchmark::DoNotOptimize(core::BytesToText(core::Method::InProgram, mat, kRunBytes, environment()));
    }
}
BENCHMARK(Press_AfterLibrary_InProgram)->Iterations(10)->Unit(benchmark::kMicrosecond);

struct ProbeStep {
    char what;
    double seconds;
    double cpuSeconds;
    long faults;
};

// The steps the press probe reports for args, in a process of its own; empty if it failed.
std::vector<ProbeStep> runProbe(const std::string& args)
{
    const std::string command = platform::programFolder() + "/press_probe " + args;
    std::vector<ProbeStep> steps;
    FILE* out = popen(command.c_str(), "r");
    if (!out)
        return steps;
    ProbeStep step{};
    while (std::fscanf(out, " %c %lf %lf %ld", &step.what, &step.seconds, &step.cpuSeconds, &step.faults) == 4)
        steps.push_back(step);
    return pclose(out) == 0 ? steps : std::vector<ProbeStep>{};
}

// The first press of a fresh process, one process per sample: the probe's
// last step, after any that set the scene.
void FirstPress(benchmark::State& state, const std::string& args)
{
    double faults = 0;
    for (auto _ : state) {
        const std::vector<ProbeStep> steps = runProbe(args);
        if (steps.empty()) {
            state.SkipWithError("the press probe failed");
            return;
        }
        state.SetIterationTime(steps.back().seconds);
        faults += static_cast<double>(steps.back().faults);
    }
    state.counters["minor_faults"] = faults / static_cast<double>(state.iterations());
}

void FirstPress_InProgram(benchmark::State& s) { FirstPress(s, "p"); }
// The library's first call once the window has shown: the binding and one
// conversion, the loading having been tried ahead while the user reached for the button.
void FirstPress_Library(benchmark::State& s) { FirstPress(s, "wq"); }
void FirstPress_InProgram_DefaultHeap(benchmark::State& s) { FirstPress(s, "default-heap p"); }
BENCHMARK(FirstPress_InProgram)->Iterations(10)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(FirstPress_InProgram_DefaultHeap)->Iterations(5)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(FirstPress_Library)->Iterations(10)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Ten presses of a fresh process, each after both library runs but the first,
// then the floor loop four times: the spread of the presses (max over min) and
// the first press against the fastest floor of the same process, on the clock
// and on the processor time the load of other programs leaves alone, and the
// most page faults a press took.
void Interleaved_InProgram(benchmark::State& state)
{
    struct Worst {
        double spread = 0;
        double firstOverFloor = 0;
    } clock, cpu;
    long faults = 0;
    auto judge = [](Worst& worst, const std::vector<double>& presses, double floor) {
        const auto [least, most] = std::minmax_element(presses.begin(), presses.end());
        worst.spread = std::max(worst.spread, *most / *least);
        worst.firstOverFloor = std::max(worst.firstOverFloor, presses.front() / floor);
    };
    for (auto _ : state) {
        const std::vector<ProbeStep> steps = runProbe("plplplplplplplplplp ffff");
        std::vector<double> presses, pressesCpu;
        double floor = 0, floorCpu = 0;
        for (const ProbeStep& step : steps) {
            if (step.what == 'p') {
                presses.push_back(step.seconds);
                pressesCpu.push_back(step.cpuSeconds);
                faults = std::max(faults, step.faults);
            } else if (step.what == 'f') {
                floor = floor == 0 ? step.seconds : std::min(floor, step.seconds);
                floorCpu = floorCpu == 0 ? step.cpuSeconds : std::min(floorCpu, step.cpuSeconds);
            }
        }
        if (presses.size() != 10 || floor <= 0 || floorCpu <= 0) {
            state.SkipWithError("the press probe failed");
            return;
        }
        judge(clock, presses, floor);
        judge(cpu, pressesCpu, floorCpu);
        double total = 0;
        for (double p : presses)
            total += p;
        state.SetIterationTime(total / static_cast<double>(presses.size()));
    }
    state.counters["worst_max_over_min"] = clock.spread;
    state.counters["worst_first_over_floor"] = clock.firstOverFloor;
    state.counters["worst_max_over_min_cpu"] = cpu.spread;
    state.counters["worst_first_over_floor_cpu"] = cpu.firstOverFloor;
    state.counters["most_minor_faults"] = static_cast<double>(faults);
}
BENCHMARK(Interleaved_InProgram)->Iterations(5)->UseManualTime()->Unit(benchmark::kMicrosecond);

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
    platform::keepFreedMemory();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
