/* An outside program in plain C, as another maker would write it: loads the
 * conversion library by path, finds its two functions and the counted-string
 * allocator by name, and checks the library's contract both ways, refusing
 * what the programs refuse (data under a function's name, strings that are
 * not live counted strings). Each group of checks runs in a child process of
 * its own, which loads and unloads the library, so that a fault, an abort, an
 * early exit or a hang becomes a FAIL line; on Windows the child is the
 * checker itself, started again with a hidden argument naming the group and
 * the pipe its lines go to. On 32-bit Windows it also checks that each call
 * leaves the stack as the standard calling convention requires (the callee
 * removes its arguments). */
#ifndef _WIN32
#define _GNU_SOURCE
#endif
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <io.h>
#include <signal.h>
#include <windows.h>

#include "platform/fault_codes_win.h"
#define CALL __stdcall
#else
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <link.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#define CALL
#endif

static const char usage[] =
    "Usage: verifica-libreria LIBRARY\n"
    "Checks that LIBRARY (a path, or a file name in the current folder) keeps the\n"
    "conversion library's contract. Prints one line per check; exits with status 0\n"
    "when every check passed, 1 otherwise.\n";

typedef uint16_t* BSTR;
typedef BSTR(CALL* XrQuendril)(const uint8_t*, int32_t);
typedef int32_t(CALL* XrStringToArray)(BSTR*, uint8_t*);
typedef BSTR(CALL* AllocByteLen)(const char*, uint32_t);
typedef void(CALL* FreeString)(BSTR);
typedef uint32_t(CALL* ByteLen)(BSTR);
typedef int (*StringCheck)(BSTR);

#if defined(_WIN32) && defined(__i386__)
/* Calls fn(a, b) with two 32-bit arguments and stores in *imbalance how far
 * the stack pointer moved across the call: 0 when the callee removed its
 * arguments, -8 when it left them to the caller. */
typedef void (*AnyFunction)(void);
uint32_t callTwo(AnyFunction fn, uint32_t a, uint32_t b, int32_t* imbalance);
__asm__(".text\n"
        ".globl _callTwo\n"
        "_callTwo:\n"
        "  pushl %ebp\n"
        "  movl %esp, %ebp\n"
        "  pushl %esi\n"
        "  movl %esp, %esi\n"
        "  pushl 16(%ebp)\n"
        "  pushl 12(%ebp)\n"
        "  call *8(%ebp)\n"
        "  movl %esp, %ecx\n"
        "  subl %esi, %ecx\n"
        "  movl 20(%ebp), %edx\n"
        "  movl %ecx, (%edx)\n"
        "  movl %esi, %esp\n"
        "  popl %esi\n"
        "  popl %ebp\n"
        "  ret\n");
#endif

/* The library as a group of checks sees it. */
struct Library {
#ifdef _WIN32
    HMODULE handle;
#else
    void* handle;
#endif
    XrQuendril xrQuendril;
    XrStringToArray xrStringToArray;
    AllocByteLen alloc;
    FreeString release;
    ByteLen byteLen;
    StringCheck stringCheck; /* null where the system allocates */
};

/* Where a group's lines go: the parent's pipe, or stdout where there is no child. */
static FILE* out;

static void check(int ok, const char* what)
{
    fprintf(out, "%s: %s\n", ok ? "ok  " : "FAIL", what);
    fflush(out);
}

/* Whether s is null or a live string of the allocator whose length fits its allocation. */
static int isLiveString(const struct Library* lib, BSTR s)
{
    return !lib->stringCheck || lib->stringCheck(s) == 0;
}

#ifndef _WIN32
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
#endif

/* Whether address lies in executable code of the library: a function, or what
 * an indirect function resolved to, not data. */
