// The in-program conversions under a system code page of two bytes a
// character, which only Windows lets a user choose.
#include "core/conversions.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

using namespace core;
using platform::kOverflow;
using testing_support::errorNumberOf;

// Run by ctest under a Japanese user, whose system code page (932) is double-byte.
TEST(DoubleByteSystemCodePage, CharacterOfTwoBytesRaises6KeepingEarlierBytes)
{
    if (testing_support::systemCodePage() != 932)
        GTEST_SKIP() << "the system's code page is " << testing_support::systemCodePage() << ", not 932";
    const platform::CodePage& cp = platform::ansiCodePage();
    EXPECT_EQ(static_cast<std::uint16_t>(cp.codeOfChar(u'\u3042')), 0x82A0); // HIRAGANA LETTER A
    EXPECT_EQ(cp.encode(u"a\u3042").bytes(), "a\x82\xA0");
    EXPECT_EQ(cp.decode("a\x82\xA0"), u"a\u3042");
    ByteArray mat(0, 4);
    EXPECT_EQ(errorNumberOf([&] { StringToArray(u"ab\u3042c", mat); }), kOverflow);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(mat.data()), 4), std::string("ab\0\0", 4));
}
