// Fatal faults on POSIX systems. The handler runs in a process whose state is
// unknown (the allocator's lock may be held, the toolkit half-way through a
// call), so it only formats into static memory with async-signal-safe calls
// and replaces the image with a fresh one of the same program (execve keeps
// the process id). The fresh image finds the report in its environment,
// under a variable that also carries the process id: set by anything but the
// faulting image, it does not match and is ignored.
#include "platform/fatal_fault.h"

#include "platform/ending.h"
#include "platform/error_text.h"
#include "platform/fault_activity.h"
#include "platform/fault_report.h"
#include "platform/supervisor.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace platform {

namespace {

using faultReport::kVariable;
constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};
// Room for the handler when a fault has used up the main thread's stack.
constexpr std::size_t kAlternateStackBytes = 64 * 1024;

char executable[PATH_MAX];
alignas(16) char alternateStack[kAlternateStackBytes];
// "VC_ERRORE_FATALE=" and the hand-over, or in the reporting image the report
// itself, written to stderr if that image faults too.
char report[4096];
Text faultText(report, sizeof report);
std::atomic<long> faultingThread{0};

void writeAll(int fd, const char* text, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = write(fd, text, length);
        if (n <= 0)
            return;
        text += n;
        length -= static_cast<std::size_t>(n);
    }
}

// The fresh image's environment: this one's, less any earlier report, plus ours.
char** environmentWithReport()
{
    std::size_t count = 0;
    for (char** e = environ; e && *e; ++e)
        ++count;
    void* memory = mmap(nullptr, (count + 2) * sizeof(char*), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    auto** out = static_cast<char**>(memory);
    std::size_t n = 0;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, kVariable, sizeof kVariable - 1) != 0 || (*e)[sizeof kVariable - 1] != '=')
            out[n++] = *e;
    out[n++] = report;
    out[n] = nullptr;
    return out;
}

void onFatalFault(int signal)
{
    const long self = syscall(SYS_gettid);
    long none = 0;
    if (!faultingThread.compare_exchange_strong(none, self)) {
        if (none == self) { // the handler itself faulted: say what it has and end
            writeAll(STDERR_FILENO, report, std::strlen(report));
            _exit(EXIT_FAILURE);
        }
        for (;;) // another thread is already handing over, which ends this one
            pause();
    }
    const MessageView message =
        faultReport::faultMessage({activity::library(), activity::calling(), activity::loading(), false});
    const Ending fault = endingOfSignal(signal);
    const MessageView reason = fault.view();
    faultText.clear();
    faultText.append(kVariable);
    faultText.append("=");
    faultReport::appendHandOver(faultText, static_cast<unsigned long>(getpid()), kInternalError, message, &reason);
    if (char** environment = environmentWithReport()) {
        char* const argv[] = {executable, nullptr};
        execve(executable, argv, environment);
    }
    // No fresh image: the report goes to stderr instead.
    char line[sizeof report];
    const std::size_t n = formatReport(line, sizeof line - 1, programLanguage(), {kInternalError, message, reason}, " ");
    const std::size_t length = n < sizeof line - 2 ? n : sizeof line - 2;
    line[length] = '\n';
    writeAll(STDERR_FILENO, line, length + 1);
    _exit(EXIT_FAILURE);
}

// In the reporting image a fault of its own writes the report to stderr.
void onFaultWhileReporting(int)
{
    writeAll(STDERR_FILENO, report, std::strlen(report));
    writeAll(STDERR_FILENO, "\n", 1);
    _exit(EXIT_FAILURE);
}

void installAlternateStack()
{
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
}

void installHandlers(void (*handler)(int))
{
    struct sigaction action{};
    action.sa_handler = handler;
    action.sa_flags = SA_ONSTACK;
    sigfillset(&action.sa_mask);
    for (int signal : kFaults)
        sigaction(signal, &action, nullptr);
}

void keepStandardDescriptorsOpen()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1) {
            // The lowest free descriptor, which is fd itself.
            const int opened = open("/dev/null", O_RDWR);
            if (opened != fd && opened > 2)
                close(opened);
        }
}

// The report this image was started to show, when its variable names this process.
std::optional<RuntimeError> takeReport()
{
    const char* value = std::getenv(kVariable);
    if (!value)
        return std::nullopt;
    const std::string text = value;
    unsetenv(kVariable);
    auto handOver = faultReport::readHandOver(text);
    if (!handOver || handOver->process != static_cast<unsigned long>(getpid()))
        return std::nullopt;
    // The faulting image's blocked signals come through execve.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    formatReport(report, sizeof report, programLanguage(), describe(handOver->error), " ");
    installHandlers(onFaultWhileReporting);
    return std::move(handOver->error);
}

} // namespace

namespace activity {

void restoreFaultHandlers() noexcept
{
    if (!executable[0])
        return;
    installAlternateStack();
    installHandlers(onFatalFault);
}

} // namespace activity

std::optional<RuntimeError> prepareProcess()
{
    keepStandardDescriptorsOpen();
    signal(SIGPIPE, SIG_IGN);
    if (auto pending = takeReport())
        return pending;
    const ssize_t n = readlink("/proc/self/exe", executable, sizeof executable - 1);
    if (n <= 0)
        return std::nullopt; // no way to start a fresh image: faults end the process as before
    executable[n] = '\0';
    installAlternateStack();
    installHandlers(onFatalFault);
    return std::nullopt;
}

void reportAsFault(const RuntimeError& error)
{
    if (executable[0]) {
        faultText.clear();
        const ReportedError reported = describe(error);
        faultReport::appendHandOver(faultText, static_cast<unsigned long>(getpid()), reported.number,
                                    reported.message, reported.reason ? &*reported.reason : nullptr);
        if (setenv(kVariable, faultText.data(), 1) == 0) {
            char* const argv[] = {executable, nullptr};
            execv(executable, argv);
        }
    }
    throw error;
}

// A fault replaces the image, so no library that faulted is left to skip.
void endProcess(int status)
{
    announceEnd();
    std::exit(status);
}

} // namespace platform
