// supervisor_check's Windows ends: a fault on a thread after the
// unhandled-exception filter was reset, as a library may do; waiting after
// printing the child's process id; leaving a process behind; ending a
// supervisor of its own while its child waits, or waiting for one whose child
// leaves a process behind, saying whether the child, or what it left, ended with it.
// Usage: supervisor_check fault | wait | kill-supervisor | leave-process | left-ends
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

// Starts this program with argument, its output read through a pipe, and
// reads the id its first line gives after word; false when it cannot.
bool startSupervised(const wchar_t* argument, const char* word, PROCESS_INFORMATION& supervisor, DWORD& id)
{
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE output = nullptr;
    HANDLE write = nullptr;
    wchar_t executable[MAX_PATH];
    if (!CreatePipe(&output, &write, &inherited, 0) || !GetModuleFileNameW(nullptr, executable, MAX_PATH))
        return false;
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    std::wstring commandLine = std::wstring(L"supervisor_check ") + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (!CreateProcessW(executable, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &supervisor))
        return false;
    CloseHandle(write);
    char line[64] = {};
    DWORD n = 0;
    unsigned long value = 0;
    const std::string format = std::string(word) + " %lu";
    const bool told = ReadFile(output, line, sizeof line - 1, &n, nullptr) && std::sscanf(line, format.c_str(), &value) == 1;
    CloseHandle(output);
    id = value;
    return told;
}

// Whether process id ends within a generous bound (which guards against one
// left running), ending it if not, so that no orphan is left to the tests that follow.
bool endsSoon(DWORD id)
{
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
    const bool ended = !process || WaitForSingleObject(process, testing_support::boundMs(60)) == WAIT_OBJECT_0;
    if (process && !ended)
        TerminateProcess(process, 9);
    if (process)
        CloseHandle(process);
    return ended;
}

// Starts this program with argument wait and ends it as soon as its child has
// said its process id; says whether that child ended with it.
int killSupervisor()
{
    PROCESS_INFORMATION supervisor{};
    DWORD child = 0;
    if (!startSupervised(L"wait", "child", supervisor, child))
        return 3;
    TerminateProcess(supervisor.hProcess, 9);
    const bool ended = endsSoon(child);
    std::printf(ended ? "the child ended with its supervisor\n" : "the child outlived its supervisor\n");
    return ended ? 0 : 1;
}

// Starts this program with argument leave-process and waits for it; says
// whether the process its child left behind ended with it.
int leftEnds()
{
    PROCESS_INFORMATION supervisor{};
    DWORD left = 0;
    if (!startSupervised(L"leave-process", "left", supervisor, left))
        return 3;
    WaitForSingleObject(supervisor.hProcess, INFINITE);
    const bool ended = endsSoon(left);
    std::printf(ended ? "what the child left ended with it\n" : "what the child left outlived it\n");
    return ended ? 0 : 1;
}

// Leaves a process of this program behind, idle, says its id and ends announced.
[[noreturn]] void leaveProcess()
{
    wchar_t executable[MAX_PATH];
    std::wstring commandLine = L"supervisor_check idle";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION left{};
    if (!GetModuleFileNameW(nullptr, executable, MAX_PATH)
        || !CreateProcessW(executable, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &left))
        platform::endProcess(3);
    std::printf("left %lu\n", left.dwProcessId);
    platform::endProcess(0);
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
    if (how == "left-ends")
        platform::endProcess(leftEnds());
    if (how == "leave-process")
        leaveProcess();
}
