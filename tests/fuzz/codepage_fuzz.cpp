// Fuzzes the ANSI code page one character at a time: every byte to a character
// and back is the identity, and every character becomes its own byte or '?'.
#include "platform/codepage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const platform::CodePage& cp = platform::ansiCodePage();
    for (std::size_t i = 0; i < size; ++i)
        if (cp.codeOfChar(cp.charFromCode(data[i])) != data[i])
            std::abort();
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        const std::int16_t code = cp.codeOfChar(c);
        if (code < 0 || code > 255)
            std::abort();
        // Either the byte stands for c, or c has no byte and becomes '?'.
        const bool own = cp.charFromCode(static_cast<std::uint8_t>(code)) == c;
        if (!own && code != '?')
            std::abort();
        if (!own)
            for (int b = 0; b < 256; ++b)
                if (cp.charFromCode(static_cast<std::uint8_t>(b)) == c)
                    std::abort();
    }
    return 0;
}
