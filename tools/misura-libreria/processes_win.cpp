// Child processes and Ctrl+C on Windows: this program's own file started with
// two pipes; a console control handler, which runs on a thread of its own.
#include "tools/misura-libreria/processes.h"

#include "platform/runtime_error.h"
#include "platform/supervisor.h"
#include "platform/system_error.h"
#include "platform/utf16.h"

#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace misura {

namespace {

constexpr int kMaxChildren = 64;
HANDLE volatile childProcesses[kMaxChildren];
wchar_t fileInProgress[32768];
volatile LONG progressWidth = 0;
// Held while the progress line is written; the handler, on a thread of its own, takes it
// before it clears the line, so that no write lands after the clearing.
HANDLE progressLock = nullptr;
// How long the handler waits for a write to finish: one that stays blocked (a paused
// console) must not keep Ctrl+C from ending the command.
constexpr DWORD kProgressLockMs = 2000;

[[noreturn]] void raiseCannot(platform::Message message)
{
    platform::raiseSystemError(platform::kInternalError, message, {}, GetLastError());
}

void track(HANDLE process, HANDLE replacement)
{
    for (auto& slot : childProcesses)
        if (slot == process) {
            slot = replacement;
            return;
        }
}

BOOL WINAPI onInterrupt(DWORD)
{
    for (HANDLE process : childProcesses)
        if (process)
            TerminateProcess(process, 130);
    if (fileInProgress[0])
        DeleteFileW(fileInProgress);
    if (progressLock)
        WaitForSingleObject(progressLock, kProgressLockMs);
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    char blank[256];
    const DWORD width = progressWidth < 250 ? static_cast<DWORD>(progressWidth) : 250;
    if (width) {
        blank[0] = '\r';
        FillMemory(blank + 1, width, ' ');
        blank[width + 1] = '\r';
        DWORD written = 0;
        WriteFile(err, blank, width + 2, &written, nullptr);
    }
    platform::announceEndFromHandler();
    ExitProcess(130);
}

std::wstring selfPath()
{
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size())
        raiseCannot(platform::Message::cannotFindOwnFile);
    path.resize(n);
    return path;
}

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

std::wstring wide(const std::string& utf8)
{
    const std::u16string s = platform::toUtf16(utf8);
    return std::wstring(s.begin(), s.end());
}

} // namespace

struct Child::Impl {
    HANDLE process = nullptr;
    HANDLE toChild = nullptr;
    HANDLE fromChild = nullptr;
    std::string pending;
    bool ended = false;
};

Child::Child(const std::vector<std::string>& args) : impl_(std::make_unique<Impl>())
{
    const std::wstring program = selfPath();
    std::wstring commandLine = quoted(program);
    for (const std::string& a : args)
        commandLine += L" " + quoted(wide(a));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0) || !CreatePipe(&outRead, &outWrite, &inherit, 0))
        raiseCannot(platform::Message::cannotStartMeasuringProcess);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (!started)
        raiseCannot(platform::Message::cannotStartMeasuringProcess);
    CloseHandle(info.hThread);
    impl_->process = info.hProcess;
    impl_->toChild = inWrite;
    impl_->fromChild = outRead;
    track(nullptr, info.hProcess);
}

Child::~Child()
{
    CloseHandle(impl_->toChild);
    if (!impl_->ended) {
        TerminateProcess(impl_->process, 1);
        ending();
    }
    CloseHandle(impl_->fromChild);
    track(impl_->process, nullptr);
    CloseHandle(impl_->process);
}

bool Child::send(const std::string& line)
{
    const std::string text = line + '\n';
    DWORD done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        if (!WriteFile(impl_->toChild, text.data() + done, static_cast<DWORD>(text.size() - done), &n, nullptr))
            return false;
        done += n;
    }
    return true;
}

std::optional<std::string> Child::receive()
{
    for (;;) {
        if (const auto end = impl_->pending.find('\n'); end != std::string::npos) {
            std::string line = impl_->pending.substr(0, end);
            impl_->pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        char buffer[4096];
        DWORD n = 0;
        if (!ReadFile(impl_->fromChild, buffer, sizeof buffer, &n, nullptr) || n == 0) {
            std::string rest;
            rest.swap(impl_->pending);
            return rest.empty() ? std::nullopt : std::optional<std::string>(rest);
        }
        impl_->pending.append(buffer, n);
    }
}

std::optional<platform::Ending> Child::ending()
{
    WaitForSingleObject(impl_->process, INFINITE);
    impl_->ended = true;
    DWORD code = 0;
    GetExitCodeProcess(impl_->process, &code);
    if (code == 0)
        return std::nullopt;
    return platform::endingOfExitCode(code);
}

bool standardOutputOpen()
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    return out && out != INVALID_HANDLE_VALUE;
}

void markAsChild()
{
    _putenv_s(kChildVariable, "1");
}

bool markedAsChild()
{
    const char* value = std::getenv(kChildVariable);
    return value && value[0] == '1';
}

void handleInterrupts()
{
    progressLock = CreateMutexW(nullptr, FALSE, nullptr);
    SetConsoleCtrlHandler(onInterrupt, TRUE);
}

void ignoreInterrupts()
{
    SetConsoleCtrlHandler(nullptr, TRUE);
}

void setFileInProgress(const std::string& path)
{
    fileInProgress[0] = L'\0';
    const std::wstring w = wide(path);
    if (w.empty() || w.size() >= sizeof fileInProgress / sizeof fileInProgress[0])
        return;
    CopyMemory(fileInProgress + 1, w.c_str() + 1, w.size() * sizeof(wchar_t));
    fileInProgress[0] = w[0];
}

void writeProgress(const std::string& text, std::size_t width)
{
    if (progressLock)
        WaitForSingleObject(progressLock, INFINITE);
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    for (DWORD done = 0; done < text.size();) {
        DWORD n = 0;
        if (!WriteFile(err, text.data() + done, static_cast<DWORD>(text.size() - done), &n, nullptr) || n == 0)
            break;
        done += n;
    }
    InterlockedExchange(&progressWidth, static_cast<LONG>(width));
    if (progressLock)
        ReleaseMutex(progressLock);
}

} // namespace misura
