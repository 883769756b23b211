// Library binding on POSIX systems through dlopen and dlsym. The given folder
// is tried by absolute path; the standard search (LD_LIBRARY_PATH, the
// program's run path, the loader's cache, the system folders) comes after it
// and does not include the current directory. Only a regular file (or a link
// to one) is ever opened: opening a FIFO would block for ever.
#include "platform/library.h"

#include "platform/runtime_error.h"
#include "platform/system_error.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>

namespace platform {

namespace {

std::string lastLoaderError()
{
    const char* e = dlerror();
    return e ? e : "motivo sconosciuto";
}

enum class Found { Nothing, RegularFile, SomethingElse };

Found lookAt(const std::string& path)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0)
        return Found::Nothing;
    return S_ISREG(st.st_mode) ? Found::RegularFile : Found::SomethingElse;
}

[[noreturn]] void raiseNotRegular(const std::string& path)
{
    throw RuntimeError(kLibraryNotLoadable,
                       "impossibile caricare la libreria '" + path + "': non è un file regolare");
}

// The first entry of LD_LIBRARY_PATH holding something named fileName that is
// not a regular file, which the standard search would try to open; empty if none.
std::string irregularOnLibraryPath(const std::string& fileName)
{
    const char* list = std::getenv("LD_LIBRARY_PATH");
    std::string_view rest = list ? list : "";
    while (!rest.empty()) {
        const auto end = rest.find_first_of(":;");
        const std::string folder(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (folder.empty())
            continue;
        const std::string path = folder + '/' + fileName;
        const Found found = lookAt(path);
        if (found == Found::RegularFile)
            return {};
        if (found == Found::SomethingElse)
            return path;
    }
    return {};
}

// Whether address, found for an exported name, is the start of a function rather than data.
bool isFunction(void* address)
{
    Dl_info info{};
    ElfW(Sym)* symbol = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void**>(&symbol), RTLD_DL_SYMENT) || !symbol)
        return false;
    const unsigned type = ELF64_ST_TYPE(symbol->st_info);
    return type == STT_FUNC || type == STT_GNU_IFUNC;
}

// The signals a faulting library call raises.
constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};
// Room for the handler when the library has used up the thread's own stack.
constexpr std::size_t kAlternateStackBytes = 256 * 1024;

struct sigaction previousActions[std::size(kFaults)];
thread_local sigjmp_buf* faultReturn = nullptr;
thread_local volatile sig_atomic_t faultSignal = 0;

// Inside a guarded call, a fault goes back to the call's start. Outside one
// it is handled as it was before the guard existed: the previous disposition
// is put back and the signal raised again.
void onFault(int signal)
{
    if (faultReturn) {
        faultSignal = signal;
        siglongjmp(*faultReturn, 1);
    }
    for (std::size_t i = 0; i < std::size(kFaults); ++i)
        if (kFaults[i] == signal)
            sigaction(signal, &previousActions[i], nullptr);
    raise(signal);
}

// Installs the fault handlers once per process, and an alternate stack once
// per thread that has none, so that no call pays for them.
void prepareFaultHandling()
{
    static const bool installed = [] {
        struct sigaction action{};
        action.sa_handler = onFault;
        action.sa_flags = SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kFaults); ++i)
            sigaction(kFaults[i], &action, &previousActions[i]);
        return true;
    }();
    (void)installed;
    thread_local const bool stackReady = [] {
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
            return true; // the thread's own alternate stack serves
        static thread_local std::unique_ptr<char[]> memory(new char[kAlternateStackBytes]);
        stack_t stack{};
        stack.ss_sp = memory.get();
        stack.ss_size = kAlternateStackBytes;
        return sigaltstack(&stack, nullptr) == 0;
    }();
    (void)stackReady;
}

} // namespace

Library::~Library()
{
    if (handle_)
        dlclose(handle_);
}

void Library::load()
{
    const std::string local = folder_ + '/' + fileName_;
    switch (lookAt(local)) {
    case Found::RegularFile:
        handle_ = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            throw RuntimeError(kLibraryNotLoadable, "impossibile caricare la libreria '" + local
                                                        + "': " + lastLoaderError());
        return;
    case Found::SomethingElse:
        raiseNotRegular(local);
    case Found::Nothing:
        break;
    }
    // A name with a slash would be taken relative to the current directory.
    if (fileName_.find('/') != std::string::npos)
        throw RuntimeError(kFileNotFound, "impossibile trovare la libreria '" + local + "'");
    if (const std::string irregular = irregularOnLibraryPath(fileName_); !irregular.empty())
        raiseNotRegular(irregular);
    handle_ = dlopen(fileName_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_)
        return;
    const std::string reason = lastLoaderError();
    // The loader names the file it could not open and ends with the system's
    // reason; a missing dependency is named instead of our file.
    if (reason.starts_with(fileName_ + ':') && reason.ends_with(systemReason(ENOENT)))
        throw RuntimeError(kFileNotFound, "impossibile trovare la libreria '" + fileName_
                                              + "' in '" + folder_ + "' né nei percorsi di sistema: "
                                              + reason);
    throw RuntimeError(kLibraryNotLoadable,
                       "impossibile caricare la libreria '" + fileName_ + "': " + reason);
}

std::string Library::loadedPath() const
{
    link_map* map = nullptr;
    if (!handle_ || dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return {};
    // The loader keeps the name it opened, which a relative search path leaves relative.
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(map->l_name, nullptr), &std::free);
    return real ? std::string(real.get()) : std::string(map->l_name);
}

void* Library::resolve(const char* name)
{
    if (!handle_)
        load();
    dlerror();
    void* address = dlsym(handle_, name);
    if (!address)
        raiseNoSuchFunction(name, lastLoaderError());
    if (!isFunction(address))
        raiseNoSuchFunction(name, "il simbolo esportato non è una funzione");
    return address;
}
void Library::callGuarded(const char* function, void (*call)(void*), void* context)
{
    prepareFaultHandling();
    sigjmp_buf here;
    sigjmp_buf* const outer = faultReturn;
    faultReturn = &here;
    int fault = 0;
    if (sigsetjmp(here, 0) == 0) {
        call(context);
    } else {
        fault = faultSignal;
        // The jump left the handler with its signal still blocked.
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, fault);
        sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
    }
    faultReturn = outer;
    if (fault)
        throw RuntimeError(kInternalError, std::string("la funzione '") + function + "' della libreria '"
                                               + fileName_ + "' si è interrotta: " + strsignal(fault));
}

} // namespace platform
