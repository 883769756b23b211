// Child processes on Windows: CreateProcessW with the channels' handles made
// inheritable for that one start, and an environment block of this process's
// own with the variables set. A handle keeps its value in the child.
#define _CRT_RAND_S
#include "platform/isolation/child_process.h"

#include "platform/isolation/own_file_win.h"
#include "platform/system_error.h"
#include "platform/wide_win.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <utility>

namespace platform::isolation {

namespace {

// One argument quoted as the C run-time's command-line parser reads it back.
std::wstring quoted(const std::wstring& arg)
{
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L'"';
}

// This process's environment block with variables set.
std::vector<wchar_t> environmentWith(const std::vector<std::pair<std::string, std::string>>& variables)
{
    std::vector<wchar_t> block;
    std::vector<std::wstring> set;
    for (const auto& [name, value] : variables)
        set.push_back(win::wide(name) + L'=');
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* e = own; *e; e += std::wcslen(e) + 1) {
            bool replaced = false;
            for (const std::wstring& prefix : set)
                replaced = replaced || _wcsnicmp(e, prefix.c_str(), prefix.size()) == 0;
            if (!replaced)
                block.insert(block.end(), e, e + std::wcslen(e) + 1);
        }
        FreeEnvironmentStringsW(own);
    }
    for (const auto& [name, value] : variables) {
        const std::wstring entry = win::wide(name) + L'=' + win::wide(value);
        block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    block.push_back(L'\0');
    return block;
}

HANDLE handleOf(long value)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(value));
}

} // namespace

Ending describeEnd(const ChildEnd& end) noexcept
{
    return endingOfExitCode(static_cast<unsigned long>(end.code));
}

std::vector<long> channelNumbers(const std::vector<long>& here)
{
    return here;
}

std::string unpredictableToken()
{
    unsigned int parts[2] = {0, 0};
    for (unsigned int& part : parts)
        if (rand_s(&part) != 0)
            part = static_cast<unsigned int>(GetTickCount() ^ GetCurrentProcessId());
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", parts[0], parts[1]);
    return text;
}

ChildProcess::ChildProcess(const ChildSpec& spec)
{
    const std::wstring program = spec.program.empty() ? std::wstring(ownFileWide()) : win::wide(spec.program);
    std::wstring commandLine = quoted(program);
    for (const std::string& a : spec.args)
        commandLine += L" " + quoted(win::wide(a));
    std::vector<wchar_t> environment = environmentWith(spec.variables);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE none = spec.streams == StandardStreams::ErrorsOnly
        ? CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr)
        : INVALID_HANDLE_VALUE;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = none != INVALID_HANDLE_VALUE ? none : GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput =
        GetStdHandle(spec.streams == StandardStreams::ErrorsOnly ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (const auto& [here, there] : spec.channels)
        SetHandleInformation(handleOf(here), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup, &info);
    const DWORD error = GetLastError();
    for (const auto& [here, there] : spec.channels)
        SetHandleInformation(handleOf(here), HANDLE_FLAG_INHERIT, 0);
    if (none != INVALID_HANDLE_VALUE)
        CloseHandle(none);
    if (!started)
        raiseSystemError(kInternalError, spec.cannotStart, {}, error);
    CloseHandle(info.hThread);
    id_ = static_cast<long>(info.dwProcessId);
    handle_ = reinterpret_cast<std::intptr_t>(info.hProcess);
}

ChildProcess ChildProcess::adopt(long id) noexcept
{
    ChildProcess child;
    child.id_ = id;
    child.handle_ = reinterpret_cast<std::intptr_t>(
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                    static_cast<DWORD>(id)));
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : id_(other.id_), handle_(other.handle_), ended_(other.ended_)
{
    other.id_ = -1;
    other.handle_ = 0;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        release();
        id_ = std::exchange(other.id_, -1);
        handle_ = std::exchange(other.handle_, 0);
        ended_ = other.ended_;
    }
    return *this;
}

ChildProcess::~ChildProcess()
{
    release();
}

void ChildProcess::release() noexcept
{
    if (!handle_)
        return;
    if (!ended_) {
        end();
        WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), INFINITE);
    }
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = 0;
    id_ = -1;
}

std::optional<ChildEnd> ChildProcess::poll()
{
    if (ended_ || !handle_)
        return ended_;
    const auto process = reinterpret_cast<HANDLE>(handle_);
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = EXIT_FAILURE;
    GetExitCodeProcess(process, &code);
    ended_ = ChildEnd{ChildEnd::Way::Exited, static_cast<long>(code)};
    return ended_;
}

ChildEnd ChildProcess::wait()
{
    if (handle_ && !ended_)
        WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), INFINITE);
    if (const std::optional<ChildEnd> end = poll())
        return *end;
    return ChildEnd{ChildEnd::Way::Exited, EXIT_FAILURE};
}

void ChildProcess::end() noexcept
{
    if (handle_ && !ended_)
        TerminateProcess(reinterpret_cast<HANDLE>(handle_), EXIT_FAILURE);
}

} // namespace platform::isolation
