// Presses of the two push buttons in a fresh process, for timing from outside:
// each letter of the arguments is one step, and each step prints its name, its
// seconds on the clock and on the thread's processor time, and the minor page
// faults it took (the last two -1 where the system counts none). The heap is set
// up first, as the programs' start-up does, unless the first argument is
// "default-heap".
//   p   the in-program bytes-to-text conversion, the interval of "Quendril"
//   s   the in-program text-to-bytes conversion, the interval of "StringToArray"
//   q   the library's bytes-to-text conversion, the interval of "Quendril" with the library
//   l   both library runs, one after the other (timed as one step)
//   f   the floor of p: an exact-size allocation and one copy per character
//   w   the window shown: the library's loading tried ahead, as the programs
//       start it then, and waited for, as a user's first press finds it
#include "bench/process_readings.h"
#include "core/quendril_library.h"
#include "core/runs.h"
#include "platform/heap.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Where results go, so that no conversion is left out as unused.
volatile std::size_t sink = 0;

// The in-program conversion's allocation pattern with nothing else in it.
std::size_t floorLoop(const std::uint8_t* mat, std::size_t n)
{
    std::unique_ptr<char16_t[]> acc;
    for (std::size_t i = 0; i < n; ++i) {
        std::unique_ptr<char16_t[]> next(new char16_t[i + 1]);
        if (i)
            std::memcpy(next.get(), acc.get(), i * sizeof(char16_t));
        next[i] = mat[i];
        acc = std::move(next);
    }
    return n ? acc[n - 1] : 0;
}

// Runs one step; false for an unknown one.
bool step(char what, const core::RunEnvironment& env)
{
    core::ByteArray mat(0, core::kBlockElements);
    std::u16string s(core::kBlockBytes, u' ');
    const long faults = bench::minorFaults();
    const double cpu = bench::threadSeconds();
    const auto start = std::chrono::steady_clock::now();
    switch (what) {
    case 'p':
        sink = core::BytesToText(core::Method::InProgram, mat, core::kBlockBytes, env).size();
        break;
    case 's':
        core::TextToBytes(core::Method::InProgram, s, mat, env);
        break;
    case 'q':
        sink = core::BytesToText(core::Method::Library, mat, core::kBlockBytes, env).size();
        break;
    case 'l':
        sink = core::BytesToText(core::Method::Library, mat, core::kBlockBytes, env).size();
        core::TextToBytes(core::Method::Library, s, mat, env);
        break;
    case 'f':
        sink = floorLoop(mat.data(), core::kBlockBytes);
        break;
    case 'w':
        core::prepareProcessLibrary();
        env.libraryInUse().waitUntilPrepared();
        break;
    default:
        return false;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    sink = sink + s.size();
    std::printf("%c %.6f %.6f %ld\n", what, took.count(), cpu < 0 ? -1 : bench::threadSeconds() - cpu,
                faults < 0 ? -1 : bench::minorFaults() - faults);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "default-heap") == 0)
        ++first;
    else
        platform::keepFreedMemory();
    const core::RunEnvironment env = core::RunEnvironment::system();
    for (int i = first; i < argc; ++i) {
        for (const char* c = argv[i]; *c; ++c) {
            if (!step(*c, env)) {
                std::fprintf(stderr, "press_probe: unknown step '%c' (p, s, q, l, f or w)\n", *c);
                return 2;
            }
        }
    }
    return 0;
}
