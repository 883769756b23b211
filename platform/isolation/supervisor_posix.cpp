// The supervisor on POSIX systems. It blocks every signal it can and takes
// them one by one with sigwaitinfo, which names each sender: a signal from
// the program's own processes is the library's doing, one from outside is
// passed on to the child. The fault signals stay handled, so that a real
// fault of its own still takes the fault path; one sent by another process is
// passed to the loop as a queued signal; a child that a signal from outside
// asked to end and that has not ended 5 s later is killed, and the supervisor
// ends by that signal. The child announces its end with a
// queued signal carrying its status and a number the supervisor chose, which
// a fresh image of the child finds in VC_SUPERVISORE; the supervisor believes
// it only while the activity markers, mirrored in a page both share, say no
// library code runs. The supervisor reaps every orphan of the program's
// processes and ends them all once the child has ended.
#include "platform/isolation/supervisor.h"

#include "platform/ending.h"
#include "platform/error_text.h"
#include "platform/fault_activity.h"
#include "platform/fault_report.h"
#include "platform/isolation/child_process.h"
#include "platform/isolation/hand_over.h"
#include "platform/isolation/process_tree_posix.h"
#include "platform/runtime_error.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>

namespace platform {

namespace {

constexpr char kChannelVariable[] = "VC_SUPERVISORE";
constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};
// The announcement's value: the supervisor's number in the high bits, the status in the low eight.
constexpr int kStatusBits = 0xFF;
// How often a stopped child is looked at again while its stop's grace runs.
constexpr long kStoppedLookNs = 100 * 1000 * 1000;
// How long a child has to end once a signal from outside that asks a program
// to end was passed on to it: a library may block or ignore it, or be stuck in a call.
constexpr long long kAskedEndMs = 5000;

int announcementSignal()
{
    return SIGRTMIN + 2;
}

// The signal by which the fault handler passes a fault signal another process sent on to the loop.
int relaySignal()
{
    return SIGRTMIN + 3;
}

// In the child: its supervisor and the number its announcements carry.
volatile pid_t supervisorId = 0;
volatile int announcementNumber = 0;

// In the supervisor: the program's fault handlers, called for a real fault of its own.
struct sigaction programFaultActions[NSIG];

bool sentByAnotherProcess(const siginfo_t& info)
{
    return info.si_code <= 0 && info.si_pid > 0 && info.si_pid != getpid();
}

void onFaultSignal(int signal, siginfo_t* info, void* context)
{
    if (sentByAnotherProcess(*info)) {
        sigval value{};
        value.sival_int = signal | info->si_pid << 7;
        sigqueue(getpid(), relaySignal(), value);
        return;
    }
    const struct sigaction& own = programFaultActions[signal];
    if (own.sa_flags & SA_SIGINFO)
        own.sa_sigaction(signal, info, context);
    else if (own.sa_handler != SIG_DFL && own.sa_handler != SIG_IGN)
        own.sa_handler(signal);
    else
        ::signal(signal, SIG_DFL); // the fault comes again and ends the process
}

// What the activity markers said at one moment, copied out of the shared page.
struct Seen {
    char library[sizeof activity::Mirror::library];
    char function[sizeof activity::Mirror::function];
    bool calling;
    bool loading;
};

Seen seen(const activity::Mirror& mirror)
{
    Seen now{};
    std::memcpy(now.library, mirror.library, sizeof now.library - 1);
    std::memcpy(now.function, mirror.function, sizeof now.function - 1);
    now.calling = mirror.calling.load();
    now.loading = mirror.loading.load();
    return now;
}

// What the supervisor has learnt while its child ran.
struct Watch {
    pid_t child = 0;
    const activity::Mirror* mirror = nullptr;
    std::optional<int> announced;    // the status the child announced
    int forwarded = 0;               // the last signal passed on to the child
    int endAsked = 0;                // the first signal from outside that asked it to end
    long long endAskedAt = 0;        // and when, on the monotonic clock in milliseconds
    std::optional<Ending> libraryDoing; // what the program's own processes did to the supervisor
    Seen doingIn{};                     // and what the markers said when it came
};

long long nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool asksToEnd(int signal)
{
    return signal == SIGTERM || signal == SIGHUP || signal == SIGINT || signal == SIGQUIT;
}

bool libraryCodeRuns(const activity::Mirror& mirror)
{
    return (mirror.calling.load() || mirror.loading.load()) && !mirror.handedOver.load();
}

void takeAnnouncement(Watch& watch, const siginfo_t& info)
{
    const int value = info.si_value.sival_int;
    if (info.si_code == SI_QUEUE && info.si_pid == watch.child && (value & ~kStatusBits) == announcementNumber
        && !libraryCodeRuns(*watch.mirror))
        watch.announced = value & kStatusBits;
}

// A stop a terminal asked for: the child is stopped too (by SIGSTOP, which
// the kernel never drops as it may drop the terminal's), and this process
// stops until continued.
void stopAlongside(Watch& watch)
{
    kill(watch.child, SIGSTOP);
    raise(SIGSTOP);
}

// Takes in a signal sent by sender (0: the kernel) to the supervisor.
void takeSignal(Watch& watch, int signal, pid_t sender)
{
    if (signal == SIGCHLD || signal == SIGWINCH || signal == SIGURG || signal == SIGPIPE)
        return;
    if (sender > 0 && sender != getpid() && isolation::isOwnDescendant(sender)) {
        if (!watch.libraryDoing) {
            Ending sent{Message::signalFromProgram, {}};
            Text name(sent.argument, sizeof sent.argument);
            appendSignalName(name, signal);
            watch.libraryDoing = sent;
            watch.doingIn = seen(*watch.mirror);
        }
        return;
    }
    if (signal == SIGCONT)
        kill(watch.child, SIGCONT);
    else if (signal == SIGTSTP || signal == SIGTTIN || signal == SIGTTOU)
        stopAlongside(watch);
    else {
        watch.forwarded = signal;
        kill(watch.child, signal);
        if (asksToEnd(signal) && !watch.endAsked) {
            watch.endAsked = signal;
            watch.endAskedAt = nowMs();
        }
    }
}

void take(Watch& watch, const siginfo_t& info)
{
    const int signal = info.si_signo;
    if (signal == announcementSignal())
        takeAnnouncement(watch, info);
    else if (signal == relaySignal() && info.si_code == SI_QUEUE && info.si_pid == getpid())
        takeSignal(watch, info.si_value.sival_int & 0x7F, info.si_value.sival_int >> 7);
    else
        takeSignal(watch, signal, info.si_code <= 0 ? info.si_pid : 0);
}

// Collects the orphans of the program's processes that have ended, leaving the child's own end to be told.
void reapOrphans(pid_t child)
{
    for (;;) {
        siginfo_t info{};
        if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0 || info.si_pid == child)
            return;
        waitpid(info.si_pid, nullptr, 0);
    }
}

