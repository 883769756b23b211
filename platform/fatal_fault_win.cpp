// Fatal faults on Windows outside a library call (one inside a call is raised
// as error 51 where the call began, library_win.cpp): on a thread, while the
// library is loaded, in its detach code at exit, or an abort(). The handler
// formats the report into static memory, starts a fresh process of the
// program with the report (platform/isolation/hand_over.h), waits for it and
// ends this one with its status, running no library's detach code, and as an
// end announced to the supervisor once the report was shown.
#include "platform/fatal_fault.h"

#include "platform/cpu_win.h"
#include "platform/ending.h"
#include "platform/fault_activity.h"
#include "platform/fault_codes_win.h"
#include "platform/fault_report.h"
#include "platform/isolation/hand_over.h"
#include "platform/isolation/own_file.h"
#include "platform/isolation/supervisor.h"

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

bool handlersInstalled = false;
char report[4096];
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
    unsigned long status = EXIT_FAILURE;
    activity::markHandedOver();
    if (isolation::showInFreshImage(report, status))
        announceEnd(static_cast<int>(status));
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
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

} // namespace

namespace activity {

void restoreFaultHandlers() noexcept
{
    if (!handlersInstalled)
        return;
    SetUnhandledExceptionFilter(onUnhandledException);
    std::signal(SIGABRT, onAbort);
}

} // namespace activity

std::optional<RuntimeError> prepareProcess()
{
    isolation::keepOwnFile();
    isolation::keepStartEnvironment();
    if (auto pending = isolation::takeHandedReport())
        return pending;
    handlersInstalled = true;
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
    announceEnd(status);
    if (activity::faulted()) {
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    }
    std::exit(status);
}

} // namespace platform
