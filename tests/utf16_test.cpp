// UTF-8 <-> UTF-16: every length of sequence both ways, and malformed input.
#include "platform/utf16.h"

#include <gtest/gtest.h>

using platform::toUtf16;
using platform::toUtf8;

TEST(Utf16, RoundTripsEverySequenceLength)
{
    const std::u16string text = u"a\u00E8\u20AC\U0001F600";
    const std::string utf8 = "a\xC3\xA8\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(toUtf16(utf8), text);
    EXPECT_EQ(toUtf8(text), utf8);
    EXPECT_EQ(toUtf16(std::string("x\0y", 3)), std::u16string(u"x\0y", 3));
}

TEST(Utf16, MalformedInputBecomesOneReplacementEach)
{
    EXPECT_EQ(toUtf16("\x80z"), u"\uFFFDz");                 // lone continuation byte
    EXPECT_EQ(toUtf16("\xC3"), u"\uFFFD");                   // truncated at the end
    EXPECT_EQ(toUtf16("\xE2\x82z"), u"\uFFFDz");             // truncated in the middle
    EXPECT_EQ(toUtf16("\xC0\xAF"), u"\uFFFD");               // overlong
    EXPECT_EQ(toUtf16("\xED\xA0\x80"), u"\uFFFD");           // an encoded surrogate
    EXPECT_EQ(toUtf16("\xF4\x90\x80\x80"), u"\uFFFD");       // past U+10FFFF
    EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
