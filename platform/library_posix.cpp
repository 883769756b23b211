// Library binding on POSIX systems through dlopen and dlsym. The given folder
// is tried by absolute path; the standard search (LD_LIBRARY_PATH, the
// program's run path, the loader's cache, the system folders) comes after it
// and does not include the current directory; the last folder, if any, is
// tried by absolute path once the standard search has found nothing. Only a regular file (or a link
// to one) is ever opened: opening a FIFO would block for ever. Loading is
// rehearsed in a small program of its own (load_rehearsal.h), started ahead
// when the program asks (prepare), so that the first call only waits for the
// outcome; a fault later
// on, inside a call or not, takes the process's one fatal fault path
// (fatal_fault_posix.cpp).
#include "platform/library.h"

#include "platform/ending.h"
#include "platform/fault_activity.h"
#include "platform/fault_report.h"
#include "platform/folders.h"
#include "platform/isolation/child_process.h"
#include "platform/isolation/load_rehearsal.h"
#include "platform/runtime_error.h"
#include "platform/system_error.h"

#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

namespace {

// The loader's reason for its last failure.
Wording lastLoaderError()
{
    const char* e = dlerror();
    return e ? verbatim(e) : Wording{Message::unknownReason, {}};
}

enum class Found { Nothing, RegularFile, SomethingElse };

Found lookAt(const std::string& path)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0)
        return Found::Nothing;
    return S_ISREG(st.st_mode) ? Found::RegularFile : Found::SomethingElse;
}