// The signals the loop takes: all but the faults, which stay handled.
sigset_t waitedSignals()
{
    sigset_t set;
    sigfillset(&set);
    for (int signal : kFaults)
        sigdelset(&set, signal);
    return set;
}

// Waits for the child to end, taking in each signal meanwhile; how it ended.
isolation::ChildEnd watchChild(Watch& watch)
{
    isolation::ChildProcess child = isolation::ChildProcess::adopt(watch.child);
    const sigset_t waited = waitedSignals();
    for (;;) {
        if (const std::optional<isolation::ChildEnd> end = child.poll())
            return *end;
        const bool endOverdue = watch.endAsked && nowMs() - watch.endAskedAt >= kAskedEndMs;
        if (watch.libraryDoing || endOverdue) {
            child.end();
            const isolation::ChildEnd end = child.wait();
            if (watch.libraryDoing)
                return end;
            // Ended as the signal from outside asked, whatever kept the child from ending by it.
            watch.forwarded = watch.endAsked;
            return {isolation::ChildEnd::Way::Signalled, watch.endAsked};
        }
        reapOrphans(watch.child);
        siginfo_t info{};
        const timespec look{0, kStoppedLookNs};
        const bool soon = child.stopped() || watch.endAsked;
        if ((soon ? sigtimedwait(&waited, &info, &look) : sigwaitinfo(&waited, &info)) > 0)
            take(watch, info);
    }
}

// Takes in the signals still pending once the child has ended: an announcement sent just before.
void drainSignals(Watch& watch)
{
    const sigset_t waited = waitedSignals();
    const timespec none{0, 0};
    siginfo_t info{};
    while (sigtimedwait(&waited, &info, &none) > 0)
        if (info.si_signo == announcementSignal())
            takeAnnouncement(watch, info);
}

// Hands error 51 to a fresh image of the program (which keeps this process
// id): the program ended, as `how` says, in what the markers told. Failing
// that, writes it on stderr.
[[noreturn]] void reportEnd(const Seen& in, const Ending& how)
{
    const MessageView message =
        faultReport::endMessage({in.library, in.calling ? in.function : nullptr, in.loading, false});
    const MessageView reason = how.view();
    char buffer[1024];
    Text text(buffer, sizeof buffer);
    faultReport::appendHandOver(text, static_cast<unsigned long>(getpid()), kInternalError, message, &reason);
    unsigned long status = EXIT_FAILURE;
    isolation::showInFreshImage(text.data(), status);
    printReport({kInternalError, message, reason});
    std::_Exit(EXIT_FAILURE);
}

