// Folders on POSIX systems: the program file is found through /proc/self/exe
// (Linux), the current directory is set with chdir; there are no drives.
#include "platform/folders.h"

#include "platform/runtime_error.h"
#include "platform/system_error.h"

#include <cerrno>
#include <unistd.h>

#include <vector>

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
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        const int err = errno;
        if (n < 0)
            raiseSystemError(kPathNotFound, Message::cannotFindProgramFolder, {}, err);
        if (static_cast<std::size_t>(n) < buf.size())
            return parentOf(std::string(buf.data(), static_cast<std::size_t>(n)));
        buf.resize(buf.size() * 2);
    }
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
