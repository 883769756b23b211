// Fuzzes the bulk conversions between texts and counted ANSI strings against
// the per-character services they must agree with.
#include "platform/codepage.h"

#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const platform::CodePage& cp = platform::ansiCodePage();

    // Bytes to text, by the stored length, zeros included.
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = cp.decode(bytes);
    if (text.size() != size)
        std::abort();
    for (std::size_t i = 0; i < size; ++i)
        if (text[i] != cp.charFromCode(data[i]))
            std::abort();

    // Text to bytes, the input read as 16-bit characters.
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        wide.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    const platform::Bstr ansi = cp.encode(wide);
    if (ansi.bytes().size() != wide.size())
        std::abort();
    for (std::size_t i = 0; i < wide.size(); ++i)
        if (static_cast<std::uint8_t>(ansi.bytes()[i]) != cp.codeOfChar(wide[i]))
            std::abort();
    return 0;
}
