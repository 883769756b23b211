// Folders on Windows: the program's folder is its own file's
// (platform/isolation/own_file.h), the current drive and directory are set
// through SetCurrentDirectoryW.
#include "platform/folders.h"

#include "platform/isolation/own_file.h"
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
    std::string folder = isolation::ownFilePath();
    const auto slash = folder.find_last_of("\\/");
    if (slash != std::string::npos)
        folder.resize(slash);
    // The root of a drive keeps its separator: "C:" alone would mean that drive's current directory.
    if (folder.size() == 2 && folder[1] == ':')
        folder += '\\';
    return folder;
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
