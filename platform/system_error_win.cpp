// The system's error messages through FormatMessageW, and the UTF-8 <-> wide
// conversions the Windows sources share.
#include "platform/system_error.h"
#include "platform/wide_win.h"

#include "platform/utf16.h"

#include <windows.h>

namespace platform {

Wording systemReason(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                       | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty())
        return {Message::systemErrorCode, {std::to_string(code)}};
    return verbatim(win::utf8(message));
}

namespace win {

std::wstring wide(const std::string& s)
{
    const std::u16string w = toUtf16(s);
    return {w.begin(), w.end()};
}

std::string utf8(const std::wstring& s)
{
    return toUtf8(std::u16string(s.begin(), s.end()));
}

} // namespace win

} // namespace platform
