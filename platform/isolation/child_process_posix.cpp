// Child processes on POSIX systems. This program's own file is started by
// fork and an exec of the descriptor kept since start (own_file_posix.h),
// another program by posix_spawn, which makes no copy of a large parent. In
// the child every channel is first moved above the highest number asked for,
// so that placing one never overwrites another, then placed, and every other
// descriptor above 2 closed.
#include "platform/isolation/child_process.h"

#include "platform/isolation/own_file_posix.h"
#include "platform/system_error.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

extern char** environ;

namespace platform::isolation {

namespace {

// How long a child may stay stopped before it counts as stopped for good: a
// terminal's stop (Ctrl+Z) and its continue reach the parent too, which does
// not run meanwhile; a stop that lasts while the parent runs is not one.
constexpr std::int64_t kStopGraceMs = 1000;
// Channels are numbered from here up, above what a program opens at start.
constexpr long kLowestChannel = 64;

std::int64_t nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

unsigned long randomNumber()
{
    unsigned long value = 0;
    if (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value))
        value = static_cast<unsigned long>(nowMs()) * 2654435761u ^ static_cast<unsigned long>(getpid());
    return value;
}

// The environment a child gets: this process's, with variables set.
struct Environment {
    std::vector<std::string> entries;
    std::vector<char*> pointers;

    explicit Environment(const std::vector<std::pair<std::string, std::string>>& variables)
    {
        for (char** e = environ; e && *e; ++e) {
            bool replaced = false;
            for (const auto& [name, value] : variables)
                replaced = replaced || (std::strncmp(*e, name.c_str(), name.size()) == 0 && (*e)[name.size()] == '=');
            if (!replaced)
                entries.emplace_back(*e);
        }
        for (const auto& [name, value] : variables)
            entries.push_back(name + '=' + value);
        for (std::string& entry : entries)
            pointers.push_back(entry.data());
        pointers.push_back(nullptr);
    }
};

struct Arguments {
    std::vector<std::string> strings;
    std::vector<char*> pointers;

