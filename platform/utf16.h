// Conversions between UTF-8, the encoding of the program's own strings
// (descriptions, paths), and UTF-16, the encoding of its texts and of the
// system's wide-character interfaces.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// s as UTF-16; a malformed sequence becomes U+FFFD.
std::u16string toUtf16(std::string_view s);
// s as UTF-8; a lone surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view s);
// Appends code point c to out, as two units when it lies past U+FFFF.
void appendUtf16(std::u16string& out, char32_t c);

} // namespace platform
