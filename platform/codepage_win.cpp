// The ANSI code page on Windows: the system's own (GetACP), through
// MultiByteToWideChar and WideCharToMultiByte. Characters it lacks become '?';
// look-alike characters are never substituted (no best-fit mapping).
#include "platform/codepage.h"

#include "platform/runtime_error.h"

#include <windows.h>

#include <climits>

namespace platform {

namespace {

class SystemCodePage final : public CodePage {
public:
    SystemCodePage() : cp_(GetACP())
    {
        for (unsigned b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            wchar_t c = L'?';
            // A lead byte alone is not a character of a double-byte code page.
            if (MultiByteToWideChar(cp_, 0, &byte, 1, &c, 1) != 1)
                c = L'?';
            toUnicode_[b] = static_cast<char16_t>(c);
        }
    }

    char16_t charFromCode(std::uint8_t code) const override { return toUnicode_[code]; }

    std::int16_t codeOfChar(char16_t c) const override
    {
        if (c < 0x80)
            return static_cast<std::int16_t>(c);
        const wchar_t w = c;
        char out[4];
        const int n = WideCharToMultiByte(cp_, flags(), &w, 1, out, sizeof out, defaultChar(), nullptr);
        if (n == 1)
            return static_cast<std::uint8_t>(out[0]);
        if (n >= 2) // a double-byte code: lead byte high, trail byte low
            return static_cast<std::int16_t>(static_cast<std::uint8_t>(out[0]) << 8 | static_cast<std::uint8_t>(out[1]));
        return '?';
    }

    std::u16string decode(std::string_view bytes) const override
    {
        if (bytes.empty())
            return {};
        if (bytes.size() > INT_MAX)
            raiseOutOfMemory();
        const int in = static_cast<int>(bytes.size());
        std::u16string text(bytes.size(), u'\0'); // never more characters than bytes
        const int n = MultiByteToWideChar(cp_, 0, bytes.data(), in, reinterpret_cast<wchar_t*>(text.data()), in);
        text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
        return text;
    }

    Bstr encode(std::u16string_view text) const override
    {
        if (text.empty())
            return Bstr::ofLength(0);
        if (text.size() > INT_MAX / 4)
            raiseOutOfMemory();
        const auto* in = reinterpret_cast<const wchar_t*>(text.data());
        const int count = static_cast<int>(text.size());
        const int size = WideCharToMultiByte(cp_, flags(), in, count, nullptr, 0, defaultChar(), nullptr);
        Bstr s = Bstr::ofLength(static_cast<std::size_t>(size > 0 ? size : 0));
        if (size > 0)
            WideCharToMultiByte(cp_, flags(), in, count, s.data(), size, defaultChar(), nullptr);
        return s;
    }

private:
    // UTF-8 as the system's code page takes neither flags nor a default character.
    DWORD flags() const { return cp_ == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS; }
    const char* defaultChar() const { return cp_ == CP_UTF8 ? nullptr : "?"; }

    UINT cp_;
    char16_t toUnicode_[256];
};

} // namespace

const CodePage& ansiCodePage()
{
    static const SystemCodePage cp;
    return cp;
}

} // namespace platform
