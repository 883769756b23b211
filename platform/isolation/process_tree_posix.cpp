// The process tree on Linux, read from /proc: each process's parent is the
// fourth field of /proc/<id>/stat, after its name in parentheses (which may
// hold anything, so the last ')' ends it). Only open, read and close, so the
// parent chain can be read in a signal handler.
#include "platform/isolation/process_tree_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform::isolation {

namespace {

// The deepest chain of parents followed: deeper than any real tree.
constexpr int kDeepest = 512;

// The parent of process id; -1 when it cannot be told.
long parentOf(long id) noexcept
{
    char path[32] = "/proc/";
    char digits[24];
    int n = 0;
    for (unsigned long v = static_cast<unsigned long>(id); n == 0 || v > 0; v /= 10)
        digits[n++] = static_cast<char>('0' + v % 10);
    int at = 6;
    while (n > 0)
        path[at++] = digits[--n];
    for (const char* tail = "/stat"; *tail; ++tail)
        path[at++] = *tail;
    path[at] = '\0';
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[1024];
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got <= 0)
        return -1;
    const char* nameEnd = nullptr;
    for (ssize_t i = 0; i < got; ++i)
        if (text[i] == ')')
            nameEnd = text + i;
    // ") S 1234 ..."
    if (!nameEnd || nameEnd + 4 >= text + got)
        return -1;
    long parent = 0;
    for (const char* c = nameEnd + 4; c < text + got && *c >= '0' && *c <= '9'; ++c)
        parent = parent * 10 + (*c - '0');
    return parent;
}

// This process's children now, read from /proc.
std::vector<long> children()
{
    std::vector<long> found;
    DIR* proc = opendir("/proc");
    if (!proc)
        return found;
    const long self = getpid();
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long id = std::strtol(entry->d_name, &end, 10);
        if (*end == '\0' && id > 0 && parentOf(id) == self)
            found.push_back(id);
    }
    closedir(proc);
    return found;
}

} // namespace

void becomeReaper() noexcept
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

void endDescendants() noexcept
{
    try {
        // Each child ended here hands its own children to this process, the
        // reaper, so the next round finds them.
        for (std::vector<long> round = children(); !round.empty(); round = children()) {
            for (const long id : round) {
                kill(static_cast<pid_t>(id), SIGKILL);
                kill(static_cast<pid_t>(id), SIGCONT);
            }
            for (const long id : round)
                while (waitpid(static_cast<pid_t>(id), nullptr, 0) < 0 && errno == EINTR) {
                }
        }
    } catch (...) {
        // No memory for the list: what is left ends when its parent does.
    }
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

bool isOwnDescendant(long id) noexcept
{
    const long self = getpid();
    for (int depth = 0; depth < kDeepest && id > 1; ++depth) {
        id = parentOf(id);
        if (id == self)
            return true;
    }
    return false;
}

} // namespace platform::isolation
