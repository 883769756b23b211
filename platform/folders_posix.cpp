// Folders on POSIX systems: the program's folder is its own file's
// (platform/isolation/own_file.h), the current directory is set with chdir;
// there are no drives.
#include "platform/folders.h"

#include "platform/isolation/own_file.h"
#include "platform/runtime_error.h"
#include "platform/system_error.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

namespace {

std::string parentOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string programFolder()
{
    return parentOf(isolation::ownFilePath());
}

void setCurrentDrive(const std::string&)
{
    // Paths here have no drives.
}

void setCurrentDirectory(const std::string& folder)
{
    if (chdir(folder.c_str()) != 0) {
        const int err = errno;
        raiseSystemError(kPathNotFound, Message::cannotSetCurrentFolder, {folder}, err);
    }
}

} // namespace platform
