// The ANSI code page: the whole byte table, characters it lacks, and the bulk
// conversions against the per-character services.
#include "codepage.h"

#include <gtest/gtest.h>

#include <map>

using namespace platform;

TEST(Windows1252, EveryByteMapsToItsCharacterAndBack)
{
    const std::map<int, char16_t> high = {
        {0x80, 0x20AC}, {0x81, 0x0081}, {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E},
        {0x85, 0x2026}, {0x86, 0x2020}, {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030},
        {0x8A, 0x0160}, {0x8B, 0x2039}, {0x8C, 0x0152}, {0x8D, 0x008D}, {0x8E, 0x017D},
        {0x8F, 0x008F}, {0x90, 0x0090}, {0x91, 0x2018}, {0x92, 0x2019}, {0x93, 0x201C},
        {0x94, 0x201D}, {0x95, 0x2022}, {0x96, 0x2013}, {0x97, 0x2014}, {0x98, 0x02DC},
        {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A}, {0x9C, 0x0153}, {0x9D, 0x009D},
        {0x9E, 0x017E}, {0x9F, 0x0178},
    };
    const CodePage& cp = ansiCodePage();
    for (int b = 0; b < 256; ++b) {
        const char16_t expected = high.count(b) ? high.at(b) : static_cast<char16_t>(b);
        const char16_t c = cp.charFromCode(static_cast<std::uint8_t>(b));
        EXPECT_EQ(c, expected) << "byte " << b;
        EXPECT_EQ(cp.codeOfChar(c), b) << "byte " << b;
    }
}

TEST(Windows1252, CharactersTheCodePageLacksBecomeQuestionMarks)
{
    const CodePage& cp = ansiCodePage();
    // Controls 0x80-0x9F with no byte of their own, characters beyond Latin-1,
    // and look-alikes that a best-fit mapping would have substituted.
    for (char16_t c : std::u16string_view(u"\u0080\u0082\u009F\u0100\u01A0\u2215\uFF07\uFF1C\uFFFF"))
        EXPECT_EQ(cp.codeOfChar(c), '?') << "U+" << std::hex << int(c);
    EXPECT_EQ(cp.codeOfChar(static_cast<char16_t>(0xD800)), '?'); // a lone surrogate
}

TEST(Windows1252, BulkConversionsAgreeWithPerCharacterServices)
{
    const CodePage& cp = ansiCodePage();
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::u16string text = cp.decode(all);
    ASSERT_EQ(text.size(), 256u);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(text[b], cp.charFromCode(static_cast<std::uint8_t>(b)));
    EXPECT_EQ(cp.encode(text).bytes(), all);
    EXPECT_EQ(cp.encode(u"\u20AC\u0100z").bytes(), "\x80?z");
}

TEST(AnsiBstr, RoundTripsByStoredLengthWithZeros)
{
    const std::u16string text(u"a\0\u20AC\0b", 5);
    const Bstr s = toAnsiBstr(text, ansiCodePage());
    EXPECT_EQ(s.bytes(), std::string_view("a\0\x80\0b", 5));
    EXPECT_EQ(fromAnsiBstr(s, ansiCodePage()), text);
    EXPECT_EQ(fromAnsiBstr(Bstr(), ansiCodePage()), u"");
}
