// Checked 32-bit arithmetic, the errors it raises, and the form in which
// one process of the program hands an error to another.
#include "platform/runtime_error.h"

#include "platform/error_text.h"
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

// Any bytes in the arguments travel, and come back, as one line of printable ASCII.
TEST(ErrorForm, EncodedErrorsReadBackWhole)
{
    const std::string path = "/a:b%c\nd \xC3\xA8.so";
    const RuntimeError error(kLibraryNotLoadable, Message::libraryNotLoadable, {path}, verbatim("no: such\tfile"));
    const std::string text = encoded(describe(error));
    for (const char c : text)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << text;
    const std::optional<RuntimeError> back = decodeError(text);
    ASSERT_TRUE(back) << text;
    EXPECT_EQ(back->number(), kLibraryNotLoadable);
    EXPECT_EQ(back->description(Language::english), error.description(Language::english));
    // Cut short anywhere, it is no error: an argument cut off is never taken for the whole.
    for (std::size_t n = 0; n < text.size(); ++n)
        EXPECT_FALSE(decodeError(text.substr(0, n))) << text.substr(0, n);
    // Unknown numbers and messages, arguments too few or too many, a reason where none goes, a bad escape.
    const std::string formed = std::to_string(static_cast<int>(Message::libraryNotFound));
    EXPECT_TRUE(decodeError("53:" + formed + ":x:"));
    for (const std::string& forged : {"54:" + formed + ":x:", std::string("53:250:x:"), "53:" + formed + ":", "53:" + formed + ":x:y:",
                                     "53:" + formed + ":x:1:y:", "53:" + formed + ":%G0:", "53:" + formed + ":%4:"})
        EXPECT_FALSE(decodeError(forged)) << forged;
}

// The fresh image believes a hand-over only in its form: a stray variable in
// the user's environment is not a report, and a forged or cut report is error
// 51 unknown, never a crash.
TEST(ErrorForm, HandOverIsReadOnlyInItsForm)
{
    char buffer[256];
    Text text(buffer, sizeof buffer);
    const MessageView message = faultReport::faultMessage({"libquendril.so", "xrQuendril", false, false});
    const MessageView fault{Message::verbatim, {"Segmentation fault"}};
    faultReport::appendHandOver(text, 4242, kInternalError, message, &fault);
    const auto read = faultReport::readHandOver(text.data());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->process, 4242u);
    EXPECT_EQ(read->error.number(), kInternalError);
    EXPECT_EQ(read->error.description(Language::italian),
              "la funzione 'xrQuendril' della libreria 'libquendril.so' si è interrotta: Segmentation fault");
    EXPECT_EQ(read->error.description(Language::english),
              "function 'xrQuendril' of library 'libquendril.so' failed: Segmentation fault");
    for (const char* forged : {"7:51:a: b:c", "7:51:9999:", "7:51:"}) {
        const auto unknown = faultReport::readHandOver(forged);
        ASSERT_TRUE(unknown) << forged;
        EXPECT_EQ(unknown->error.number(), kInternalError);
        EXPECT_EQ(unknown->error.message().id, Message::unknownInternalError) << forged;
    }
    for (const char* stray : {"", "1", "yes", "12:51", ":51:x", "12::x", "12a:51:x", "12:5x:x", " 12:51:x", "12:-5:x"})
        EXPECT_FALSE(faultReport::readHandOver(stray)) << stray;
}
