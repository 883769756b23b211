// The program's own file on Windows: its path, told through
// GetModuleFileNameW at start (long paths included).
#include "platform/isolation/own_file.h"
#include "platform/isolation/own_file_win.h"

#include "platform/system_error.h"
#include "platform/wide_win.h"

#include <windows.h>

namespace platform::isolation {

namespace {

// Never destroyed: a fault in a library's detach code at exit hands over from it.
std::wstring& ownPath()
{
    static std::wstring* const path = new std::wstring;
    return *path;
}
DWORD ownPathError = ERROR_SUCCESS;

} // namespace

void keepOwnFile() noexcept
{
    if (!ownPath().empty())
        return;
    try {
        std::wstring buf(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            if (n == 0) {
                ownPathError = GetLastError();
                return;
            }
            if (n < buf.size()) {
                buf.resize(n);
                break;
            }
            buf.resize(buf.size() * 2);
        }
        ownPath() = std::move(buf);
    } catch (...) {
        ownPathError = ERROR_NOT_ENOUGH_MEMORY;
    }
}

std::string ownFilePath()
{
    keepOwnFile();
    if (ownPath().empty())
        raiseSystemError(kPathNotFound, Message::cannotFindProgramFolder, {}, ownPathError);
    return win::utf8(ownPath());
}

const wchar_t* ownFileWide() noexcept
{
    return ownPath().c_str();
}

} // namespace platform::isolation
