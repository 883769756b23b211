// Library binding on Windows through LoadLibraryExW and GetProcAddress. The
// given folder is tried first, then the system folder, then the last folder if
// one is given; the current directory
// and PATH never are. A library loaded from a folder finds its own
// dependencies beside it and in the system folder only. A structured
// exception (or the C runtime's abort) inside a library call is turned into a
// numbered error: a vectored handler resumes the program where the call began.
// A fault outside a call (on the library's thread, say) takes the process's
// fatal fault path (fatal_fault_win.cpp).
#include "platform/library.h"

#include "platform/cpu_win.h"
#include "platform/ending.h"
#include "platform/fault_activity.h"
#include "platform/fault_codes_win.h"
#include "platform/fault_report.h"
#include "platform/load_failure_win.h"
#include "platform/runtime_error.h"
#include "platform/system_error.h"
#include "platform/wide_win.h"

#include <windows.h>

#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <utility>

namespace platform {

namespace {

constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

// folder\name with the system's separators.
std::string joined(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    path += name;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Whether path names a file (not a folder); otherwise lastError holds why not.
bool isFile(const std::string& path, DWORD& lastError)
{
    const DWORD attributes = GetFileAttributesW(win::wide(path).c_str());
    lastError = GetLastError();
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string systemFolder()
{
    wchar_t buf[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? win::utf8(std::wstring(buf, n)) : std::string("C:\\Windows\\System32");
}

// Where a faulting call resumes: the state __builtin_setjmp keeps (frame
// pointer, resume address, stack pointer, and two words GCC reserves).
struct Guard {
    void* resume[5];
    DWORD code = 0;
};

thread_local Guard* activeGuard = nullptr;

// Resumes a faulting guarded call at its start, with the system's dispatch of
// the exception completed: the context is the one __builtin_setjmp kept.
LONG CALLBACK onException(EXCEPTION_POINTERS* e)
{
    Guard* guard = activeGuard;
    if (!guard || !win::isFault(e->ExceptionRecord->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    activeGuard = nullptr;
    guard->code = e->ExceptionRecord->ExceptionCode;
    win::resumeAt(*e->ContextRecord, guard->resume);
    return EXCEPTION_CONTINUE_EXECUTION;
}

void onAbort(int)
{
    Guard* guard = activeGuard;
    if (!guard)
        return;
    activeGuard = nullptr;
    guard->code = kAbortCode;
    __builtin_longjmp(guard->resume, 1);
}

} // namespace

std::string libraryFileName(const std::string& name)
{
    return name + ".dll";
}

// A loaded library stays loaded: its detach code runs, if at all, when the process ends.
Library::~Library() = default;

void Library::load()
{
    DWORD lookup = 0;
    std::string path = joined(folder_, fileName_);
    // A name with a folder or drive would be taken relative to the current directory.
    const bool plainName = fileName_.find_first_of("\\/:") == std::string::npos;
    if (!isFile(path, lookup) && plainName)
        path = joined(systemFolder(), fileName_);
    // The last folder only once the system folder has nothing, keeping the first lookup's reason.
    DWORD lastLookup = 0;
    bool found = isFile(path, lookup);
    if (!found && plainName && !lastFolder_.empty() && isFile(joined(lastFolder_, fileName_), lastLookup)) {
        path = joined(lastFolder_, fileName_);
        found = true;
    }
    if (!found)
        raiseNotFound(Message::libraryNotFoundInSystemFolder, systemReason(lookup));
    activity::setLibrary(fileName_.c_str());
    activity::setLoading(true);
    handle_ = LoadLibraryExW(win::wide(path).c_str(), nullptr, kSearch);
    // Read at once: the calls below may change it.
    const DWORD err = handle_ ? ERROR_SUCCESS : GetLastError();
    activity::setLoading(false);
    activity::restoreFaultHandlers();
    if (!handle_)
        raiseLibraryNotLoadable(path, win::loadFailure(path, err));
}

// A call can take nothing from the program here that the fault guard does not
// put back but the unhandled-exception filter and the abort handler.
// Loading is not tried in another process here: a fault in a constructor is caught in place.
void Library::prepare() noexcept {}

void Library::waitUntilPrepared() noexcept {}

void Library::reclaimProgramState() const
{
    if (handle_)
        activity::restoreFaultHandlers();
}

std::string Library::loadedPath() const
{
    if (!handle_)
        return {};
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(static_cast<HMODULE>(handle_), buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size())
            return win::utf8(buf.substr(0, n));
        buf.resize(buf.size() * 2);
    }
}

void* Library::resolve(const char* name)
{
    if (!handle_)
        load();
    const FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
    if (!address) {
        const DWORD err = GetLastError();
        raiseNoSuchFunction(name, systemReason(err));
    }
    MEMORY_BASIC_INFORMATION memory{};
    constexpr DWORD kExecutable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (!VirtualQuery(reinterpret_cast<void*>(address), &memory, sizeof memory) || !(memory.Protect & kExecutable))
        raiseNotAFunction(name);
    return reinterpret_cast<void*>(address);
}
void Library::callGuarded(const char* function, void (*call)(void*), void* context)
{
    static const PVOID handler = AddVectoredExceptionHandler(1, onException);
    (void)handler;
    Guard guard;
    Guard* const outer = activeGuard;
    void* const chain = win::exceptionChain();
    const auto previousAbort = std::signal(SIGABRT, onAbort);
    const char* const outerCall = activity::setCalling(function);
    if (__builtin_setjmp(guard.resume) == 0) {
        activeGuard = &guard;
        call(context);
    } else {
        win::setExceptionChain(chain);
        // The overflow used up the stack's guard page; without it the next one would end the process.
        if (guard.code == EXCEPTION_STACK_OVERFLOW)
            _resetstkoflw();
        activity::markFaulted();
    }
    activeGuard = outer;
    activity::setCalling(outerCall);
    std::signal(SIGABRT, previousAbort);
    if (guard.code) {
        const Ending fault = endingOfException(guard.code);
        const MessageView reason = fault.view();
        throw RuntimeError(kInternalError, faultReport::faultMessage({fileName_.c_str(), function, false, false}),
                           &reason);
    }
}

} // namespace platform
