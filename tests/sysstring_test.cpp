// The counted-string allocator's layout and edge cases, and the owning Bstr.
#include "platform/bstr.h"
#include "contract/sysstring.h"

#include <gtest/gtest.h>

#include <cstring>

using platform::Bstr;

TEST(SysString, ByteStringLayoutIsLengthContentTwoZeros)
{
    const char content[] = {'a', '\0', 'b'};
    BSTR s = SysAllocStringByteLen(content, 3);
    ASSERT_NE(s, nullptr);
    const auto* raw = reinterpret_cast<const unsigned char*>(s);
    std::uint32_t prefix;
    std::memcpy(&prefix, raw - 4, 4);
    EXPECT_EQ(prefix, 3u);
    EXPECT_EQ(std::memcmp(raw, content, 3), 0);
    EXPECT_EQ(raw[3], 0);
    EXPECT_EQ(raw[4], 0);
    EXPECT_EQ(SysStringByteLen(s), 3u);
    EXPECT_EQ(SysStringLen(s), 1u); // whole 16-bit characters only
    SysFreeString(s);
}

TEST(SysString, WideStringCountsCharactersAndBytes)
{
    BSTR s = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(u"ciao"), 4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 4u);
    EXPECT_EQ(SysStringByteLen(s), 8u);
    EXPECT_EQ(std::u16string_view(reinterpret_cast<const char16_t*>(s), 4), u"ciao");
    EXPECT_EQ(s[4], u'\0');
    SysFreeString(s);
}

TEST(SysString, NullSourceAllocatesUninitialisedContentOfTheGivenLength)
{
    BSTR s = SysAllocStringByteLen(nullptr, 10);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringByteLen(s), 10u);
    EXPECT_EQ(reinterpret_cast<const char*>(s)[10], '\0');
    SysFreeString(s);
}

TEST(SysString, NullHasLengthZero)
{
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
}

TEST(SysString, ImpossibleLengthsReturnNull)
{
    EXPECT_EQ(SysAllocStringByteLen(nullptr, UINT32_MAX), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, UINT32_MAX / 2 + 1), nullptr);
}

TEST(Bstr, OwnsMovesAndExposesItsVariable)
{
    Bstr a = Bstr::fromBytes(std::string_view("x\0y", 3));
    EXPECT_EQ(a.bytes(), std::string_view("x\0y", 3));
    Bstr b = std::move(a);
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(b.bytes().size(), 3u);

    // A callee that frees and replaces the string through the variable.
    BSTR* out = b.outParameter();
    SysFreeString(*out);
    *out = SysAllocStringByteLen("new", 3);
    EXPECT_EQ(b.bytes(), "new");
    EXPECT_EQ(Bstr().bytes().size(), 0u);
}
