// Checked 32-bit arithmetic, the errors it raises, and the report of a numbered error.
#include "platform/runtime_error.h"

#include "platform/fault_report.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

#include <climits>
#include <cstring>

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

// The report as the user reads it, cut short in a small buffer but never overrun.
TEST(ErrorReport, WordingAndBounds)
{
    char text[64];
    std::memset(text, 'x', sizeof text);
    const std::size_t length = formatReport(text, sizeof text, 53, "\n\n", "impossibile trovare ", "la libreria");
    EXPECT_STREQ(text, "Errore di run-time '53':\n\nimpossibile trovare la libreria");
    EXPECT_EQ(length, std::strlen(text));
    char small[12];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(formatReport(small, 10, 51, " ", "descrizione", ""), std::strlen("Errore di run-time '51': descrizione"));
    EXPECT_STREQ(small, "Errore di");
    EXPECT_EQ(small[10], 'x');
}

// The fresh image believes a hand-over only in its exact form: a stray
// variable in the user's environment is not a report.
TEST(ErrorReport, HandOverIsReadOnlyInItsForm)
{
    char buffer[256];
    faultReport::Text text(buffer, sizeof buffer);
    faultReport::appendHandOverHead(text, 4242, kInternalError);
    faultReport::appendDescription(text, "libquendril.so", "xrQuendril", false, false, "Segmentation fault");
    const auto read = faultReport::readHandOver(text.data());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->process, 4242u);
    EXPECT_EQ(read->error.number(), kInternalError);
    EXPECT_EQ(read->error.description(),
              "la funzione 'xrQuendril' della libreria 'libquendril.so' si è interrotta: Segmentation fault");
    EXPECT_EQ(faultReport::readHandOver("7:51:a: b:c")->error.description(), "a: b:c");
    for (const char* stray : {"", "1", "yes", "12:51", ":51:x", "12::x", "12a:51:x", "12:5x:x"})
        EXPECT_FALSE(faultReport::readHandOver(stray)) << stray;
}