// Ends this process by signal, as the child ended by it, leaving no core file.
[[noreturn]] void endBy(int signal)
{
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    ::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    sigprocmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    std::_Exit(128 + signal);
}

// Ends the supervisor as its child ended: with its status when it announced
// that status, by the same signal when a signal from outside ended it, and
// otherwise, after ending whatever the program's processes left running, with
// the report of error 51.
[[noreturn]] void superviseChild(pid_t child, const activity::Mirror& mirror)
{
    Watch watch;
    watch.child = child;
    watch.mirror = &mirror;
    const isolation::ChildEnd end = watchChild(watch);
    drainSignals(watch);
    isolation::endDescendants();
    if (watch.libraryDoing)
        reportEnd(watch.doingIn, *watch.libraryDoing);
    if (end.way == isolation::ChildEnd::Way::Exited && watch.announced && *watch.announced == end.code)
        std::_Exit(static_cast<int>(end.code));
    if (end.way == isolation::ChildEnd::Way::Signalled && end.code == watch.forwarded)
        endBy(watch.forwarded);
    reportEnd(seen(mirror), isolation::describeEnd(end));
}

// The supervisor's signals: every one blocked for the loop, the faults relayed.
void superviseSignals(sigset_t& programMask)
{
    const sigset_t waited = waitedSignals();
    sigprocmask(SIG_BLOCK, &waited, &programMask);
    struct sigaction relay{};
    relay.sa_sigaction = onFaultSignal;
    relay.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigfillset(&relay.sa_mask);
    for (int signal : kFaults)
        sigaction(signal, &relay, &programFaultActions[signal]);
}

// In the child: the program's own signals back, no core file ever, and the way to announce its end.
void becomeSupervised(pid_t supervisor, const sigset_t& programMask, activity::Mirror* mirror)
{
    for (int signal : kFaults)
        sigaction(signal, &programFaultActions[signal], nullptr);
    sigprocmask(SIG_SETMASK, &programMask, nullptr);
    // Hard as well as soft: a library cannot raise it again.
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    supervisorId = supervisor;
    isolation::setFreshImageVariable(kChannelVariable,
                                     std::to_string(supervisor) + ":" + std::to_string(announcementNumber));
    activity::mirrorInto(mirror);
}

// The number at text, moving text past it; -1 for none or one too large.
long readNumber(const char*& text) noexcept
{
    long number = 0;
    const char* first = text;
    for (; *text >= '0' && *text <= '9'; ++text)
        if ((number = number * 10 + (*text - '0')) > INT_MAX)
            return -1;
    return text == first ? -1 : number;
}

// In a fresh image of a supervised child: the supervisor and number its variable names.
void joinFromEnvironment() noexcept
{
    // getenv only reads: safe unless the environment is being changed at that moment.
    const char* value = std::getenv(kChannelVariable);
    if (!value)
        return;
    const long supervisor = readNumber(value);
    if (supervisor <= 0 || *value++ != ':')
        return;
    const long number = readNumber(value);
    if (number >= 0 && *value == '\0') {
        announcementNumber = static_cast<int>(number);
        supervisorId = static_cast<pid_t>(supervisor);
    }
}

} // namespace

void superviseProcess()
{
    void* page = mmap(nullptr, sizeof(activity::Mirror), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        return;
    auto* mirror = new (page) activity::Mirror{};
    unsigned int number = 0;
    getrandom(&number, sizeof number, 0);
    announcementNumber = static_cast<int>(number & 0x7FFFFF00u);
    sigset_t programMask;
    // In place before the child exists, so that no signal slips between.
    superviseSignals(programMask);
    isolation::becomeReaper();
    const pid_t supervisor = getpid();
    const pid_t child = fork();
    if (child == 0) {
        // Killed with its supervisor, whatever kills that: no child left running unwatched.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != supervisor)
            std::_Exit(EXIT_FAILURE);
        becomeSupervised(supervisor, programMask, mirror);
        return;
    }
    if (child < 0) {
        for (int signal : kFaults)
            sigaction(signal, &programFaultActions[signal], nullptr);
        sigprocmask(SIG_SETMASK, &programMask, nullptr);
        munmap(page, sizeof(activity::Mirror));
        return;
    }
    superviseChild(child, *mirror);
}

void announceEnd(int status) noexcept
{
    std::fflush(nullptr);
    announceEndFromHandler(status);
}

void announceEndFromHandler(int status) noexcept
{
    if (supervisorId <= 0)
        joinFromEnvironment();
    // Only the supervisor that started this process: never whoever inherited it.
    if (supervisorId <= 1 || supervisorId != getppid())
        return;
    sigval value{};
    value.sival_int = announcementNumber | (status & kStatusBits);
    sigqueue(supervisorId, announcementSignal(), value);
}

} // namespace platform
