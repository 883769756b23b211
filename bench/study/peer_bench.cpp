// Google Benchmark's view of the calls the measuring study compares: one
// benchmark per library named on the command line after "--", each timing
// xrQuendril on a zeroed 50000-byte block and the freeing of its string, as a
// benchmark is usually written (pausing the timer costs microseconds here, more
// than the call). Its repetitions, randomly
// interleaved between the libraries, are what the study's U test compares.
// The heap keeps freed memory, as the programs set it.
// Usage: peer_bench [benchmark options] -- LIBRARY...
#include "contract/quendril.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Convert = BSTR(QUENDRIL_CALL*)(const uint8_t*, int32_t);
constexpr int32_t kBytes = 50000;

void convertOnce(benchmark::State& state, Convert convert)
{
    const std::vector<uint8_t> block(kBytes + 1, 0);
    for (auto _ : state) {
        BSTR s = convert(block.data(), kBytes);
        benchmark::DoNotOptimize(s);
        SysFreeString(s);
    }
}

} // namespace

int main(int argc, char** argv)
{
    mallopt(M_MMAP_THRESHOLD, 512 << 10);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    int options = argc;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--") == 0)
            options = i;
    for (int i = options + 1; i < argc; ++i) {
        void* library = dlopen(argv[i], RTLD_NOW | RTLD_LOCAL);
        const auto convert = library ? reinterpret_cast<Convert>(dlsym(library, "xrQuendril")) : nullptr;
        if (!convert) {
            std::fprintf(stderr, "peer_bench: cannot load %s: %s\n", argv[i], dlerror());
            return 1;
        }
        benchmark::RegisterBenchmark(("Quendril/" + std::to_string(i - options)).c_str(), convertOnce, convert);
    }
    benchmark::Initialize(&options, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
