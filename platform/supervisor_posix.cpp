// The supervisor on POSIX systems. The child announces its end with a signal
// to the supervisor, whose process id it finds in VC_SUPERVISORE (as does a
// fresh image of the child that reports a fault): a signal, unlike a
// descriptor, is nothing a library can close. The fault activity markers are
// mirrored in a page both share. An end not announced is handed to a fresh
// image of the program as error 51.
#include "platform/supervisor.h"

#include "platform/ending.h"
#include "platform/error_text.h"
#include "platform/fault_activity.h"
#include "platform/fault_report.h"
#include "platform/runtime_error.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

constexpr char kChannelVariable[] = "VC_SUPERVISORE";
constexpr int kAnnouncement = SIGUSR2;
constexpr int kForwarded[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

volatile sig_atomic_t childPid = 0;
volatile sig_atomic_t forwardedSignal = 0;
volatile sig_atomic_t announced = 0;

void onAnnouncement(int)
{
    announced = 1;
}

void forward(int signal)
{
    forwardedSignal = signal;
    if (childPid > 0)
        kill(childPid, signal);
}

// The child's status once it has ended.
int waitForChild(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return W_EXITCODE(EXIT_FAILURE, 0);
    return status;
}

// Hands error 51 for an unannounced end to a fresh image of the program
// (which keeps this process id), or, failing that, writes it on stderr.
[[noreturn]] void reportEnd(const activity::Mirror& mirror, int status)
{
    const MessageView message = faultReport::endMessage(
        {mirror.library, mirror.calling.load() ? mirror.function : nullptr, mirror.loading.load(), false});
    const Ending ending = endingOfWaitStatus(status);
    const MessageView how = ending.view();
    char buffer[1024];
    Text text(buffer, sizeof buffer);
    faultReport::appendHandOver(text, static_cast<unsigned long>(getpid()), kInternalError, message, &how);
    char executable[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", executable, sizeof executable - 1);
    if (n > 0 && setenv(faultReport::kVariable, text.data(), 1) == 0) {
        executable[n] = '\0';
        char* const argv[] = {executable, nullptr};
        execv(executable, argv);
    }
    printReport({kInternalError, message, how});
    std::_Exit(EXIT_FAILURE);
}

// Ends the supervisor as its child ended: with its status when it announced
// its end, by the same signal when that signal was one forwarded to it, and
// otherwise with the report of error 51.
// The announcement, sent before the child ended, has been handled by then.
[[noreturn]] void superviseChild(pid_t child, const activity::Mirror& mirror)
{
    const int status = waitForChild(child);
    if (WIFEXITED(status) && announced)
        std::_Exit(WEXITSTATUS(status));
    if (WIFSIGNALED(status) && WTERMSIG(status) == forwardedSignal) {
        ::signal(forwardedSignal, SIG_DFL);
        raise(forwardedSignal);
    }
    reportEnd(mirror, status);
}

void handle(int signal, void (*handler)(int))
{
    struct sigaction action{};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    sigprocmask(SIG_UNBLOCK, &one, nullptr);
}

// The signals the supervisor handles: forwarded ones and the announcement.
void superviseSignals()
{
    for (int signal : kForwarded)
        handle(signal, forward);
    handle(kAnnouncement, onAnnouncement);
}

// The same signals as a program has them: ended by each.
void defaultSignals()
{
    for (int signal : kForwarded)
        handle(signal, SIG_DFL);
    handle(kAnnouncement, SIG_DFL);
}

} // namespace

void superviseProcess()
{
    void* page = mmap(nullptr, sizeof(activity::Mirror), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        return;
    auto* mirror = new (page) activity::Mirror{};
    // In place before the child exists, so that no signal slips between.
    superviseSignals();
    const pid_t supervisor = getpid();
    const pid_t child = fork();
    if (child == 0) {
        // Killed with its supervisor, whatever kills that: no child left running unwatched.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != supervisor)
            std::_Exit(EXIT_FAILURE);
        setenv(kChannelVariable, std::to_string(supervisor).c_str(), 1);
        defaultSignals();
        activity::mirrorInto(mirror);
        return;
    }
    if (child < 0) {
        defaultSignals();
        munmap(page, sizeof(activity::Mirror));
        return;
    }
    childPid = child;
    superviseChild(child, *mirror);
}

void announceEnd() noexcept
{
    std::fflush(nullptr);
    announceEndFromHandler();
}

void announceEndFromHandler() noexcept
{
    // getenv only reads: safe unless the environment is being changed at that moment.
    const char* value = std::getenv(kChannelVariable);
    if (!value || *value == '\0')
        return;
    long supervisor = 0;
    for (; *value >= '0' && *value <= '9' && supervisor < LONG_MAX / 10; ++value)
        supervisor = supervisor * 10 + (*value - '0');
    // Only the supervisor that started this process: never whoever inherited it.
    if (*value == '\0' && supervisor > 1 && supervisor == static_cast<long>(getppid()))
        kill(static_cast<pid_t>(supervisor), kAnnouncement);
}

} // namespace platform
