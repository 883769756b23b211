// The program's own counted-string allocator, used where the system has none:
// its check of strings handed back, and the end of a program that frees one
// that is not live.
#include "contract/sysstring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(SysStringDeathTest, OnlyLiveStringsOfTheAllocatorPassItsCheckOrAreFreed)
{
    BSTR live = SysAllocStringByteLen("abcdef", 6);
    BSTR overlong = SysAllocStringByteLen("0123456789", 10);
    const std::uint32_t claimed = 11;
    std::memcpy(reinterpret_cast<char*>(overlong) - 4, &claimed, 4);
    // Freed last, so no later allocation takes its address.
    BSTR freed = SysAllocStringByteLen("x", 1);
    SysFreeString(freed);
    static char text[] = "\x02\0\0\0hi";
    BSTR notOurs = reinterpret_cast<BSTR>(text + 4);

    const struct {
        const char* what;
        BSTR s;
        int expected;
    } cases[] = {{"null", nullptr, SYSSTRING_LIVE},      {"live", live, SYSSTRING_LIVE},
                 {"freed", freed, SYSSTRING_UNKNOWN},    {"not ours", notOurs, SYSSTRING_UNKNOWN},
                 {"overlong", overlong, SYSSTRING_OVERLONG}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(sysStringCheck(c.s), c.expected);
    }
    EXPECT_DEATH(SysFreeString(freed), "not a live counted string");
    EXPECT_DEATH(SysFreeString(notOurs), "not a live counted string");
    SysFreeString(live);
    SysFreeString(overlong);
}
