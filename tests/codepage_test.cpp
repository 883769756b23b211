// The ANSI code page, Windows-1252 for the program's locale: the whole byte
// table, characters it lacks, and the bulk conversions against the
// per-character services. The table is checked against an independent
// source: the C library's own converter here, and on Windows, where the
// system converts, against our own table.
#include "platform/codepage.h"

#include "platform/bulk.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

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

// The vector steps against the plain ones, at every length up to past two
// vector widths and at every misalignment, with one special byte or wide
// character moved through every position (and none), so that a lane, a tail
// or a flag that the vector form mishandles shows.
TEST(BulkSteps, VectorFormsAgreeWithPlainLoops)
{
    for (std::size_t offset = 0; offset < 4; ++offset) {
        for (std::size_t n = 0; n <= 40; ++n) {
            for (std::size_t marked = 0; marked <= n; ++marked) {
                std::vector<std::uint8_t> bytes(offset + n);
                std::u16string chars(offset + n, u'\0');
                for (std::size_t i = 0; i < n; ++i) {
                    // Ordinary bytes either side of 0x80-0x9F; the marked one inside it.
                    bytes[offset + i] = i == marked ? 0x80 + i % 0x20 : (i * 37 % 2 ? 0x7F : 0xA0 + i);
                    chars[offset + i] = i == marked ? static_cast<char16_t>(0x100 + i * 0x101) : bytes[offset + i] & 0x7F;
                }
                std::u16string wide(n + 1, u'!'), widePlain(n + 1, u'!');
                std::string narrow(n + 1, '!'), narrowPlain(n + 1, '!');
                const bool special = bulk::widen(bytes.data() + offset, n, wide.data());
                EXPECT_EQ(special, bulk::widenPlain(bytes.data() + offset, n, widePlain.data()));
                EXPECT_EQ(special, marked < n) << "length " << n << ", marked " << marked;
                EXPECT_EQ(wide, widePlain) << "length " << n << ", offset " << offset;
                const char16_t seen = bulk::narrow(chars.data() + offset, n, narrow.data());
                EXPECT_EQ(seen, bulk::narrowPlain(chars.data() + offset, n, narrowPlain.data()));
                EXPECT_EQ(seen >= 0x100, marked < n) << "length " << n << ", marked " << marked;
                EXPECT_EQ(narrow, narrowPlain) << "length " << n << ", offset " << offset;
            }
        }
    }
}
