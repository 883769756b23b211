// Fatal faults on Windows outside a library call (one inside a call is raised
// as error 51 where the call began, library_win.cpp): on a thread, while the
// library is loaded, in its detach code at exit, or an abort(). The handler
// formats the report into static memory, starts a fresh process of the
// program with the report in its environment, waits for it and ends this one
// with its status, running no library's detach code, and as an end announced
// to the supervisor once the report was shown. The variable also
// carries the faulting process's id, which the fresh process checks is a
// running copy of the same program.
#include "platform/fatal_fault.h"

#include "platform/cpu_win.h"
#include "platform/ending.h"
#include "platform/fault_activity.h"
#include "platform/fault_codes_win.h"
#include "platform/fault_report.h"
#include "platform/hand_over_win.h"
#include "platform/supervisor.h"
#include "platform/wide_win.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

namespace platform {

namespace win {

bool isFault(unsigned long code) noexcept
{
    return faultCodeName(code) != nullptr;
}

} // namespace win

namespace {

// The variable's name as the system's wide calls take it.
struct WideName {
    wchar_t text[sizeof faultReport::kVariable];
};
constexpr WideName kVariable = [] {
    WideName wide{};
    for (std::size_t i = 0; i < sizeof faultReport::kVariable; ++i)
        wide.text[i] = static_cast<wchar_t>(faultReport::kVariable[i]);
    return wide;
}();

wchar_t executable[MAX_PATH];
char report[4096];
wchar_t wideReport[4096];
LONG entered = 0;
// Set once the process has begun to end: a library's detach code runs then.
volatile bool exiting = false;

// Formats the report of the exception code into static memory, has a
// fresh process of the program show it and ends this process with its
// status, an end on purpose once the report was shown.
[[noreturn]] void handOver(DWORD code) noexcept
{
    if (InterlockedExchange(&entered, 1) != 0)
        for (;;)
            Sleep(INFINITE); // another thread is handing over, which ends this one
    const MessageView message =
        faultReport::faultMessage({activity::library(), activity::calling(), activity::loading(), exiting});
    const Ending fault = endingOfException(code);
    const MessageView reason = fault.view();
    Text text(report, sizeof report);
    faultReport::appendHandOver(text, GetCurrentProcessId(), kInternalError, message, &reason);
    DWORD status = EXIT_FAILURE;
    if (win::showInFreshProcess(report, status))
        announceEnd();
    TerminateProcess(GetCurrentProcess(), status);
    for (;;)
        Sleep(INFINITE); // the process ends with the call above
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* e)
{
    handOver(e->ExceptionRecord->ExceptionCode);
}

// A fault while the library is being loaded or detached at exit: the system's
// loader would catch it and carry on (the library then fails to load, or the
// process ends as if nothing happened), so it is taken first, here.
LONG CALLBACK onLoaderFault(EXCEPTION_POINTERS* e)
{
    const DWORD code = e->ExceptionRecord->ExceptionCode;
    if (win::isFault(code) && !activity::calling() && (activity::loading() || exiting))
        handOver(code);
    return EXCEPTION_CONTINUE_SEARCH;
}

// abort() outside a library call (inside one it is the call's error).
void onAbort(int)
{
    handOver(kAbortCode);
}

void markExiting()
{
    exiting = true;
}

// Whether process id is running the same program file as this one.
bool isSameProgram(DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return false;
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    const bool same = QueryFullProcessImageNameW(process, 0, path, &size) && _wcsicmp(path, executable) == 0;
    CloseHandle(process);
    return same;
}

std::optional<RuntimeError> takeReport()
{
    wchar_t value[4096];
    const DWORD n = GetEnvironmentVariableW(kVariable.text, value, static_cast<DWORD>(std::size(value)));
    if (n == 0 || n >= std::size(value))
        return std::nullopt;
    SetEnvironmentVariableW(kVariable.text, nullptr);
    auto received = faultReport::readHandOver(win::utf8(std::wstring(value, n)));
    if (!received || received->process == GetCurrentProcessId() || !isSameProgram(received->process))
        return std::nullopt;
    return std::move(received->error);
}

} // namespace

namespace win {

bool showInFreshProcess(const char* text, DWORD& status) noexcept
{
    if (!executable[0])
        return false;
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wideReport, static_cast<int>(std::size(wideReport)));
    SetEnvironmentVariableW(kVariable.text, wideReport);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    const bool started =
        CreateProcessW(executable, nullptr, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableW(kVariable.text, nullptr);
    if (!started)
        return false;
    WaitForSingleObject(child.hProcess, INFINITE);
    if (!GetExitCodeProcess(child.hProcess, &status))
        status = EXIT_FAILURE;
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return true;
}

} // namespace win

namespace activity {

void restoreFaultHandlers() noexcept
{
    if (!executable[0])
        return;
    SetUnhandledExceptionFilter(onUnhandledException);
    std::signal(SIGABRT, onAbort);
}

} // namespace activity

std::optional<RuntimeError> prepareProcess()
{
    const DWORD n = GetModuleFileNameW(nullptr, executable, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        executable[0] = L'\0';
        return std::nullopt;
    }
    if (auto pending = takeReport())
        return pending;
    // No box of the system's own on a fault: the program's report instead.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    AddVectoredExceptionHandler(0, onLoaderFault);
    std::atexit(markExiting);
    activity::restoreFaultHandlers();
    return std::nullopt;
}

void reportAsFault(const RuntimeError& error)
{
    throw error;
}

void endProcess(int status)
{
    announceEnd();
    if (activity::faulted()) {
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    }
    std::exit(status);
}

} // namespace platform
