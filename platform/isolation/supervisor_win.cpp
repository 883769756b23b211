// The supervisor on Windows. The program starts itself again, suspended, in a
// job that ends it with the supervisor, sharing a mapping (its inherited
// handle named in VC_SUPERVISORE) that holds the fault activity markers, the
// child's process id and the status it announced: the child maps it at start
// and closes the handle, leaving a library nothing to close. An end is the
// program's own only with the status announced and while the markers say no
// library code runs; any other is handed to a fresh process of the program as
// error 51. Once the child has ended, the job ends every process it started.
#include "platform/isolation/supervisor.h"

#include "platform/ending.h"
#include "platform/error_text.h"
#include "platform/fault_activity.h"
#include "platform/fault_report.h"
#include "platform/isolation/hand_over.h"
#include "platform/isolation/own_file_win.h"
#include "platform/runtime_error.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>

namespace platform {

namespace {

constexpr wchar_t kChannelVariable[] = L"VC_SUPERVISORE";
// How long the supervisor waits for its own console event once the child
// ended as a console event ends a process: each process of the console gets
// it on a thread of its own.
constexpr DWORD kConsoleEventWait = 2000;
// How long a child that a console event reached has to end before the job ends it: it may be hung in a call.
constexpr DWORD kConsoleEndWait = 5000;
constexpr LONG kNotAnnounced = -1;

// The memory supervisor and child share.
struct Channel {
    activity::Mirror mirror;
    std::atomic<DWORD> child;    // the process the channel belongs to
    std::atomic<LONG> announced; // the status announced, or kNotAnnounced
};

// In the child: its channel to the supervisor, or null.
Channel* channel = nullptr;
// In the supervisor: set once a console event (Ctrl+C, Ctrl+Break, closing
// the console) has reached it, and so the child.
HANDLE consoleEvent = nullptr;

BOOL WINAPI onConsoleEvent(DWORD)
{
    SetEvent(consoleEvent);
    return TRUE; // the child's end decides the supervisor's
}

// In a child this program's supervisor started: the channel it names, mapped; otherwise null.
Channel* joinChannel()
{
    wchar_t value[32];
    const DWORD n = GetEnvironmentVariableW(kChannelVariable, value, static_cast<DWORD>(std::size(value)));
    if (n == 0 || n >= std::size(value))
        return nullptr;
    SetEnvironmentVariableW(kChannelVariable, nullptr);
    wchar_t* end = nullptr;
    const auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(value, &end, 10)));
    if (*end != L'\0' || !handle)
        return nullptr;
    auto* joined = static_cast<Channel*>(MapViewOfFile(handle, FILE_MAP_WRITE, 0, 0, sizeof(Channel)));
    if (!joined)
        return nullptr;
    // Only the child this channel was made for: never whoever inherited the variable.
    if (joined->child.load() != GetCurrentProcessId()) {
        UnmapViewOfFile(joined);
        return nullptr;
    }
    CloseHandle(handle);
    return joined;
}

