// Reads the decimal separator from the locale the environment selects, through
// the stopwatch's own default, and compares the result text with the expected
// one (UTF-8). Run by ctest under several locales.
// Usage: regional_check EXPECTED-TEXT
#include "core/clstime.h"
#include "platform/utf16.h"
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
    const std::string got = platform::toUtf8(t.TempoImpiegato());
    if (got == argv[1])
        return 0;
    std::printf("expected \"%s\", got \"%s\"\n", argv[1], got.c_str());
    return 1;
}
