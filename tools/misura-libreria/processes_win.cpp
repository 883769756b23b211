// Child processes and Ctrl+C on Windows: this program's own file started as a
// child (platform/isolation/child_process.h) with two pipes whose handles it
// finds in its environment, read without blocking so that a child that ends
// is noticed while a process it left behind still holds the pipe; a console
// control handler, which runs on a thread of its own.
#include "tools/misura-libreria/processes.h"

#include "platform/isolation/child_process.h"
#include "platform/isolation/supervisor.h"
#include "platform/system_error.h"
#include "platform/utf16.h"
#include "tools/misura-libreria/process_io.h"
#include "tools/misura-libreria/protocol.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <windows.h>

namespace misura {

namespace {

constexpr int kMaxChildren = 64;
HANDLE volatile childProcesses[kMaxChildren];
wchar_t fileInProgress[32768];
volatile LONG progressWidth = 0;
// How long a child may take to acknowledge a request, which it does before any
// work: guards against a channel that carries nothing.
constexpr ULONGLONG kAcknowledgeMs = 30000;
// How often the channel is looked at while an answer is awaited.
constexpr DWORD kLookMs = 10;
// Held while the progress line is written; the handler, on a thread of its own, takes it
// before it clears the line, so that no write lands after the clearing.
HANDLE progressLock = nullptr;
// How long the handler waits for a write to finish: one that stays blocked (a paused
// console) must not keep Ctrl+C from ending the command.
constexpr DWORD kProgressLockMs = 2000;

void track(DWORD id, HANDLE process)
{
    for (auto& slot : childProcesses)
        if (process ? !slot : slot && GetProcessId(slot) == id) {
            if (!process)
                CloseHandle(slot);
            slot = process;
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
    platform::announceEndFromHandler(130);
    ExitProcess(130);
}

std::wstring wide(const std::string& utf8)
{
    const std::u16string s = platform::toUtf16(utf8);
    return std::wstring(s.begin(), s.end());
}

// A line as the parent shows it: cut short, control bytes escaped.
std::string shown(const std::string& line)
{
    return protocol::escaped(line.substr(0, 40));
}

} // namespace

struct Child::Impl {
    std::optional<platform::isolation::ChildProcess> process;
    HANDLE toChild = nullptr;
    HANDLE fromChild = nullptr;
    std::string token;
    unsigned long number = 0;
    std::string pending;
    bool closed = false;
    std::optional<std::string> lastAnswer;
    std::optional<platform::Ending> trouble;

    void giveUp(const platform::Ending& why)
    {
        if (!trouble)
            trouble = why;
        process->end();
    }
    bool fill();
    // Once the child has ended: keeps the answer it left in the channel before its end.
    void keepLastAnswer();
    std::optional<protocol::Framed> next(ULONGLONG deadline);
};

// Reads what the pipe holds now; false when nothing was there.
bool Child::Impl::fill()
{
    DWORD available = 0;
    if (!PeekNamedPipe(fromChild, nullptr, 0, nullptr, &available, nullptr)) {
        closed = true;
        return false;
    }
    if (available == 0)
        return false;
    char chunk[4096];
    DWORD n = 0;
    if (!ReadFile(fromChild, chunk, available < sizeof chunk ? available : sizeof chunk, &n, nullptr) || n == 0) {
        closed = true;
        return false;
    }
    pending.append(chunk, n);
    return true;
}

std::optional<protocol::Framed> Child::Impl::next(ULONGLONG deadline)
{
    for (;;) {
        if (const auto end = pending.find('\n'); end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (std::optional<protocol::Framed> framed = protocol::unframe(line, token))
                return framed;
            giveUp(platform::endingWith(platform::Message::channelForeignLine, shown(line).c_str()));
            return std::nullopt;
        }
        if (pending.size() > protocol::kLongestLine)
            giveUp(platform::endingWith(platform::Message::channelOverlongLine));
        if (closed || trouble)
            return std::nullopt;
        const bool ended = process->poll().has_value();
        if (!fill()) {
            if (ended || closed)
                return std::nullopt;
            Sleep(kLookMs);
        }
        if (deadline && GetTickCount64() > deadline && pending.find('\n') == std::string::npos) {
            giveUp(platform::endingWith(platform::Message::channelSilent, std::to_string(kAcknowledgeMs / 1000).c_str()));
            return std::nullopt;
        }
    }
}

Child::Child(const std::vector<std::string>& args) : impl_(std::make_unique<Impl>())
{
    HANDLE inRead, inWrite, outRead, outWrite;
    if (!CreatePipe(&inRead, &inWrite, nullptr, 0))
        platform::raiseSystemError(platform::kInternalError, platform::Message::cannotStartMeasuringProcess, {},
                                   GetLastError());
    if (!CreatePipe(&outRead, &outWrite, nullptr, 0)) {
        const DWORD error = GetLastError();
        CloseHandle(inRead);
        CloseHandle(inWrite);
        platform::raiseSystemError(platform::kInternalError, platform::Message::cannotStartMeasuringProcess, {}, error);
    }
    const long in = static_cast<long>(reinterpret_cast<std::intptr_t>(inRead));
    const long out = static_cast<long>(reinterpret_cast<std::intptr_t>(outWrite));
    impl_->token = platform::isolation::unpredictableToken();
    const std::string channel = impl_->token + ':' + std::to_string(in) + ':' + std::to_string(out);
    try {
        impl_->process.emplace(platform::isolation::ChildSpec{
            {}, args, {{in, in}, {out, out}}, {{kChildVariable, channel}},
            platform::isolation::StandardStreams::ErrorsOnly});
    } catch (...) {
        for (HANDLE h : {inRead, inWrite, outRead, outWrite})
            CloseHandle(h);
        throw;
    }
    CloseHandle(inRead);
    CloseHandle(outWrite);
    impl_->toChild = inWrite;
    impl_->fromChild = outRead;
    const DWORD id = static_cast<DWORD>(impl_->process->id());
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id))
        track(id, process);
}

