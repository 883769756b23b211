// Checked 32-bit arithmetic and the numbers of the errors it raises.
#include "platform/runtime_error.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

#include <climits>

using namespace platform;
using testing_support::errorNumberOf;

TEST(CheckedArithmetic, ResultsThatFitAreExact)
{
    EXPECT_EQ(checkedAdd(INT32_MAX - 1, 1), INT32_MAX);
    EXPECT_EQ(checkedSub(INT32_MIN + 1, 1), INT32_MIN);
    EXPECT_EQ(checkedSub(-1, INT32_MAX), INT32_MIN);
    EXPECT_EQ(narrow(-2147483648LL), INT32_MIN);
}

TEST(CheckedArithmetic, ResultsThatDoNotFitRaiseOverflow)
{
    EXPECT_EQ(errorNumberOf([] { checkedAdd(INT32_MAX, 1); }), kOverflow);
    EXPECT_EQ(errorNumberOf([] { checkedSub(INT32_MIN, 1); }), kOverflow);
    EXPECT_EQ(errorNumberOf([] { checkedSub(0, INT32_MIN); }), kOverflow);
    EXPECT_EQ(errorNumberOf([] { narrow(2147483648LL); }), kOverflow);
}

TEST(RuntimeErrors, CarryNumberAndDescription)
{
    try {
        raiseSubscriptOutOfRange();
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 9);
        EXPECT_FALSE(e.description().empty());
        EXPECT_STREQ(e.what(), e.description().c_str());
    }
}
