/* The contract checker's POSIX part: the library loaded with dlopen, its
 * functions told from data by the loaded segments they lie in, and each group
 * run in a worker process under a guard of its own, both forked: the worker
 * runs the group and sends its lines through a pipe placed at a number it
 * chooses at random; the guard, which runs no library code, is the worker's
 * parent, so that a library that stops or signals its parent reaches the guard
 * and not the checker, and ends as the worker ended. The checker reaps every
 * process the worker leaves behind and ends them once the group is over, and
 * refuses signals they send it. */
#define _GNU_SOURCE
#include "tools/verifica-libreria/checker.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

struct CodeQuery {
    ElfW(Addr) base;
    uintptr_t address;
    int found;
};

static int findInCode(struct dl_phdr_info* info, size_t size, void* data)
{
    struct CodeQuery* q = data;
    (void)size;
    if (info->dlpi_addr != q->base)
        return 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)* segment = &info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + segment->p_vaddr;
        if (segment->p_type == PT_LOAD && (segment->p_flags & PF_X) && q->address >= start
            && q->address - start < segment->p_memsz)
            q->found = 1;
    }
    return 1;
}

int isFunction(const struct Library* lib, void* address)
{
    struct link_map* map = NULL;
    if (!address || dlinfo(lib->handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return 0;
    struct CodeQuery query = {map->l_addr, (uintptr_t)address, 0};
    dl_iterate_phdr(findInCode, &query);
    return query.found;
}

/* POSIX's way of storing dlsym's answer in a function pointer. */
#define BIND(var, name) (*(void**)&(var) = dlsym(lib->handle, name))

int loadLibrary(const char* path, struct Library* lib)
{
    memset(lib, 0, sizeof *lib);
    lib->handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib->handle) {
        const char* reason = dlerror();
        const int allocatorMissing = strstr(reason, "undefined symbol: Sys") != NULL;
        childLine("FAIL: cannot load %s: %s%s%s", path, reason, allocatorMissing ? "; " : "",
                  allocatorMissing ? allocatorHint() : "");
        return 0;
    }
    /* The library brings the shared allocator with it. */
    BIND(lib->stringCheck, "sysStringCheck");
    BIND(lib->xrQuendril, "xrQuendril");
    BIND(lib->xrStringToArray, "xrStringToArray");
    BIND(lib->alloc, "SysAllocStringByteLen");
    BIND(lib->release, "SysFreeString");
    BIND(lib->byteLen, "SysStringByteLen");
    return 1;
}

void unloadLibrary(struct Library* lib)
{
    dlclose(lib->handle);
}

const char* fullPathOf(const char* given, char* buffer, size_t size)
{
    (void)size; /* realpath fills at most PATH_MAX, which the callers' buffers hold */
    return realpath(given, buffer);
}

int isRegularFile(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int runAsChild(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    return -1; /* a forked child runs its group without being started again */
}

const char* allocatorHint(void)
{
    return "link the library against the counted-string library, as the kit's link line does: "
           "cc -shared -fPIC -O2 mylib.c $(pkg-config --cflags --libs quendril) -o libquendril.so";
}

const struct Group* systemGroups(size_t* count)
{
    *count = 0;
    return NULL;
}

void pauseMilliseconds(int ms)
{
    struct timespec left = {ms / 1000, (long)(ms % 1000) * 1000000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

static void* idle(void* unused)
{
    (void)unused;
    for (;;)
        pause();
    return NULL;
}

void startIdleThread(void)
{
    pthread_t thread;
    if (pthread_create(&thread, NULL, idle, NULL) == 0)
        pthread_detach(thread);
}

static long long nowMs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/* How long a child may stay stopped before it counts as stopped for good: a
 * terminal's stop and continue reach its parent too, which does not run meanwhile. */
enum { kStopGraceMs = 1000 };
/* How often a child's state is looked at while its lines are awaited. */
enum { kLookMs = 200 };
/* Channels are numbered from here up, above what a process opens at start. */
enum { kLowestChannel = 64 };

static unsigned long randomNumber(void)
{
    unsigned long value = 0;
    if (getrandom(&value, sizeof value, 0) != (ssize_t)sizeof value)
        value = (unsigned long)nowMs() * 2654435761u ^ (unsigned long)getpid();
    return value;
}

void chooseToken(void)
{
    snprintf(lineToken, sizeof lineToken, "%016lx", randomNumber());
}

int threadCount(void)
{
    int threads = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    for (const struct dirent* entry = readdir(tasks); entry; entry = readdir(tasks))
        threads += entry->d_name[0] != '.';
    closedir(tasks);
    return threads;
}

/* The descriptors the process had open before loading the library, and what each referred to. */
enum { kMostNoted = 64 };
static struct Noted {
    int fd;
    dev_t device;
    ino_t inode;
} noted[kMostNoted];
static int notedCount;

void noteDescriptors(void)
{
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return;
    const int own = dirfd(folder);
    notedCount = 0;
    for (const struct dirent* entry = readdir(folder); entry && notedCount < kMostNoted; entry = readdir(folder)) {
        char* end = NULL;
        const long fd = strtol(entry->d_name, &end, 10);
        struct stat st;
        if (*end == '\0' && end != entry->d_name && fd != own && fstat((int)fd, &st) == 0) {
            const struct Noted one = {(int)fd, st.st_dev, st.st_ino};
            noted[notedCount++] = one;
        }
    }
    closedir(folder);
}

int lostDescriptor(void)
{
    for (int i = 0; i < notedCount; ++i) {
        struct stat st;
        if (fstat(noted[i].fd, &st) != 0 || st.st_dev != noted[i].device || st.st_ino != noted[i].inode)
            return noted[i].fd;
    }
    return -1;
}

/* The parent of process id, read from /proc/<id>/stat after the name's last
 * ')'; -1 when it cannot be told. Async-signal-safe. */
static long parentOf(long id)
{
    char path[48];
    char text[1024];
    /* snprintf is not async-signal-safe: the number is written by hand */
    char digits[24];
    int n = 0;
    for (unsigned long v = (unsigned long)id; n == 0 || v > 0; v /= 10)
        digits[n++] = (char)('0' + v % 10);
    memcpy(path, "/proc/", 6);
    int at = 6;
    while (n > 0)
        path[at++] = digits[--n];
    memcpy(path + at, "/stat", 6);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    const char* nameEnd = NULL;
    for (ssize_t i = 0; i < got; ++i)
        if (text[i] == ')')
            nameEnd = text + i;
    if (!nameEnd || nameEnd + 4 >= text + got)
        return -1;
    long parent = 0;
    for (const char* c = nameEnd + 4; c < text + got && *c >= '0' && *c <= '9'; ++c)
        parent = parent * 10 + (*c - '0');
    return parent;
}

/* Whether process id descends from this one. Async-signal-safe. */
static int isOwnDescendant(long id)
{
    const long self = getpid();
    for (int depth = 0; depth < 512 && id > 1; ++depth)
        if ((id = parentOf(id)) == self)
            return 1;
    return 0;
}

/* Ends every descendant of this process, the reaper of them all, until none is left. */
static void endDescendants(void)
{
    for (int found = 1; found;) {
        found = 0;
        DIR* proc = opendir("/proc");
        if (!proc)
            return;
        for (const struct dirent* entry = readdir(proc); entry; entry = readdir(proc)) {
            char* end = NULL;
            const long id = strtol(entry->d_name, &end, 10);
            if (*end == '\0' && id > 0 && parentOf(id) == getpid()) {
                kill((pid_t)id, SIGKILL);
                kill((pid_t)id, SIGCONT);
                waitpid((pid_t)id, NULL, 0);
                found = 1;
            }
        }
        closedir(proc);
    }
}

/* The signals refused so far, one flag each. */
static volatile sig_atomic_t refusedSignals[32];

static void onSignal(int signal, siginfo_t* info, void* context)
{
    (void)context;
    const int sent = info->si_code <= 0 && info->si_pid > 0 && info->si_pid != getpid();
    if (sent && isOwnDescendant(info->si_pid)) {
        refusedSignals[signal] = 1;
        return;
    }
    /* From elsewhere, or a fault of the checker's own: as if it were not handled. */
    struct sigaction usual;
    memset(&usual, 0, sizeof usual);
    usual.sa_handler = SIG_DFL;
    sigaction(signal, &usual, NULL);
    if (info->si_code <= 0 || info->si_code == SI_KERNEL) {
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signal);
        raise(signal);
        sigprocmask(SIG_UNBLOCK, &one, NULL);
        refuseSignalsFromChildren(); /* back from a stop */
    }
}

void refuseSignalsFromChildren(void)
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = onSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal = 1; signal < 32; ++signal)
        if (signal != SIGKILL && signal != SIGSTOP && signal != SIGCHLD && signal != SIGCONT && signal != SIGWINCH
            && signal != SIGURG)
            sigaction(signal, &action, NULL);
}

const char* takeRefusedSignal(void)
{
    for (int signal = 1; signal < 32; ++signal)
        if (refusedSignals[signal]) {
            refusedSignals[signal] = 0;
            const char* name = sigabbrev_np(signal);
            static char named[24];
            snprintf(named, sizeof named, "SIG%s", name ? name : "?");
            return named;
        }
    return NULL;
}

/* The worker: runs the group, its lines into the pipe at a number of its own
 * choosing, its standard output to stderr, a broken pipe an error as in the
 * programs, and ends as a program does, running what the library left for
 * the process's exit. */
static void runWorker(int to, const char* path, size_t i)
{
    signal(SIGPIPE, SIG_IGN);
    struct rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    const long highest = limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 65536 ? 65536 : (long)limit.rlim_cur;
    const int placed = fcntl(to, F_DUPFD_CLOEXEC, (int)(kLowestChannel + randomNumber() % (unsigned long)(highest - kLowestChannel)));
    close(to);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    out = placed >= 0 ? fdopen(placed, "w") : NULL;
    if (out) {
        runGroup(path, groupAt(i));
        fflush(out);
    }
    exit(0);
}

/* Ends this process as status says the worker ended: with its status, or by its signal. */
static void endAsWorker(int status)
{
    if (WIFEXITED(status))
        _exit(WEXITSTATUS(status));
    const int signal = WTERMSIG(status);
    struct sigaction usual;
    memset(&usual, 0, sizeof usual);
    usual.sa_handler = SIG_DFL;
    sigaction(signal, &usual, NULL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    raise(signal);
    sigprocmask(SIG_UNBLOCK, &one, NULL);
    _exit(128 + signal);
}

/* Says on the channel what the worker's processes did, with signal ("sent"
 * the guard, or "stopped" the worker by), ends the worker and ends: the
 * checker reports it. */
static void tell(int to, pid_t worker, const char* what, int signal)
{
    out = fdopen(to, "w");
    const char* name = sigabbrev_np(signal);
    if (out)
        childLine("%s SIG%s", what, name ? name : "?");
    kill(worker, SIGKILL);
    waitpid(worker, NULL, 0);
    _exit(0);
}

/* The guard: the worker's parent, which runs no library code, ends as the
 * worker ends, and says so when the worker stays stopped. It takes every signal
 * as it comes, by sigwaitinfo: one the worker's processes send it is reported
 * on the channel, whatever the signal (a stop the kernel would drop
 * included). No core file is left behind by either. */
static void runGuard(int to, const char* path, size_t i)
{
    const struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    struct sigaction usual;
    memset(&usual, 0, sizeof usual);
    usual.sa_handler = SIG_DFL;
    for (int signal = 1; signal < 32; ++signal)
        sigaction(signal, &usual, NULL);
    sigset_t all, before;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &before);
    const pid_t worker = fork();
    if (worker == 0) {
        sigprocmask(SIG_SETMASK, &before, NULL);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        runWorker(to, path, i);
    }
    if (worker < 0)
        _exit(1);
    int stop = 0;
    for (long long stoppedSince = 0;;) {
        int status = 0;
        const pid_t got = waitpid(worker, &status, WNOHANG | WUNTRACED | WCONTINUED);
        if (got == worker && (WIFEXITED(status) || WIFSIGNALED(status)))
            endAsWorker(status);
        if (got == worker && WIFSTOPPED(status) && !stoppedSince) {
            stop = WSTOPSIG(status);
            stoppedSince = nowMs();
        } else if (got == worker && WIFCONTINUED(status)) {
            stoppedSince = 0;
        }
        if (stoppedSince && nowMs() - stoppedSince >= kStopGraceMs)
            tell(to, worker, "stopped", stop);
        siginfo_t info;
        const struct timespec look = {0, 20 * 1000 * 1000};
        const int signal = stoppedSince ? sigtimedwait(&all, &info, &look) : sigwaitinfo(&all, &info);
        if (signal > 0 && signal != SIGCHLD && info.si_code <= 0 && isOwnDescendant(info.si_pid))
            tell(to, worker, "sent", signal);
    }
}

/* Reads what the pipe holds into output, waiting up to waitMs; 1 when a
 * line break came, so that the group's time starts again. */
static int readInto(int from, struct Output* output, int waitMs)
{
    struct pollfd ready = {from, POLLIN, 0};
    if (poll(&ready, 1, waitMs) <= 0)
        return 0;
    char chunk[4096];
    const ssize_t n = read(from, chunk, sizeof chunk);
    if (n <= 0)
        return 0;
    appendOutput(output, chunk, (size_t)n);
    return memchr(chunk, '\n', (size_t)n) != NULL;
}

/* Once a group's time is up, reads what already waits in the pipe (this
 * process may have been kept from running while it came), up to a few pipes'
 * worth, so that a library that keeps writing cannot hold the checker; 1 when
 * a line break was among it. */
static int readLate(int from, struct Output* output)
{
    enum { kLateReads = 64 };
    int line = 0;
    for (int reads = 0; reads < kLateReads; ++reads) {
        const size_t before = output->length;
        line |= readInto(from, output, 0);
        if (output->length == before)
            break;
    }
    return line;
}

/* Notes a stop or continue of the guard's that status tells: since when it is
 * stopped (0: it runs), and by which signal. */
static void noteStop(int status, long long* stoppedSince, struct ChildEnd* end)
{
    if (WIFSTOPPED(status) && !*stoppedSince) {
        static char stop[24];
        const char* name = sigabbrev_np(WSTOPSIG(status));
        snprintf(stop, sizeof stop, "SIG%s", name ? name : "?");
        *stoppedSince = nowMs();
        end->stop = stop;
    } else if (WIFCONTINUED(status)) {
        *stoppedSince = 0;
    }
}

/* Collects the guard's lines until it has ended, and tells how in end: a
 * group that sends no line for groupSeconds(), or a guard that stays stopped,
 * is ended. Whatever the worker left behind is ended then, before the rest of
 * the lines are read, so that it cannot keep the checker waiting. */
static void collect(int from, pid_t guard, struct Output* output, struct ChildEnd* end)
{
    long long deadline = nowMs() + groupSeconds() * 1000LL;
    long long stoppedSince = 0;
    int status = 0;
    for (;;) {
        const pid_t got = waitpid(guard, &status, WNOHANG | WUNTRACED | WCONTINUED);
        if (got == guard && (WIFEXITED(status) || WIFSIGNALED(status)))
            break;
        if (got == guard)
            noteStop(status, &stoppedSince, end);
        if (!stoppedSince && nowMs() > deadline) {
            /* What came, or an end, while this process was kept from running is no hang. */
            if (readLate(from, output)) {
                deadline = nowMs() + groupSeconds() * 1000LL;
                continue;
            }
            if (waitpid(guard, &status, WNOHANG) == guard)
                break;
        }
        const int timedOut = !stoppedSince && nowMs() > deadline;
        if (timedOut || (stoppedSince && nowMs() - stoppedSince >= kStopGraceMs)) {
            end->timedOut = timedOut;
            kill(guard, SIGKILL);
            waitpid(guard, &status, 0);
            break;
        }
        if (readInto(from, output, kLookMs))
            deadline = nowMs() + groupSeconds() * 1000LL;
    }
    endDescendants();
    char chunk[4096];
    fcntl(from, F_SETFL, O_NONBLOCK);
    for (ssize_t n = read(from, chunk, sizeof chunk); n > 0; n = read(from, chunk, sizeof chunk))
        appendOutput(output, chunk, (size_t)n);
    if (!stoppedSince || end->timedOut)
        end->stop = NULL;
    if (!end->stop && !end->timedOut) {
        end->fault = WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : NULL;
        end->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
}

int runIsolated(const char* path, size_t i, struct Output* output, struct ChildEnd* end)
{
    int channel[2];
    if (pipe(channel) != 0) {
        fail(groupAt(i)->name, "cannot make a pipe: ", strerror(errno));
        return 0;
    }
    fflush(stderr);
    const pid_t guard = fork();
    if (guard < 0) {
        fail(groupAt(i)->name, "cannot start a child process: ", strerror(errno));
        close(channel[0]);
        close(channel[1]);
        return 0;
    }
    if (guard == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close(channel[0]);
        runGuard(channel[1], path, i);
    }
    close(channel[1]);
    collect(channel[0], guard, output, end);
    close(channel[0]);
    return 1;
}
