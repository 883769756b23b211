// The ANSI code page: how the program turns a byte into a character and back,
// one at a time or a whole counted string at once. The routines reach it through
// the CodePage interface so that another code page can stand in for it.
#pragma once

#include "bstr.h"

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

    // The text whose characters are the given bytes, one character per byte.
    virtual std::u16string decode(std::string_view bytes) const;
    // The bytes of a text, as codeOfChar gives them (two bytes for a double-byte code).
    virtual std::string encode(std::u16string_view text) const;
};

// Windows-1252: the ANSI code page of the program's Italian locale. Characters it
// lacks become '?'; look-alike characters are never substituted.
class Windows1252 final : public CodePage {
public:
    char16_t charFromCode(std::uint8_t code) const override;
    std::int16_t codeOfChar(char16_t c) const override;
    std::u16string decode(std::string_view bytes) const override;
    std::string encode(std::u16string_view text) const override;
};

// The system's ANSI code page.
const CodePage& ansiCodePage();

// A counted string holding the bytes of text in code page cp.
Bstr toAnsiBstr(std::u16string_view text, const CodePage& cp);
// The text of a counted byte string in code page cp, by its stored length; null gives an empty text.
std::u16string fromAnsiBstr(const Bstr& s, const CodePage& cp);

} // namespace platform