static int isFunction(const struct Library* lib, void* address)
{
    if (!address)
        return 0;
#ifdef _WIN32
    MEMORY_BASIC_INFORMATION memory;
    const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    (void)lib;
    return VirtualQuery(address, &memory, sizeof memory) && (memory.Protect & executable);
#else
    struct link_map* map = NULL;
    if (dlinfo(lib->handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return 0;
    struct CodeQuery query = {map->l_addr, (uintptr_t)address, 0};
    dl_iterate_phdr(findInCode, &query);
    return query.found;
#endif
}

#ifndef _WIN32
/* The second thread each group's process keeps, as the programs have threads:
   a constructor that misbehaves only then does so here too. */
static void* waitForEver(void* unused)
{
    (void)unused;
    for (;;)
        pause();
    return NULL;
}
#endif

/* Loads the library at path and binds what the checks use; 0 when it cannot be loaded. */
static int load(const char* path, struct Library* lib)
{
    memset(lib, 0, sizeof *lib);
#ifdef _WIN32
    lib->handle = LoadLibraryA(path);
    HMODULE allocator = LoadLibraryA("oleaut32.dll");
    if (!lib->handle || !allocator) {
        fprintf(out, "FAIL: cannot load %s: error %lu\n", path, GetLastError());
        return 0;
    }
/* A function's address copied into a typed function pointer, bit for bit. */
#define BIND(var, from, name)                                                                        \
    do {                                                                                             \
        FARPROC address_ = GetProcAddress(from, name);                                               \
        memcpy(&(var), &address_, sizeof address_);                                                  \
    } while (0)
#else
    pthread_t second;
    if (pthread_create(&second, NULL, waitForEver, NULL) == 0)
        pthread_detach(second);
    lib->handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib->handle) {
        fprintf(out, "FAIL: cannot load %s: %s\n", path, dlerror());
        return 0;
    }
    void* allocator = lib->handle; /* the library brings the shared allocator with it */
    /* POSIX's way of storing dlsym's answer in a function pointer. */
#define BIND(var, from, name) (*(void**)&(var) = dlsym(from, name))
    BIND(lib->stringCheck, allocator, "sysStringCheck");
#endif
    BIND(lib->xrQuendril, lib->handle, "xrQuendril");
    BIND(lib->xrStringToArray, lib->handle, "xrStringToArray");
    BIND(lib->alloc, allocator, "SysAllocStringByteLen");
    BIND(lib->release, allocator, "SysFreeString");
    BIND(lib->byteLen, allocator, "SysStringByteLen");
    return 1;
}

/* The address a function pointer holds, bit for bit. */
static void* addressOf(const void* pointer)
{
    void* address;
    memcpy(&address, pointer, sizeof address);
    return address;
}

static int usable(const struct Library* lib)
{
    return isFunction(lib, addressOf(&lib->xrQuendril)) && isFunction(lib, addressOf(&lib->xrStringToArray))
           && lib->alloc && lib->release && lib->byteLen;
}

static void checkExports(struct Library* lib)
{
    check(isFunction(lib, addressOf(&lib->xrQuendril)), "xrQuendril is exported as a function");
    check(isFunction(lib, addressOf(&lib->xrStringToArray)), "xrStringToArray is exported as a function");
    check(lib->alloc && lib->release && lib->byteLen, "the counted-string allocator is reachable");
}

/* Bytes to a counted string: the first count bytes, zeros included. */
static void checkQuendril(struct Library* lib)
{
    uint8_t block[300];
    for (int i = 0; i < 300; ++i)
        block[i] = (uint8_t)(i * 13);
    BSTR s = lib->xrQuendril(block, 256);
    check(s != NULL, "xrQuendril returns a string");
    const int live = isLiveString(lib, s);
    check(live, "it is a live counted string whose length fits its allocation");
    if (!live)
        return; /* neither read nor freed, as the programs do */
    check(lib->byteLen(s) == 256, "its stored length is the count");
    check(s && memcmp(s, block, 256) == 0, "its content is the bytes");
    check(s && ((uint8_t*)s)[256] == 0 && ((uint8_t*)s)[257] == 0, "two zero bytes follow it");
    uint32_t prefix = 0;
    if (s)
        memcpy(&prefix, (char*)s - 4, 4);
    check(prefix == 256, "the length sits just before the content");
    lib->release(s);

    BSTR empty = lib->xrQuendril(block, 0);
    check(empty != NULL && isLiveString(lib, empty) && lib->byteLen(empty) == 0, "count 0 gives an empty string");
    if (isLiveString(lib, empty))
        lib->release(empty);
    check(lib->xrQuendril(block, -1) == NULL, "a negative count gives null");
    check(lib->xrQuendril(NULL, 5) == NULL, "a null block gives null");
}

/* A counted string to bytes: copied from element 0 on, the rest untouched. */
static void checkStringToArray(struct Library* lib)
{
    uint8_t target[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    BSTR text = lib->alloc("ab\0cd", 5);
    check(lib->xrStringToArray(&text, target) == 5, "xrStringToArray returns the count copied");
    check(memcmp(target, "ab\0cd\x09\x09\x09", 8) == 0, "the bytes are stored and the rest kept");
    const int live = isLiveString(lib, text);
    check(live, "what it leaves in the caller's variable is a live counted string");
    check(live && text != NULL && lib->byteLen(text) == 5, "the caller's string is still its own");
    if (live)
        lib->release(text);
    BSTR none = NULL;
    check(lib->xrStringToArray(&none, target) == 0, "a null string copies nothing");
    if (isLiveString(lib, none))
        lib->release(none);
}

#if defined(_WIN32) && defined(__i386__)
/* The standard calling convention: the callee removes its two arguments. */
static void checkConvention(struct Library* lib)
{
    uint8_t block[4] = {1, 2, 3, 4};
    uint8_t target[8];
    int32_t imbalance = 1;
    BSTR probe = (BSTR)(uintptr_t)callTwo((AnyFunction)lib->xrQuendril, (uint32_t)(uintptr_t)block, 4, &imbalance);
    check(imbalance == 0, "xrQuendril removes its arguments from the stack");
    lib->release(probe);
    BSTR again = lib->alloc("xy", 2);
    imbalance = 1;
    callTwo((AnyFunction)lib->xrStringToArray, (uint32_t)(uintptr_t)&again, (uint32_t)(uintptr_t)target, &imbalance);
    check(imbalance == 0, "xrStringToArray removes its arguments from the stack");
    lib->release(again);
}
#endif

struct Group {
    const char* name;
    void (*run)(struct Library*);
    int needsBoth; /* runs only when both functions and the allocator are there */
};

static const struct Group groups[] = {
    {"the exports", checkExports, 0},
    {"xrQuendril", checkQuendril, 1},
    {"xrStringToArray", checkStringToArray, 1},
#if defined(_WIN32) && defined(__i386__)
    {"the calling convention", checkConvention, 1},
#endif
};

/* Loads the library, runs one group and unloads the library, writing to out. */
static void runGroup(const char* path, const struct Group* group)
{
    struct Library lib;
    if (!load(path, &lib))
        return;
    if (!group->needsBoth || usable(&lib))
        group->run(&lib);
    fprintf(out, "done\n");
    fflush(out);
#ifdef _WIN32
    FreeLibrary(lib.handle);
#else
    dlclose(lib.handle);
#endif
    fprintf(out, "unloaded\n");
    fflush(out);
}

static int passed;
static int failed;

/* Prints the check lines of text and counts them; returns whether it held
 * "done" and "unloaded". */
static void tally(char* text, int* done, int* unloaded)
{
    for (char* line = strtok(text, "\n"); line; line = strtok(NULL, "\n")) {
        if (strcmp(line, "done") == 0)
            *done = 1;
        else if (strcmp(line, "unloaded") == 0)
            *unloaded = 1;
        else {
            printf("%s\n", line);
            if (strncmp(line, "FAIL", 4) == 0)
                ++failed;
            else
                ++passed;
        }
    }
}

static void fail(const char* group, const char* what, const char* detail)
{
    printf("FAIL: %s: %s%s\n", group, what, detail);
    ++failed;
}

#ifdef _WIN32
/* How long a group may take before it counts as hanging. */
enum { kGroupSeconds = 10 };

/* The hidden first argument that makes the checker the child running one group. */
static const char kChildFlag[] = "--isolated-group";

/* The name of the fault code stands for (a child that aborted ends with kAbortCode), or null. */
static const char* faultName(DWORD code)
{
    return code == kAbortCode ? "abort" : faultCodeName(code);
}

/* In the child, a fault anywhere (loading, a call, a library's thread,
 * unloading) ends the process at once with its code as the exit status,
 * before any handler of the library or the loader can swallow it. */
static LONG CALLBACK onFault(EXCEPTION_POINTERS* e)
{
    const DWORD code = e->ExceptionRecord->ExceptionCode;
    if (code != kAbortCode && faultName(code))
        TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_CONTINUE_SEARCH;
}

static void onAbort(int signal)
{
    (void)signal;
    TerminateProcess(GetCurrentProcess(), kAbortCode);
}

static LONG WINAPI onUnhandled(EXCEPTION_POINTERS* e)
{
    TerminateProcess(GetCurrentProcess(), e->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

/* Puts the child's own handlers in place; again after loading, since the
 * library's start-up code may have replaced them. */
static void guardChild(void)
{
    SetUnhandledExceptionFilter(onUnhandled);
    signal(SIGABRT, onAbort);
}

/* The child: runs group index against path, its lines into the inherited pipe. */
static int runChild(const char* index, const char* pipe, const char* path)
{
    const unsigned long i = strtoul(index, NULL, 10);
    const int fd = _open_osfhandle((intptr_t)_strtoui64(pipe, NULL, 10), 0);
    if (i >= sizeof groups / sizeof groups[0] || fd < 0 || !(out = _fdopen(fd, "wb")))
        return 2;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    AddVectoredExceptionHandler(1, onFault);
    guardChild();
    runGroup(path, &groups[i]);
    fclose(out);
    return 0;
}

static const char* fullPathOf(const char* given, char* buffer, size_t size)
{
    const DWORD n = GetFullPathNameA(given, (DWORD)size, buffer, NULL);
    return n > 0 && n < size ? buffer : NULL;
}

static int isRegularFile(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES
           && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

/* Appends to text what the pipe holds now, without waiting for more. */
static void drain(HANDLE pipe, char* text, size_t size, size_t* length)
{
    DWORD available = 0;
    while (*length < size - 1 && PeekNamedPipe(pipe, NULL, 0, NULL, &available, NULL) && available > 0) {
        DWORD n = 0;
        const DWORD room = (DWORD)(size - 1 - *length);
        if (!ReadFile(pipe, text + *length, available < room ? available : room, &n, NULL) || n == 0)
            break;
        *length += n;
    }
}

/* Runs a group in a child process (this program again, with the hidden
 * argument) and tells how it ended. */
static void runIsolated(const char* path, const struct Group* group)
{
    char self[MAX_PATH];
    const DWORD selfLength = GetModuleFileNameA(NULL, self, MAX_PATH);
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (selfLength == 0 || selfLength >= MAX_PATH || !CreatePipe(&readEnd, &writeEnd, &inheritable, 1 << 16)) {
        char detail[32];
        snprintf(detail, sizeof detail, "error %lu", GetLastError());
        fail(group->name, "cannot make a pipe to a child process: ", detail);
        return;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    char command[2 * MAX_PATH + 8192];
    snprintf(command, sizeof command, "\"%s\" %s %u %llu \"%s\"", self, kChildFlag, (unsigned)(group - groups),
             (unsigned long long)(uintptr_t)writeEnd, path);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    fflush(stdout);
    const BOOL started = CreateProcessA(self, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child);
    const DWORD startError = GetLastError();
    CloseHandle(writeEnd);
    if (!started) {
        char detail[32];
        snprintf(detail, sizeof detail, "error %lu", startError);
        fail(group->name, "cannot start a child process: ", detail);
        CloseHandle(readEnd);
        return;
    }
    CloseHandle(child.hThread);
    char text[8192];
    size_t length = 0;
    int timedOut = 0;
    const ULONGLONG deadline = GetTickCount64() + kGroupSeconds * 1000;
    for (;;) {
        drain(readEnd, text, sizeof text, &length);
        if (WaitForSingleObject(child.hProcess, 50) == WAIT_OBJECT_0)
            break;
        if (GetTickCount64() >= deadline) {
            timedOut = 1;
            TerminateProcess(child.hProcess, 1);
            WaitForSingleObject(child.hProcess, INFINITE);
            break;
        }
    }
    drain(readEnd, text, sizeof text, &length);
    CloseHandle(readEnd);
    text[length] = '\0';
    DWORD status = 0;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
    int done = 0, unloaded = 0;
    tally(text, &done, &unloaded);
    char detail[64];
    const char* fault = faultName(status);
    if (timedOut) {
        snprintf(detail, sizeof detail, "%d s", kGroupSeconds);
        fail(group->name, "the library did not return within ", detail);
    } else if (fault) {
        fail(group->name, done ? "the library faulted while being unloaded: " : "the library faulted: ", fault);
    } else if (!unloaded || status != 0) {
        snprintf(detail, sizeof detail, "%lu", status);
        fail(group->name, "the library ended the process, exit status ", detail);
    }
}
#else
/* How long a group may take before it counts as hanging. */
enum { kGroupSeconds = 10 };

static const char* fullPathOf(const char* given, char* buffer, size_t size)
{
    (void)size;
    return realpath(given, buffer);
}

static int isRegularFile(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

/* Runs a group in a child process and tells how it ended. */
static void runIsolated(const char* path, const struct Group* group)
{
    int channel[2];
    if (pipe(channel) != 0) {
        fail(group->name, "cannot make a pipe: ", strerror(errno));
        return;
    }
    fflush(stdout);
    const pid_t child = fork();
    if (child < 0) {
        fail(group->name, "cannot start a child process: ", strerror(errno));
        return;
    }
    if (child == 0) {
        close(channel[0]);
        out = fdopen(channel[1], "w");
        if (out)
            runGroup(path, group);
        _exit(0);
    }
    close(channel[1]);
    char text[8192];
    size_t length = 0;
    int timedOut = 0;
    for (;;) {
        struct pollfd wait = {channel[0], POLLIN, 0};
        const int ready = poll(&wait, 1, kGroupSeconds * 1000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = 1;
            break;
        }
        const ssize_t n = read(channel[0], text + length, sizeof text - 1 - length);
        if (n <= 0 || (length += (size_t)n) == sizeof text - 1)
            break;
    }
    close(channel[0]);
    text[length] = '\0';
    if (timedOut)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int done = 0, unloaded = 0;
    tally(text, &done, &unloaded);
    char detail[64];
    if (timedOut) {
        snprintf(detail, sizeof detail, "%d s", kGroupSeconds);
        fail(group->name, "the library did not return within ", detail);
    } else if (WIFSIGNALED(status)) {
        fail(group->name, done ? "the library faulted while being unloaded: " : "the library faulted: ",
             strsignal(WTERMSIG(status)));
    } else if (!unloaded || WEXITSTATUS(status) != 0) {
        snprintf(detail, sizeof detail, "%d", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        fail(group->name, "the library ended the process, exit status ", detail);
    }
}
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    if (argc == 5 && strcmp(argv[1], kChildFlag) == 0)
        return runChild(argv[2], argv[3], argv[4]);
#endif
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(usage, stdout);
        return 0;
    }
    if (argc != 2) {
        fputs(usage, stderr);
        return 2;
    }
    /* A bare name is the file in the current folder, never one the loader's search finds. */
    char given[4096];
    const int bare = strpbrk(argv[1], "/\\") == NULL;
    snprintf(given, sizeof given, "%s%s", bare ? "./" : "", argv[1]);
    char full[4096];
    const char* path = fullPathOf(given, full, sizeof full);
    if (!path) {
        printf("FAIL: cannot find %s\n", given);
        return 1;
    }
    if (!isRegularFile(path)) {
        printf("FAIL: %s is not a regular file\n", path);
        return 1;
    }
    printf("checking %s\n", path);
    for (size_t i = 0; i < sizeof groups / sizeof groups[0]; ++i)
        runIsolated(path, &groups[i]);
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
