/* The contract checker's POSIX part: the library loaded with dlopen, its
 * functions told from data by the loaded segments they lie in, and each group
 * run in a forked child whose lines come back through a pipe. */
#define _GNU_SOURCE
#include "tools/verifica-libreria/checker.h"

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <link.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
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
        fprintf(out, "FAIL: cannot load %s: %s%s%s\n", path, reason, allocatorMissing ? "; " : "",
                allocatorMissing ? allocatorHint() : "");
        fflush(out);
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

/* Reads what the child writes into output until it closes the pipe; 0 when
 * the group's time ran out first. Once the time is up, what the child wrote
 * before, and its end, may still wait unread (this process was kept from
 * running): that is read, up to a few pipes' worth, so that a library that
 * keeps writing cannot hold the checker. */
static int collect(int from, struct Output* output)
{
    enum { kLateReads = 64 };
    const long long deadline = nowMs() + groupSeconds() * 1000LL;
    char chunk[4096];
    int lateReads = 0;
    for (;;) {
        const long long left = deadline - nowMs();
        struct pollfd wait = {from, POLLIN, 0};
        const int ready = poll(&wait, 1, left > 0 ? (int)left : 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (left <= 0 && ++lateReads > kLateReads))
            return 0;
        const ssize_t n = read(from, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 1;
        appendOutput(output, chunk, (size_t)n);
    }
}

/* The child: runs the group, its lines into the pipe, and ends without
 * running anything the library registered for the process's exit. */
static void runChild(int to, const char* path, size_t i)
{
    out = fdopen(to, "w");
    if (out) {
        runGroup(path, groupAt(i));
        fflush(out);
    }
    _exit(0);
}

int runIsolated(const char* path, size_t i, struct Output* output, struct ChildEnd* end)
{
    int channel[2];
    if (pipe(channel) != 0) {
        fail(groupAt(i)->name, "cannot make a pipe: ", strerror(errno));
        return 0;
    }
    const pid_t child = fork();
    if (child < 0) {
        fail(groupAt(i)->name, "cannot start a child process: ", strerror(errno));
        close(channel[0]);
        close(channel[1]);
        return 0;
    }
    if (child == 0) {
        close(channel[0]);
        runChild(channel[1], path, i);
    }
    close(channel[1]);
    end->timedOut = !collect(channel[0], output);
    close(channel[0]);
    if (end->timedOut)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    end->fault = WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : NULL;
    end->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return 1;
}
