// Fatal faults on POSIX systems. The handler runs in a process whose state is
// unknown (the allocator's lock may be held, the toolkit half-way through a
// call), so it only formats into static memory with async-signal-safe calls
// and hands the report over to a fresh image of the same program
// (platform/isolation/hand_over.h), which keeps the process id.
#include "platform/fatal_fault.h"

#include "platform/ending.h"
#include "platform/error_text.h"
#include "platform/fault_activity.h"
#include "platform/fault_report.h"
#include "platform/isolation/hand_over.h"
#include "platform/isolation/own_file.h"
#include "platform/isolation/supervisor.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};
// Room for the handler when a fault has used up the main thread's stack.
constexpr std::size_t kAlternateStackBytes = 64 * 1024;

bool handlersInstalled = false;
alignas(16) char alternateStack[kAlternateStackBytes];
// "<pid>:<number>:<description>", or in the reporting image the report
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
    faultReport::appendHandOver(faultText, static_cast<unsigned long>(getpid()), kInternalError, message, &reason);
    activity::markHandedOver();
    unsigned long status = EXIT_FAILURE;
    isolation::showInFreshImage(report, status);
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

// The report this image was started to show, if any: its fault handlers then
// only write the report to stderr.
std::optional<RuntimeError> takeReport()
{
    std::optional<RuntimeError> handed = isolation::takeHandedReport();
    if (!handed)
        return std::nullopt;
    formatReport(report, sizeof report, programLanguage(), describe(*handed), " ");
    installHandlers(onFaultWhileReporting);
    return handed;
}

} // namespace

namespace activity {

void restoreFaultHandlers() noexcept
{
    if (!handlersInstalled)
        return;
    installAlternateStack();
    installHandlers(onFatalFault);
}

} // namespace activity

std::optional<RuntimeError> prepareProcess()
{
    keepStandardDescriptorsOpen();
    signal(SIGPIPE, SIG_IGN);
    isolation::keepOwnFile();
    isolation::keepStartEnvironment();
    if (auto pending = takeReport())
        return pending;
    handlersInstalled = true;
    installAlternateStack();
    installHandlers(onFatalFault);
    return std::nullopt;
}

void reportAsFault(const RuntimeError& error)
{
    faultText.clear();
    const ReportedError reported = describe(error);
    faultReport::appendHandOver(faultText, static_cast<unsigned long>(getpid()), reported.number, reported.message,
                                reported.reason ? &*reported.reason : nullptr);
    activity::markHandedOver();
    unsigned long status = EXIT_FAILURE;
    isolation::showInFreshImage(faultText.data(), status);
    throw error;
}

// A fault replaces the image, so no library that faulted is left to skip.
void endProcess(int status)
{
    announceEnd(status);
    std::exit(status);
}

} // namespace platform