    Arguments(const std::string& program, const std::vector<std::string>& args) : strings{program}
    {
        strings.insert(strings.end(), args.begin(), args.end());
        for (std::string& s : strings)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
};

// Closes every descriptor from `from` up to `to` (both included); async-signal-safe.
void closeRange(long from, long to)
{
    if (from > to)
        return;
    if (syscall(SYS_close_range, static_cast<unsigned>(from), static_cast<unsigned>(to), 0) == 0)
        return;
    for (long fd = from; fd <= to && fd < 65536; ++fd)
        close(static_cast<int>(fd));
}

// In a forked child, before its exec: channels placed, everything else above 2
// closed, standard streams as asked, signals at their defaults. Async-signal-safe.
void setUpForkedChild(const ChildSpec& spec, long top, int* moved)
{
    for (std::size_t i = 0; i < spec.channels.size(); ++i)
        moved[i] = fcntl(static_cast<int>(spec.channels[i].first), F_DUPFD, static_cast<int>(top));
    if (spec.streams == StandardStreams::ErrorsOnly) {
        const int none = open("/dev/null", O_RDONLY);
        dup2(none, STDIN_FILENO);
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    long next = STDERR_FILENO + 1;
    for (std::size_t i = 0; i < spec.channels.size(); ++i)
        dup2(moved[i], static_cast<int>(spec.channels[i].second));
    // The channels' numbers in order, each gap below one closed.
    for (;;) {
        long lowest = -1;
        for (const auto& [here, there] : spec.channels)
            if (there >= next && (lowest < 0 || there < lowest))
                lowest = there;
        if (lowest < 0)
            break;
        closeRange(next, lowest - 1);
        next = lowest + 1;
    }
    closeRange(next, 0x7fffffff);
    struct sigaction defaults{};
    defaults.sa_handler = SIG_DFL;
    for (int s = 1; s < NSIG; ++s)
        sigaction(s, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Starts this program's own file in a forked child; its process id, or -1.
pid_t forkOwnFile(const ChildSpec& spec, char* const argv[], char* const envp[])
{
    long top = STDERR_FILENO + 1;
    for (const auto& [here, there] : spec.channels)
        top = std::max(top, there + 1);
    std::vector<int> moved(spec.channels.size() + 1);
    const pid_t child = fork();
    if (child == 0) {
        setUpForkedChild(spec, top, moved.data());
        execOwnFile(argv, envp);
        _exit(127);
    }
    return child;
}

// Starts the program at spec.program with posix_spawn; its process id, or -1 with errno set.
pid_t spawnProgram(const ChildSpec& spec, char* const argv[], char* const envp[])
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    long next = STDERR_FILENO + 1;
    for (const auto& [here, there] : spec.channels)
        posix_spawn_file_actions_adddup2(&actions, static_cast<int>(here), static_cast<int>(next++));
    if (spec.streams == StandardStreams::ErrorsOnly) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, static_cast<int>(next));
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t child = -1;
    if (const int error = posix_spawn(&child, spec.program.c_str(), &actions, &attributes, argv, envp); error != 0) {
        errno = error;
        child = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

} // namespace

Ending describeEnd(const ChildEnd& end) noexcept
{
    switch (end.way) {
    case ChildEnd::Way::Signalled:
        return endingOfSignal(static_cast<int>(end.code));
    case ChildEnd::Way::Stopped:
        return endingOfStop(static_cast<int>(end.code));
    case ChildEnd::Way::Exited:
        break;
    }
    return endingWithStatus(end.code);
}

std::vector<long> channelNumbers(const std::vector<long>& here)
{
    rlimit limit{};
    long highest = 1024;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        highest = std::min<long>(static_cast<long>(limit.rlim_cur), 65536);
    std::vector<long> numbers;
    while (numbers.size() < here.size()) {
        const long n = kLowestChannel + static_cast<long>(randomNumber() % static_cast<unsigned long>(highest - kLowestChannel));
        if (std::find(numbers.begin(), numbers.end(), n) == numbers.end())
            numbers.push_back(n);
    }
    return numbers;
}

std::string unpredictableToken()
{
    char text[17];
    std::snprintf(text, sizeof text, "%016lx", randomNumber());
    return text;
}

ChildProcess::ChildProcess(const ChildSpec& spec)
{
    const Environment environment(spec.variables);
    const Arguments arguments(spec.program.empty() ? ownFileStartPath() : spec.program, spec.args);
    const pid_t child = spec.program.empty() ? forkOwnFile(spec, arguments.pointers.data(), environment.pointers.data())
                                             : spawnProgram(spec, arguments.pointers.data(), environment.pointers.data());
    if (child < 0)
        raiseSystemError(kInternalError, spec.cannotStart, {}, static_cast<unsigned long>(errno));
    id_ = child;
}

ChildProcess ChildProcess::adopt(long id) noexcept
{
    ChildProcess child;
    child.id_ = id;
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : id_(other.id_), ended_(other.ended_), stoppedBy_(other.stoppedBy_), stoppedSince_(other.stoppedSince_)
{
    other.id_ = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        release();
        id_ = std::exchange(other.id_, -1);
        ended_ = other.ended_;
        stoppedBy_ = other.stoppedBy_;
        stoppedSince_ = other.stoppedSince_;
    }
    return *this;
}

ChildProcess::~ChildProcess()
{
    release();
}

void ChildProcess::release() noexcept
{
    if (id_ > 0 && !ended_) {
        end();
        int status = 0;
        while (waitpid(static_cast<pid_t>(id_), &status, 0) < 0 && errno == EINTR) {
        }
    }
    id_ = -1;
}

// Takes in the state change waitpid told; a stop starts its grace.
void ChildProcess::take(int status)
{
    if (WIFEXITED(status))
        ended_ = ChildEnd{ChildEnd::Way::Exited, WEXITSTATUS(status)};
    else if (WIFSIGNALED(status))
        ended_ = ChildEnd{ChildEnd::Way::Signalled, WTERMSIG(status)};
    else if (WIFCONTINUED(status))
        stoppedBy_.reset();
    else if (WIFSTOPPED(status) && !stoppedBy_) {
        stoppedBy_ = ChildEnd{ChildEnd::Way::Stopped, WSTOPSIG(status)};
        stoppedSince_ = nowMs();
    }
}

std::optional<ChildEnd> ChildProcess::poll()
{
    if (ended_ || id_ <= 0)
        return ended_;
    int status = 0;
    pid_t got = 0;
    while ((got = waitpid(static_cast<pid_t>(id_), &status, WNOHANG | WUNTRACED | WCONTINUED)) < 0 && errno == EINTR) {
    }
    if (got < 0) // collected elsewhere: how it ended is lost
        ended_ = ChildEnd{ChildEnd::Way::Exited, -1};
    else if (got > 0)
        take(status);
    if (!ended_ && stoppedBy_ && nowMs() - stoppedSince_ >= kStopGraceMs) {
        const ChildEnd stop = *stoppedBy_;
        end();
        while (waitpid(static_cast<pid_t>(id_), &status, 0) < 0 && errno == EINTR) {
        }
        ended_ = stop;
    }
    return ended_;
}

ChildEnd ChildProcess::wait()
{
    for (;;) {
        if (const std::optional<ChildEnd> end = poll())
            return *end;
        if (stoppedBy_) { // its grace runs: look again shortly
            const timespec pause{0, 20 * 1000 * 1000};
            nanosleep(&pause, nullptr);
            continue;
        }
        int status = 0;
        if (waitpid(static_cast<pid_t>(id_), &status, WUNTRACED | WCONTINUED) == id_)
            take(status);
    }
}

void ChildProcess::end() noexcept
{
    if (id_ <= 0 || ended_)
        return;
    kill(static_cast<pid_t>(id_), SIGKILL);
    kill(static_cast<pid_t>(id_), SIGCONT);
}

} // namespace platform::isolation