// The job that ends the child with the supervisor, however it ends; null where none can be made.
HANDLE makeJob()
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// Starts the program again with the same command line, standard handles and
// window state, in job, with mapping (whose view is shared) named in its
// environment; the child's process, or null.
HANDLE startChild(HANDLE mapping, Channel& shared, HANDLE job)
{
    const wchar_t* executable = isolation::ownFileWide();
    if (!*executable)
        return nullptr;
    std::wstring commandLine = GetCommandLineW();
    STARTUPINFOW own{};
    GetStartupInfoW(&own);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | (own.dwFlags & STARTF_USESHOWWINDOW);
    startup.wShowWindow = own.wShowWindow;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    SetEnvironmentVariableW(kChannelVariable, std::to_wstring(reinterpret_cast<std::uintptr_t>(mapping)).c_str());
    PROCESS_INFORMATION child{};
    const bool started = CreateProcessW(executable, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                                        nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableW(kChannelVariable, nullptr);
    if (!started)
        return nullptr;
    shared.child.store(child.dwProcessId);
    if (job)
        AssignProcessToJobObject(job, child.hProcess); // unsupervised by the job rather than not at all
    AllowSetForegroundWindow(child.dwProcessId);
    const bool resumed = ResumeThread(child.hThread) != static_cast<DWORD>(-1);
    CloseHandle(child.hThread);
    if (!resumed) {
        TerminateProcess(child.hProcess, EXIT_FAILURE);
        CloseHandle(child.hProcess);
        return nullptr;
    }
    return child.hProcess;
}

// Hands error 51 for an unannounced end with code to a fresh process of the
// program and ends with its status, or, failing that, writes it on stderr.
[[noreturn]] void reportEnd(activity::Mirror& mirror, DWORD code)
{
    // The child's last words, whatever it left there, read as terminated strings.
    mirror.library[sizeof mirror.library - 1] = '\0';
    mirror.function[sizeof mirror.function - 1] = '\0';
    const MessageView message = faultReport::endMessage(
        {mirror.library, mirror.calling.load() ? mirror.function : nullptr, mirror.loading.load(), false});
    const Ending ending = endingOfExitCode(code);
    const MessageView how = ending.view();
    char buffer[1024];
    Text text(buffer, sizeof buffer);
    faultReport::appendHandOver(text, GetCurrentProcessId(), kInternalError, message, &how);
    unsigned long status = EXIT_FAILURE;
    if (isolation::showInFreshImage(text.data(), status))
        ExitProcess(static_cast<UINT>(status));
    printReport({kInternalError, message, how});
    ExitProcess(EXIT_FAILURE);
}

// Waits for the child to end; one that a console event reached and that does
// not end in time (hung in a call, its threads suspended) is ended by the job.
void waitForChild(HANDLE child, HANDLE job)
{
    const HANDLE both[] = {child, consoleEvent};
    if (WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0)
        return;
    if (WaitForSingleObject(child, kConsoleEndWait) != WAIT_OBJECT_0 && job)
        TerminateJobObject(job, STATUS_CONTROL_C_EXIT);
    WaitForSingleObject(child, INFINITE);
}

// Whether the child announced the end it made: with that status, and not from inside library code.
bool endAnnounced(const Channel& shared, DWORD code)
{
    const activity::Mirror& mirror = shared.mirror;
    const bool libraryCodeRan = (mirror.calling.load() || mirror.loading.load()) && !mirror.handedOver.load();
    return shared.announced.load() == static_cast<LONG>(code) && !libraryCodeRan;
}

// Ends the supervisor as its child ended: with its status when it announced
// that status or was ended by a console event that reached both, and
// otherwise with the report of error 51. Whatever the child started ends first.
[[noreturn]] void superviseChild(HANDLE child, Channel& shared, HANDLE job)
{
    waitForChild(child, job);
    DWORD code = EXIT_FAILURE;
    GetExitCodeProcess(child, &code);
    if (job)
        TerminateJobObject(job, EXIT_FAILURE);
    if (endAnnounced(shared, code))
        ExitProcess(code);
    // Windows ends a process by a console event with STATUS_CONTROL_C_EXIT,
    // Wine (on SIGINT) with status 0: the supervisor's own event then counts
    // only if it has come already.
    const DWORD wait = code == STATUS_CONTROL_C_EXIT ? kConsoleEventWait : 0;
    if (WaitForSingleObject(consoleEvent, wait) == WAIT_OBJECT_0)
        ExitProcess(code);
    reportEnd(shared.mirror, code);
}

} // namespace

void superviseProcess()
{
    if ((channel = joinChannel())) {
        activity::mirrorInto(&channel->mirror);
        return;
    }
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &inherited, PAGE_READWRITE, 0, sizeof(Channel), nullptr);
    auto* view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(Channel)) : nullptr;
    consoleEvent = view ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
    if (consoleEvent) {
        auto* shared = new (view) Channel{};
        shared->announced.store(kNotAnnounced);
        // In place before the child exists, so that no event slips between.
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
        HANDLE job = makeJob();
        if (HANDLE child = startChild(mapping, *shared, job))
            superviseChild(child, *shared, job);
        if (job)
            CloseHandle(job);
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
        CloseHandle(consoleEvent);
    }
    if (view)
        UnmapViewOfFile(view);
    if (mapping)
        CloseHandle(mapping);
}

void announceEnd(int status) noexcept
{
    // A plain store, for the fault handlers too: no lock, no system call.
    if (channel)
        channel->announced.store(static_cast<LONG>(status));
}

void announceEndFromHandler(int status) noexcept
{
    announceEnd(status);
}

} // namespace platform
