// Windows-1252, table-driven, and the bulk conversions between texts and
// counted byte strings.
#include "codepage.h"

#include <algorithm>
#include <array>

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

constexpr bool keepsItsValue(unsigned v) { return v < 0x80 || (v >= 0xA0 && v <= 0xFF); }

std::uint8_t byteOf(char16_t c)
{
    if (keepsItsValue(c))
        return static_cast<std::uint8_t>(c);
    auto it = std::lower_bound(kReverse.begin(), kReverse.end(), c,
                               [](Reverse r, char16_t v) { return r.c < v; });
    return it != kReverse.end() && it->c == c ? it->code : kUnmappable;
}

// One character per byte, through a code page's charFromCode.
template <class Page>
std::u16string decodeWith(const Page& page, std::string_view bytes)
{
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = page.charFromCode(static_cast<std::uint8_t>(bytes[i]));
    return text;
}

} // namespace

std::u16string CodePage::decode(std::string_view bytes) const
{
    return decodeWith(*this, bytes);
}

std::string CodePage::encode(std::u16string_view text) const
{
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text) {
        auto code = static_cast<std::uint16_t>(codeOfChar(c));
        if (code > 0xFF)
            bytes.push_back(static_cast<char>(code >> 8));
        bytes.push_back(static_cast<char>(code & 0xFF));
    }
    return bytes;
}

char16_t Windows1252::charFromCode(std::uint8_t code) const
{
    return keepsItsValue(code) ? char16_t{code} : kHigh[code - 0x80];
}

std::int16_t Windows1252::codeOfChar(char16_t c) const
{
    return byteOf(c);
}

std::u16string Windows1252::decode(std::string_view bytes) const
{
    return decodeWith(*this, bytes);
}

std::string Windows1252::encode(std::u16string_view text) const
{
    std::string bytes(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        bytes[i] = static_cast<char>(byteOf(text[i]));
    return bytes;
}

const CodePage& ansiCodePage()
{
    static const Windows1252 cp;
    return cp;
}

Bstr toAnsiBstr(std::u16string_view text, const CodePage& cp)
{
    return Bstr::fromBytes(cp.encode(text));
}

std::u16string fromAnsiBstr(const Bstr& s, const CodePage& cp)
{
    return cp.decode(s.bytes());
}

} // namespace platform
