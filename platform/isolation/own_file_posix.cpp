// The program's own file on Linux: a descriptor of it opened through
// /proc/self/exe at start, close-on-exec. A fresh image is started from that
// descriptor, never from a path: a file renamed over the program's since, a
// script say, is not what runs.
#include "platform/isolation/own_file.h"
#include "platform/isolation/own_file_posix.h"

#include "platform/runtime_error.h"
#include "platform/system_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform::isolation {

namespace {

constexpr char kRunningImage[] = "/proc/self/exe";

int ownDescriptor = -1;
char startPath[4096];
// What the descriptor refers to, so that one a library closed and reused is not taken for it.
dev_t ownDevice = 0;
ino_t ownInode = 0;

bool descriptorIsOwnFile() noexcept
{
    struct stat st{};
    return ownDescriptor >= 0 && fstat(ownDescriptor, &st) == 0 && st.st_dev == ownDevice
        && st.st_ino == ownInode;
}

} // namespace

void keepOwnFile() noexcept
{
    if (ownDescriptor >= 0)
        return;
    const int fd = open(kRunningImage, O_RDONLY | O_CLOEXEC);
    struct stat st{};
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0)
            close(fd);
        return;
    }
    ownDescriptor = fd;
    ownDevice = st.st_dev;
    ownInode = st.st_ino;
    const ssize_t n = readlink(kRunningImage, startPath, sizeof startPath - 1);
    startPath[n > 0 ? n : 0] = '\0';
}

std::string ownFilePath()
{
    if (startPath[0])
        return startPath;
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = readlink(kRunningImage, buf.data(), buf.size());
        const int err = errno;
        if (n < 0)
            raiseSystemError(kPathNotFound, Message::cannotFindProgramFolder, {}, static_cast<unsigned long>(err));
        if (static_cast<std::size_t>(n) < buf.size())
            return std::string(buf.data(), static_cast<std::size_t>(n));
        buf.resize(buf.size() * 2);
    }
}

const char* ownFileStartPath() noexcept
{
    return startPath;
}

void execOwnFile(char* const argv[], char* const envp[]) noexcept
{
    if (descriptorIsOwnFile())
        syscall(SYS_execveat, ownDescriptor, "", argv, envp, AT_EMPTY_PATH);
    // The kernel's link names the running image's file, whatever now lies at its path.
    execve(kRunningImage, argv, envp);
}

} // namespace platform::isolation
