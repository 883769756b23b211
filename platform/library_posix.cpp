// Library binding on POSIX systems through dlopen and dlsym. The given folder
// is tried by absolute path; the standard search (LD_LIBRARY_PATH, the
// program's run path, the loader's cache, the system folders) comes after it
// and does not include the current directory; the last folder, if any, is
// tried by absolute path once the standard search has found nothing. Only a regular file (or a link
// to one) is ever opened: opening a FIFO would block for ever. Loading is
// rehearsed in a child process; a fault later on, inside a call or not, takes
// the process's one fatal fault path (fatal_fault_posix.cpp).
#include "platform/library.h"

#include "platform/fault_activity.h"
#include "platform/fault_report.h"
#include "platform/runtime_error.h"
#include "platform/system_error.h"

#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

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
    raiseLibraryNotLoadable(path, "non è un file regolare");
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

// Whether address, found for an exported name, lies in executable code of the
// library handle: a function, or what an indirect function resolved to, and
// not data.
bool inExecutableCode(void* handle, const void* address)
{
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return false;
    struct Query {
        ElfW(Addr) base;
        std::uintptr_t address;
        bool found;
    } query{map->l_addr, reinterpret_cast<std::uintptr_t>(address), false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto& q = *static_cast<Query*>(data);
            if (info->dlpi_addr != q.base)
                return 0;
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X) && q.address >= start
                    && q.address - start < segment.p_memsz)
                    q.found = true;
            }
            return 1;
        },
        &query);
    return query.found;
}

// How a child that loaded the library ends when loading returned.
constexpr int kProbeLoaded = 97;

// Loads path in a child process first: a constructor that faults (even with
// every signal blocked, which no handler survives) or ends the process is
// error 51 here, before the program itself runs it.
void probeLoading(const std::string& path, const std::string& fileName)
{
    const pid_t child = fork();
    if (child == 0) {
        for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS})
            std::signal(signal, SIG_DFL);
        dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        _exit(kProbeLoaded); // a library that could not be loaded is told by the real attempt
    }
    if (child < 0)
        return; // no child to spare: the library is loaded without the rehearsal
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::string fault;
    if (WIFSIGNALED(status))
        fault = sigdescr_np(WTERMSIG(status));
    else if (WIFEXITED(status) && WEXITSTATUS(status) != kProbeLoaded)
        fault = "ha terminato il processo con stato " + std::to_string(WEXITSTATUS(status));
    if (!fault.empty())
        throw RuntimeError(kInternalError, faultReport::description(fileName.c_str(), nullptr, true, fault.c_str()));
}

// The program's signal mask and open files from before its library was first
// loaded: what every later call must leave as it found it.
sigset_t programMask;
struct OpenFile {
    int fd;
    dev_t device;
    ino_t inode;
};
std::vector<OpenFile> programFiles;
bool programStateTaken = false;

void takeProgramState()
{
    if (programStateTaken)
        return;
    programStateTaken = true;
    pthread_sigmask(SIG_SETMASK, nullptr, &programMask);
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return; // no list of descriptors to watch
    const int own = dirfd(folder);
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        struct stat st{};
        if (*end == '\0' && end != entry->d_name && fd != own && fstat(static_cast<int>(fd), &st) == 0)
            programFiles.push_back({static_cast<int>(fd), st.st_dev, st.st_ino});
    }
    closedir(folder);
}

// The first of the program's descriptors that no longer refers to its file; -1 if none.
int lostDescriptor()
{
    for (const OpenFile& file : programFiles) {
        struct stat st{};
        if (fstat(file.fd, &st) != 0 || st.st_dev != file.device || st.st_ino != file.inode)
            return file.fd;
    }
    return -1;
}

// Opens path as the program's own: rehearsed first, marked for the fault
// handler while the constructor runs, and followed by the program's own
// signal mask and fault handlers again, whatever the constructor changed.
void* openLibrary(const std::string& path, const std::string& fileName, int flags)
{
    probeLoading(path, fileName);
    takeProgramState();
    const sigset_t mask = programMask;
    activity::setLibrary(fileName.c_str());
    activity::setLoading(true);
    void* handle = dlopen(path.c_str(), flags);
    activity::setLoading(false);
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    activity::restoreFaultHandlers();
    return handle;
}

// The library fileName in folder, opened as the program's own; null when nothing is there.
void* openIn(const std::string& folder, const std::string& fileName)
{
    const std::string path = folder + '/' + fileName;
    switch (lookAt(path)) {
    case Found::RegularFile:
        if (void* handle = openLibrary(path, fileName, RTLD_NOW | RTLD_LOCAL))
            return handle;
        raiseLibraryNotLoadable(path, lastLoaderError());
    case Found::SomethingElse:
        raiseNotRegular(path);
    case Found::Nothing:
        break;
    }
    return nullptr;
}

} // namespace

std::string libraryFileName(const std::string& name)
{
    return "lib" + name + ".so";
}

// A loaded library stays loaded: its destructors run, if at all, when the process ends.
Library::~Library() = default;

void Library::load()
{
    const std::string local = folder_ + '/' + fileName_;
    if ((handle_ = openIn(folder_, fileName_)))
        return;
    // A name with a slash would be taken relative to the current directory.
    if (fileName_.find('/') != std::string::npos)
        raiseLibraryNotFound(local);
    if (const std::string irregular = irregularOnLibraryPath(fileName_); !irregular.empty())
        raiseNotRegular(irregular);
    handle_ = openLibrary(fileName_, fileName_, RTLD_NOW | RTLD_LOCAL);
    if (handle_)
        return;
    const std::string reason = lastLoaderError();
    // The loader names the file it could not open and ends with the system's
    // reason; a missing dependency is named instead of our file.
    if (reason.starts_with(fileName_ + ':') && reason.ends_with(systemReason(ENOENT))) {
        if (!lastFolder_.empty() && (handle_ = openIn(lastFolder_, fileName_)))
            return;
        raiseNotFound("nei percorsi di sistema", reason);
    }
    raiseLibraryNotLoadable(fileName_, reason);
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
    if (!inExecutableCode(handle_, address))
        raiseNotAFunction(name);
    return address;
}
void Library::reclaimProgramState() const
{
    if (!handle_)
        return;
    pthread_sigmask(SIG_SETMASK, &programMask, nullptr);
    activity::restoreFaultHandlers();
    if (const int fd = lostDescriptor(); fd >= 0)
        reportDescriptorLost(fd);
}

void Library::callGuarded(const char* function, void (*call)(void*), void* context)
{
    const char* const outer = activity::setCalling(function);
    call(context);
    activity::setCalling(outer);
}

} // namespace platform
