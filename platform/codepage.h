// The ANSI code page: how the program turns a byte into a character and back,
// one at a time or a whole counted string at once. The routines reach it through
// the CodePage interface so that another code page can stand in for it.
#pragma once

#include "platform/bstr.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

class CodePage {
public:
    virtual ~CodePage() = default;

    // The character whose code in this code page is `code`.
    virtual char16_t charFromCode(std::uint8_t code) const = 0;
    // The code of c in this code page; a character of two bytes gives a value outside 0-255.
    virtual std::int16_t codeOfChar(char16_t c) const = 0;

    // The text the given bytes code (for a counted string, its bytes(): a null string
    // gives an empty text).
    virtual std::u16string decode(std::string_view bytes) const = 0;
    // A counted string of the text's bytes as codeOfChar gives them (two for a double-byte code).
    virtual Bstr encode(std::u16string_view text) const = 0;
};

// Windows-1252: the ANSI code page of the program's Italian locale. Characters it
// lacks become '?'; look-alike characters are never substituted.
class Windows1252 final : public CodePage {
public:
    char16_t charFromCode(std::uint8_t code) const override { return kToUnicode[code]; }
    std::int16_t codeOfChar(char16_t c) const override
    {
        return keepsItsValue(c) ? static_cast<std::int16_t>(c) : codeOfSpecial(c);
    }
    std::u16string decode(std::string_view bytes) const override;
    Bstr encode(std::u16string_view text) const override;

private:
    // Bytes below 0x80 and from 0xA0 on stand for the character of the same value.
    static constexpr bool keepsItsValue(unsigned v) { return v < 0x80 || (v >= 0xA0 && v <= 0xFF); }
    static std::int16_t codeOfSpecial(char16_t c);
    static const std::array<char16_t, 256> kToUnicode;
};

// The ANSI code page the program converts with: on Windows the system's own,
// elsewhere Windows-1252, the one of the program's Italian locale.
const CodePage& ansiCodePage();

} // namespace platform
