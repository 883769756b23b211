// The ANSI code page, Windows-1252 for the program's locale: the whole byte
// table, characters it lacks, and the bulk conversions against the
// per-character services. The table is checked against an independent
// source: the C library's own converter here, and on Windows, where the
// system converts, against our own table.
#include "platform/codepage.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <set>

using namespace platform;
using testing_support::referenceWindows1252Character;

namespace {

// The tests below need the system's code page to be Windows-1252.
bool ansiIsWindows1252()
{
    return testing_support::systemCodePage() == 1252;
}

} // namespace

TEST(Windows1252, EveryByteMapsToItsCharacterAndBack)
{
    // The five bytes the code page leaves unassigned stand for the control
    // character of the same value, as the system's own conversion has them.
    if (!ansiIsWindows1252())
        GTEST_SKIP() << "the system's code page is not Windows-1252";
    const std::set<int> unassigned = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
    const CodePage& cp = ansiCodePage();
    for (int b = 0; b < 256; ++b) {
        const char16_t expected = unassigned.count(b) ? static_cast<char16_t>(b)
                                                      : referenceWindows1252Character(static_cast<unsigned char>(b));
        ASSERT_TRUE(expected != 0 || b == 0) << "the reference leaves byte " << b << " unassigned";
        const char16_t c = cp.charFromCode(static_cast<std::uint8_t>(b));
        EXPECT_EQ(c, expected) << "byte " << b;
        EXPECT_EQ(cp.codeOfChar(c), b) << "byte " << b;
    }
}

TEST(Windows1252, CharactersTheCodePageLacksBecomeQuestionMarks)
{
    if (!ansiIsWindows1252())
        GTEST_SKIP() << "the system's code page is not Windows-1252";
    const CodePage& cp = ansiCodePage();
    // Controls 0x80-0x9F with no byte of their own, characters beyond Latin-1,
    // and look-alikes that a best-fit mapping would have substituted.
    for (char16_t c : std::u16string_view(u"\u0080\u0082\u009F\u0100\u01A0\u2215\uFF07\uFF1C\uFFFF"))
        EXPECT_EQ(cp.codeOfChar(c), '?') << "U+" << std::hex << int(c);
    EXPECT_EQ(cp.codeOfChar(static_cast<char16_t>(0xD800)), '?'); // a lone surrogate
}

TEST(Windows1252, BulkConversionsAgreeWithPerCharacterServices)
{
    if (!ansiIsWindows1252())
        GTEST_SKIP() << "the system's code page is not Windows-1252";
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
    if (!ansiIsWindows1252())
        GTEST_SKIP() << "the system's code page is not Windows-1252";
    const std::u16string text(u"a\0\u20AC\0b", 5);
    const Bstr s = ansiCodePage().encode(text);
    EXPECT_EQ(s.bytes(), std::string_view("a\0\x80\0b", 5));
    EXPECT_EQ(ansiCodePage().decode(s.bytes()), text);
    EXPECT_EQ(ansiCodePage().decode(Bstr().bytes()), u"");
}