// fileName in folder, one slash between them however folder ends ("/" included).
std::string inFolder(const std::string& folder, const std::string& fileName)
{
    return folder.ends_with('/') ? folder + fileName : folder + '/' + fileName;
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
        const std::string path = inFolder(folder, fileName);
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

// The rehearsal program's path as set for the tests; empty for the default.
std::string& rehearsalProgramPath()
{
    static std::string path;
    return path;
}

// The rehearsal program: the one set, or the one beside the running program;
// empty when the running program's folder cannot be told.
std::string rehearsalProgram()
{
    if (!rehearsalProgramPath().empty())
        return rehearsalProgramPath();
    try {
        return programFolder() + "/" VC_REHEARSAL_PROGRAM;
    } catch (const RuntimeError&) {
        return {};
    }
}

// Starts the rehearsal program on path with reportFd as its report
// descriptor, nothing else of the program's but descriptors 0-2, and default
// signal dispositions and an empty mask; none when it cannot be started.
std::optional<isolation::ChildProcess> spawnRehearsal(const std::string& path, int reportFd)
{
    const std::string program = rehearsalProgram();
    if (program.empty())
        return std::nullopt;
    try {
        return isolation::ChildProcess({program, {path}, {{reportFd, rehearsal::kReportDescriptor}}, {},
                                        isolation::StandardStreams::Inherited, Message::cannotStartLoadRehearsal});
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The same in a forked copy of the program, for when the rehearsal program
// cannot be started; none when no child can be made.
std::optional<isolation::ChildProcess> forkRehearsal(const std::string& path, int reportFd)
{
    const pid_t child = fork();
    if (child == 0) {
        rehearsal::loadAndReport(path.c_str(), reportFd);
        _exit(0);
    }
    if (child < 0)
        return std::nullopt;
    return isolation::ChildProcess::adopt(child);
}

// How loading ended in the rehearsal: none when it loaded and ended with
// status 0, otherwise how its process ended (stopped, for one that stayed stopped).
using Outcome = std::optional<Ending>;

// Waits for the rehearsal child and tells how it ended. The report is read
// only once the child has ended, so that a process the library leaves behind
// holding the pipe cannot keep the program waiting.
Outcome rehearsalOutcome(isolation::ChildProcess& child, int reportFd)
{
    const isolation::ChildEnd end = child.wait();
    char report[16] = {};
    ssize_t got = 0;
    fcntl(reportFd, F_SETFL, O_NONBLOCK);
    while ((got = read(reportFd, report, sizeof report)) < 0 && errno == EINTR) {
    }
    const bool loaded = got > 0 && std::string_view(report, static_cast<std::size_t>(got)) == rehearsal::kLoadedReport;
    if (!loaded || end.way != isolation::ChildEnd::Way::Exited || end.code != 0)
        return isolation::describeEnd(end);
    return std::nullopt;
}

// A rehearsal under way: its child and the descriptor its report arrives on.
struct Rehearsal {
    std::shared_ptr<isolation::ChildProcess> child;
    int report = -1;
};

// Starts loading path in another process; no child when none can be made, and
// then the library is loaded without the rehearsal.
Rehearsal startRehearsal(const std::string& path)
{
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return {};
    // Above the report descriptor, so that placing it there is a true copy.
    const int writeEnd = fcntl(report[1], F_DUPFD_CLOEXEC, rehearsal::kReportDescriptor + 1);
    close(report[1]);
    std::optional<isolation::ChildProcess> child;
    if (writeEnd >= 0 && !(child = spawnRehearsal(path, writeEnd)))
        child = forkRehearsal(path, writeEnd);
    if (writeEnd >= 0)
        close(writeEnd);
    if (!child) {
        close(report[0]);
        return {};
    }
    return {std::make_shared<isolation::ChildProcess>(std::move(*child)), report[0]};
}

// How the rehearsal ended, as rehearsalOutcome tells it; its descriptor is closed.
Outcome finishRehearsal(const Rehearsal& r)
{
    if (!r.child)
        return std::nullopt;
    const Outcome fault = rehearsalOutcome(*r.child, r.report);
    close(r.report);
    return fault;
}

// What makes a file another: a rehearsal of the old one does not stand for it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    bool operator==(const FileIdentity& o) const
    {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec
            && modified.tv_nsec == o.modified.tv_nsec;
    }
};

// The identity of the file at path; all zero for a bare name, which the
// system's search resolves, or a path with nothing there.
FileIdentity identityOf(const std::string& path)
{
    struct stat st{};
    if (path.find('/') == std::string::npos || stat(path.c_str(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

// Rehearsals started ahead of the first call (Library::prepare), by what they load.
struct EarlyRehearsal {
    std::string path;
    FileIdentity file;
    Rehearsal rehearsal;
    std::optional<Outcome> outcome; // once waited for
};
std::mutex earlyMutex;
std::vector<EarlyRehearsal> earlyRehearsals;

void startEarly(const std::string& path)
{
    const std::lock_guard lock(earlyMutex);
    for (const EarlyRehearsal& early : earlyRehearsals)
        if (early.path == path)
            return;
    const FileIdentity file = identityOf(path);
    if (Rehearsal r = startRehearsal(path); r.child)
        earlyRehearsals.push_back({path, file, std::move(r), std::nullopt});
}

// The rehearsal started ahead for path, taken off the list; none if there is none.
std::optional<EarlyRehearsal> takeEarly(const std::string& path)
{
    const std::lock_guard lock(earlyMutex);
    const auto it = std::find_if(earlyRehearsals.begin(), earlyRehearsals.end(),
                                 [&](const EarlyRehearsal& early) { return early.path == path; });
    if (it == earlyRehearsals.end())
        return std::nullopt;
    EarlyRehearsal early = *it;
    earlyRehearsals.erase(it);
    return early;
}

// How loading path ended in another process: as the rehearsal started ahead
// told it, if the file is still the one it loaded; otherwise as a fresh one
// tells it, once the outdated one has ended.
Outcome rehearsalOutcomeFor(const std::string& path)
{
    if (const std::optional<EarlyRehearsal> early = takeEarly(path)) {
        if (early->file == identityOf(path))
            return early->outcome ? *early->outcome : finishRehearsal(early->rehearsal);
        if (!early->outcome)
            finishRehearsal(early->rehearsal);
    }
    return finishRehearsal(startRehearsal(path));
}

// Whether fd carries the report of a rehearsal started ahead: the program's, not the library's to keep.
bool isEarlyReport(int fd)
{
    const std::lock_guard lock(earlyMutex);
    for (const EarlyRehearsal& early : earlyRehearsals)
        if (!early.outcome && early.rehearsal.report == fd)
            return true;
    return false;
}

// Loads path in another process first, unless that was started ahead on the
// same file: a constructor that faults (even with every signal blocked, which
// no handler survives), only with threads alive, or ends the process is error
// 51 here, before the program itself runs it.
void probeLoading(const std::string& path, const std::string& fileName)
{
    if (const Outcome fault = rehearsalOutcomeFor(path)) {
        const MessageView reason = fault->view();
        throw RuntimeError(kInternalError, faultReport::faultMessage({fileName.c_str(), nullptr, true, false}),
                           &reason);
    }
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
        if (*end == '\0' && end != entry->d_name && fd != own && !isEarlyReport(static_cast<int>(fd)) && fstat(static_cast<int>(fd), &st) == 0)
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
    const std::string path = inFolder(folder, fileName);
    switch (lookAt(path)) {
    case Found::RegularFile:
        if (void* handle = openLibrary(path, fileName, RTLD_NOW | RTLD_LOCAL))
            return handle;
        raiseLibraryNotLoadable(path, lastLoaderError());
    case Found::SomethingElse:
        raiseLibraryNotRegular(path);
    case Found::Nothing:
        break;
    }
    return nullptr;
}

} // namespace

void rehearsal::setProgram(std::string path)
{
    rehearsalProgramPath() = std::move(path);
}

std::string libraryFileName(const std::string& name)
{
    return "lib" + name + ".so";
}

// A loaded library stays loaded: its destructors run, if at all, when the process ends.
Library::~Library() = default;

void Library::load()
{
    const std::string local = inFolder(folder_, fileName_);
    if ((handle_ = openIn(folder_, fileName_)))
        return;
    // A name with a slash would be taken relative to the current directory.
    if (fileName_.find('/') != std::string::npos)
        raiseLibraryNotFound(local);
    if (const std::string irregular = irregularOnLibraryPath(fileName_); !irregular.empty())
        raiseLibraryNotRegular(irregular);
    handle_ = openLibrary(fileName_, fileName_, RTLD_NOW | RTLD_LOCAL);
    if (handle_)
        return;
    Wording reason = lastLoaderError();
    const std::string said = reason.arguments.empty() ? std::string() : reason.arguments.front();
    // The loader names the file it could not open and ends with the system's
    // reason; a missing dependency is named instead of our file.
    if (said.starts_with(fileName_ + ':') && said.ends_with(std::strerror(ENOENT))) {
        if (!lastFolder_.empty() && (handle_ = openIn(lastFolder_, fileName_)))
            return;
        raiseNotFound(Message::libraryNotFoundInSearchPath, std::move(reason));
    }
    raiseLibraryNotLoadable(fileName_, std::move(reason));
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

void Library::prepare() noexcept
{
    if (handle_)
        return;
    // What load() would try, in its order: the folder's file if there is one;
    // otherwise the system's search and, for when that finds nothing, the last folder's.
    try {
        if (const std::string local = inFolder(folder_, fileName_); lookAt(local) == Found::RegularFile) {
            startEarly(local);
            return;
        }
        if (fileName_.find('/') != std::string::npos)
            return;
        startEarly(fileName_);
        if (const std::string last = inFolder(lastFolder_, fileName_);
            !lastFolder_.empty() && lookAt(last) == Found::RegularFile)
            startEarly(last);
    } catch (const std::exception&) {
        // Not tried ahead: the first call tries it.
    }
}

void Library::waitUntilPrepared() noexcept
{
    const std::lock_guard lock(earlyMutex);
    for (EarlyRehearsal& early : earlyRehearsals)
        if (!early.outcome)
            early.outcome = finishRehearsal(early.rehearsal);
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
