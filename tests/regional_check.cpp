// Reads the decimal separator from the locale the environment selects, through
// the stopwatch's own default, and compares the result text with the expected
// one. Run by ctest under a generated Italian locale and under C.
// Usage: regional_check EXPECTED-TEXT
#include "core/clstime.h"
#include "tests/test_support.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    testing_support::ScriptedTicks ticks({1000, 1040});
    core::ClsTime t(ticks);
    t.Inizio();
    t.Fine();
    const std::u16string got = t.TempoImpiegato();
    const std::string expected = argv[1];
    if (got == std::u16string(expected.begin(), expected.end()))
        return 0;
    std::printf("expected \"%s\", got \"%s\"\n", expected.c_str(), std::string(got.begin(), got.end()).c_str());
    return 1;
}
