// Windows-1252, table-driven, with its bulk conversions between texts and
// counted byte strings. The bulk conversions first treat every byte as
// standing for itself, in one vector pass (platform/bulk.h), and go back
// through the table only when a byte or character needs it.
#include "platform/codepage.h"

#include "platform/bulk.h"

#include <algorithm>

namespace platform {

namespace {

constexpr char16_t kUnmappable = u'?';

// Bytes 0x80-0x9F. The five bytes the code page leaves unassigned map to the
// control characters of the same value, as the system's own conversion does.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct Reverse {
    char16_t c;
    std::uint8_t code;
};

// kHigh inverted, sorted by character for binary search.
constexpr std::array<Reverse, 32> makeReverse()
{
    std::array<Reverse, 32> r{};
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        r[i] = {kHigh[i], static_cast<std::uint8_t>(0x80 + i)};
    std::sort(r.begin(), r.end(), [](Reverse a, Reverse b) { return a.c < b.c; });
    return r;
}
constexpr std::array<Reverse, 32> kReverse = makeReverse();

constexpr std::array<char16_t, 256> makeToUnicode()
{
    std::array<char16_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b)
        t[b] = b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char16_t>(b);
    return t;
}

} // namespace

const std::array<char16_t, 256> Windows1252::kToUnicode = makeToUnicode();

std::int16_t Windows1252::codeOfSpecial(char16_t c)
{
    auto it = std::lower_bound(kReverse.begin(), kReverse.end(), c,
                               [](Reverse r, char16_t v) { return r.c < v; });
    return it != kReverse.end() && it->c == c ? it->code : kUnmappable;
}

std::u16string Windows1252::decode(std::string_view bytes) const
{
    std::u16string text(bytes.size(), u'\0');
    if (bulk::widen(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), text.data()))
        for (char16_t& c : text)
            c = kToUnicode[c];
    return text;
}

Bstr Windows1252::encode(std::u16string_view text) const
{
    Bstr s = Bstr::ofLength(text.size());
    char* out = s.data();
    // No character from 0x80 on means every one is its own code.
    if (bulk::narrow(text.data(), text.size(), out) >= 0x80)
        for (std::size_t i = 0; i < text.size(); ++i)
            out[i] = static_cast<char>(codeOfChar(text[i]));
    return s;
}

} // namespace platform