Child::~Child()
{
    CloseHandle(impl_->toChild);
    track(static_cast<DWORD>(impl_->process->id()), nullptr);
    impl_->process.reset();
    CloseHandle(impl_->fromChild);
}

bool Child::send(const std::string& line)
{
    if (impl_->trouble)
        return false;
    if (impl_->process->poll()) {
        impl_->keepLastAnswer();
        return false;
    }
    const std::string number = std::to_string(++impl_->number);
    if (!io::writeAll(static_cast<long>(reinterpret_cast<std::intptr_t>(impl_->toChild)),
                      protocol::frame(impl_->token, number, line) + '\n')) {
        impl_->keepLastAnswer();
        return false;
    }
    const std::optional<protocol::Framed> framed = impl_->next(GetTickCount64() + kAcknowledgeMs);
    if (!framed)
        return false;
    if (framed->number == protocol::kLastAnswer)
        impl_->lastAnswer = framed->line;
    else if (framed->number != number || framed->line != protocol::kAcknowledged) {
        impl_->giveUp(platform::endingWith(platform::Message::channelForeignLine, shown(framed->line).c_str()));
        return false;
    }
    return true;
}

void Child::Impl::keepLastAnswer()
{
    if (!process->poll())
        return;
    while (const std::optional<protocol::Framed> framed = next(0))
        if (framed->number == protocol::kLastAnswer)
            lastAnswer = framed->line;
}

std::optional<std::string> Child::leftAnswer()
{
    return std::exchange(impl_->lastAnswer, std::nullopt);
}

std::optional<std::string> Child::receive()
{
    if (std::optional<std::string> last = std::exchange(impl_->lastAnswer, std::nullopt))
        return last;
    const std::optional<protocol::Framed> framed = impl_->next(0);
    if (!framed)
        return std::nullopt;
    if (framed->number == protocol::kLastAnswer
        || (framed->number == std::to_string(impl_->number) && framed->line != protocol::kAcknowledged))
        return framed->line;
    impl_->giveUp(platform::endingWith(platform::Message::channelForeignLine, shown(framed->line).c_str()));
    return std::nullopt;
}

std::optional<platform::Ending> Child::ending()
{
    // A child whose channel closed while it runs has as long to end as to acknowledge a request.
    for (const ULONGLONG deadline = GetTickCount64() + kAcknowledgeMs; impl_->closed && !impl_->process->poll();) {
        if (GetTickCount64() > deadline)
            impl_->giveUp(platform::endingWith(platform::Message::channelClosedWhileRunning));
        Sleep(kLookMs);
    }
    const platform::isolation::ChildEnd end = impl_->process->wait();
    if (impl_->trouble)
        return impl_->trouble;
    if (end.code == 0)
        return std::nullopt;
    return platform::isolation::describeEnd(end);
}

namespace io {

bool takeChannel(long channel)
{
    DWORD flags = 0;
    return GetHandleInformation(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(channel)), &flags) != 0;
}

bool stillGiven(long channel)
{
    return takeChannel(channel);
}

long readSome(long channel, char* buffer, std::size_t size)
{
    DWORD n = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(channel)), buffer, static_cast<DWORD>(size), &n,
                  nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    return static_cast<long>(n);
}

bool writeAll(long channel, const std::string& text)
{
    DWORD done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(channel)), text.data() + done,
                       static_cast<DWORD>(text.size() - done), &n, nullptr))
            return false;
        done += n;
    }
    return true;
}

void forgetVariable(const char*)
{
    // Kept: the supervisor starts the measuring child afresh, which finds its channel there.
}

} // namespace io

bool standardOutputOpen()
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    return out && out != INVALID_HANDLE_VALUE;
}

std::optional<std::string> refusedSignal()
{
    return std::nullopt; // no process sends another a console event
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
