// Folders on Windows: the program file through GetModuleFileNameW (long paths
// included), the current drive and directory through SetCurrentDirectoryW.
#include "platform/folders.h"

#include "platform/runtime_error.h"
#include "platform/system_error.h"
#include "platform/wide_win.h"

#include <windows.h>

#include <cwctype>

namespace platform {

namespace {

bool hasDriveLetter(const std::string& path)
{
    return path.size() >= 2 && path[1] == ':' && std::iswalpha(static_cast<unsigned char>(path[0]));
}

} // namespace

std::string programFolder()
{
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        const DWORD err = GetLastError();
        if (n == 0)
            raiseSystemError(kPathNotFound, Message::cannotFindProgramFolder, {}, err);
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    const auto slash = buf.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? buf : buf.substr(0, slash);
    // The root of a drive keeps its separator: "C:" alone would mean that drive's current directory.
    if (folder.size() == 2 && folder[1] == L':')
        folder += L'\\';
    return win::utf8(folder);
}

void setCurrentDrive(const std::string& folder)
{
    if (!hasDriveLetter(folder))
        return;
    // "X:" names drive X's own current directory, which makes X the current drive.
    const std::string drive = folder.substr(0, 2);
    if (!SetCurrentDirectoryW(win::wide(drive).c_str())) {
        const DWORD err = GetLastError();
        raiseSystemError(kPathNotFound, Message::cannotSetCurrentDrive, {drive}, err);
    }
}

void setCurrentDirectory(const std::string& folder)
{
    if (!SetCurrentDirectoryW(win::wide(folder).c_str())) {
        const DWORD err = GetLastError();
        raiseSystemError(kPathNotFound, Message::cannotSetCurrentFolder, {folder}, err);
    }
}

} // namespace platform
