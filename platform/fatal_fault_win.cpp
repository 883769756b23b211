// Fatal faults on Windows outside a library call (one inside a call is raised
// as error 51 where the call began, library_win.cpp): the unhandled-exception
// filter formats the report into static memory, starts a fresh process of
// the program with the report in its environment, waits for it and ends this
// one with its status, running no library's detach code. The variable also
// carries the faulting process's id, which the fresh process checks is a
// running copy of the same program.
#include "platform/fatal_fault.h"

#include "platform/cpu_win.h"
#include "platform/fault_activity.h"
#include "platform/fault_report.h"
#include "platform/wide_win.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

namespace platform {

namespace win {

void exceptionName(unsigned long code, char* name, unsigned size) noexcept
{
    struct Name {
        DWORD code;
        const char* name;
    };
    static constexpr Name kNames[] = {
        {EXCEPTION_ACCESS_VIOLATION, "EXCEPTION_ACCESS_VIOLATION"},
        {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"},
        {EXCEPTION_DATATYPE_MISALIGNMENT, "EXCEPTION_DATATYPE_MISALIGNMENT"},
        {EXCEPTION_FLT_DIVIDE_BY_ZERO, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
        {EXCEPTION_FLT_INVALID_OPERATION, "EXCEPTION_FLT_INVALID_OPERATION"},
        {EXCEPTION_FLT_OVERFLOW, "EXCEPTION_FLT_OVERFLOW"},
        {EXCEPTION_ILLEGAL_INSTRUCTION, "EXCEPTION_ILLEGAL_INSTRUCTION"},
        {EXCEPTION_IN_PAGE_ERROR, "EXCEPTION_IN_PAGE_ERROR"},
        {EXCEPTION_INT_DIVIDE_BY_ZERO, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
        {EXCEPTION_INT_OVERFLOW, "EXCEPTION_INT_OVERFLOW"},
        {EXCEPTION_PRIV_INSTRUCTION, "EXCEPTION_PRIV_INSTRUCTION"},
        {EXCEPTION_STACK_OVERFLOW, "EXCEPTION_STACK_OVERFLOW"},
    };
    for (const Name& n : kNames)
        if (n.code == code) {
            std::snprintf(name, size, "%s", n.name);
            return;
        }
    std::snprintf(name, size, "eccezione 0x%08lX", code);
}

} // namespace win

namespace {

constexpr wchar_t kVariable[] = L"VC_ERRORE_FATALE";

wchar_t executable[MAX_PATH];
char report[4096];
wchar_t wideReport[4096];
LONG entered = 0;

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* e)
{
    if (InterlockedExchange(&entered, 1) != 0) {
        Sleep(INFINITE); // another thread is handing over, which ends this one
    }
    char fault[40];
    win::exceptionName(e->ExceptionRecord->ExceptionCode, fault, sizeof fault);
    faultReport::Text text(report, sizeof report);
    faultReport::appendHandOverHead(text, GetCurrentProcessId(), kInternalError);
    faultReport::appendDescription(text, activity::library(), activity::calling(), activity::loading(), fault);
    MultiByteToWideChar(CP_UTF8, 0, report, -1, wideReport, static_cast<int>(std::size(wideReport)));
    SetEnvironmentVariableW(kVariable, wideReport);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    DWORD status = EXIT_FAILURE;
    if (CreateProcessW(executable, nullptr, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
        WaitForSingleObject(child.hProcess, INFINITE);
        GetExitCodeProcess(child.hProcess, &status);
    }
    TerminateProcess(GetCurrentProcess(), status);
    return EXCEPTION_EXECUTE_HANDLER;
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
    const DWORD n = GetEnvironmentVariableW(kVariable, value, static_cast<DWORD>(std::size(value)));
    if (n == 0 || n >= std::size(value))
        return std::nullopt;
    SetEnvironmentVariableW(kVariable, nullptr);
    auto handOver = faultReport::readHandOver(win::utf8(std::wstring(value, n)));
    if (!handOver || handOver->process == GetCurrentProcessId() || !isSameProgram(handOver->process))
        return std::nullopt;
    return std::move(handOver->error);
}

} // namespace

namespace activity {

void restoreFaultHandlers() noexcept
{
    if (executable[0])
        SetUnhandledExceptionFilter(onUnhandledException);
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
    SetUnhandledExceptionFilter(onUnhandledException);
    return std::nullopt;
}

} // namespace platform
