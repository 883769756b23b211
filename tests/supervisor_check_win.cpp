// supervisor_check's Windows ends: a fault on a thread after the
// unhandled-exception filter was reset, as a library may do; waiting after
// printing the child's process id; and ending a supervisor of its own while
// its child waits, saying whether the child ended with it.
// Usage: supervisor_check fault | wait | kill-supervisor
#include "tests/supervisor_check.h"
#include "tests/time_bound.h"

#include "platform/fatal_fault.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

DWORD WINAPI faultingThread(void*)
{
    return static_cast<DWORD>(*static_cast<volatile int*>(nullptr));
}

// Starts this program with argument wait, its output read through a pipe;
// ends it as soon as its child has said its process id, and says whether that
// child ended with it.
int killSupervisor()
{
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    wchar_t executable[MAX_PATH];
    if (!CreatePipe(&read, &write, &inherited, 0) || !GetModuleFileNameW(nullptr, executable, MAX_PATH))
        return 3;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    std::wstring commandLine = L"supervisor_check wait";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION supervisor{};
    if (!CreateProcessW(executable, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &supervisor))
        return 3;
    CloseHandle(write);
    char line[64] = {};
    DWORD n = 0;
    unsigned long childId = 0;
    if (!ReadFile(read, line, sizeof line - 1, &n, nullptr) || std::sscanf(line, "child %lu", &childId) != 1)
        return 3;
    HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, childId);
    TerminateProcess(supervisor.hProcess, 9);
    const bool ended = child && WaitForSingleObject(child, testing_support::boundMs(60)) == WAIT_OBJECT_0;
    if (child && !ended)
        TerminateProcess(child, 9); // no orphan left to the tests that follow
    std::printf(ended ? "the child ended with its supervisor\n" : "the child outlived its supervisor\n");
    return ended ? 0 : 1;
}

} // namespace

void endTheSystemsWay(const std::string& how, int)
{
    if (how == "fault") {
        SetUnhandledExceptionFilter(nullptr);
        WaitForSingleObject(CreateThread(nullptr, 0, faultingThread, nullptr, 0, nullptr), INFINITE);
    }
    if (how == "wait") {
        std::printf("child %lu\n", GetCurrentProcessId());
        std::fflush(stdout);
        Sleep(INFINITE);
    }
    if (how == "kill-supervisor")
        platform::endProcess(killSupervisor());
}
