/* The contract checker's Windows part: the library loaded with LoadLibrary
 * and the allocator taken from the system, and each group run in a child
 * process that is the checker itself, started again with hidden arguments
 * naming the group, the pipe its lines go to and the token they carry, in a
 * job that ends whatever it started once the group is over. On 32-bit Windows a further
 * group checks that each call leaves the stack as the standard calling
 * convention requires (the callee removes its arguments). */
#include "tools/verifica-libreria/checker.h"

#define _CRT_RAND_S
#include <io.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <tlhelp32.h>

/* The hidden first argument that makes the checker the child running one group. */
static const char kChildFlag[] = "--isolated-group";

/* How the child ends when the library aborts, which raises no exception: a
 * code among those left to programs, so that no system exception has it. */
static const DWORD kChildAborted = 0xE0000001;

/* The structured exceptions that end the child as faults, under the system's
 * own names. The checker's own list: it reports these by name and any other
 * end by its exit status. */
#define FAULT(code) {code, #code}
static const struct {
    DWORD code;
    const char* name;
} kFaults[] = {
    FAULT(EXCEPTION_ACCESS_VIOLATION),      FAULT(EXCEPTION_ARRAY_BOUNDS_EXCEEDED),
    FAULT(EXCEPTION_DATATYPE_MISALIGNMENT), FAULT(EXCEPTION_FLT_DIVIDE_BY_ZERO),
    FAULT(EXCEPTION_FLT_INVALID_OPERATION), FAULT(EXCEPTION_FLT_OVERFLOW),
    FAULT(EXCEPTION_ILLEGAL_INSTRUCTION),   FAULT(EXCEPTION_IN_PAGE_ERROR),
    FAULT(EXCEPTION_INT_DIVIDE_BY_ZERO),    FAULT(EXCEPTION_INT_OVERFLOW),
    FAULT(EXCEPTION_PRIV_INSTRUCTION),      FAULT(EXCEPTION_STACK_OVERFLOW),
};

/* The name of the fault code stands for ("abort" for kChildAborted); null when it is none. */
static const char* faultName(DWORD code)
{
    if (code == kChildAborted)
        return "abort";
    for (size_t i = 0; i < sizeof kFaults / sizeof kFaults[0]; ++i)
        if (kFaults[i].code == code)
            return kFaults[i].name;
    return NULL;
}

int isFunction(const struct Library* lib, void* address)
{
    MEMORY_BASIC_INFORMATION memory;
    const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    (void)lib;
    return address && VirtualQuery(address, &memory, sizeof memory) && (memory.Protect & executable);
}

/* A function's address copied into a typed function pointer, bit for bit. */
#define BIND(var, from, name)                                                                        \
    do {                                                                                             \
        FARPROC address_ = GetProcAddress(from, name);                                               \
        memcpy(&(var), &address_, sizeof address_);                                                  \
    } while (0)

#if defined(_WIN64)
static const long kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
static const long kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

/* The machine the file at path is built for, from its headers: 0 when it has
 * none (it is no Windows image), -1 when it cannot be read. */
static long imageMachine(const char* path)
{
    unsigned char dos[64];
    unsigned char pe[6];
    FILE* file = fopen(path, "rb");
    if (!file)
        return -1;
    long machine = 0;
    if (fread(dos, 1, sizeof dos, file) == sizeof dos && dos[0] == 'M' && dos[1] == 'Z') {
        const unsigned long at = dos[60] | dos[61] << 8 | (unsigned long)dos[62] << 16 | (unsigned long)dos[63] << 24;
        if (at < 0x10000000 && fseek(file, (long)at, SEEK_SET) == 0 && fread(pe, 1, sizeof pe, file) == sizeof pe
            && memcmp(pe, "PE\0\0", 4) == 0)
            machine = pe[4] | pe[5] << 8;
    }
    fclose(file);
    return machine;
}

/* What the file at path is, when that is why this checker cannot load it; null otherwise. */
static const char* wrongImage(const char* path)
{
    const long machine = imageMachine(path);
    if (machine < 0 || machine == kOwnMachine)
        return NULL;
    if (machine == 0)
        return "not a Windows library";
    if (machine == IMAGE_FILE_MACHINE_AMD64 || machine == IMAGE_FILE_MACHINE_I386)
        return kOwnMachine == IMAGE_FILE_MACHINE_I386 ? "a 64-bit library: the programs and this checker are 32-bit"
                                                     : "a 32-bit library: the programs and this checker are 64-bit";
    return "a library for another processor";
}

/* Whether Windows finds the library name where it looks for the dependencies
 * of a library in folder (folder ending in its separator): beside it, then in
 * the system folder. */
static int dependencyFound(const char* folder, const char* name)
{
    char beside[MAX_PATH * 2];
    snprintf(beside, sizeof beside, "%s%s", folder, name);
    const DWORD attributes = GetFileAttributesA(beside);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 1;
    HMODULE system = LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (system)
        FreeLibrary(system);
    return system != NULL;
}

/* Writes in missing the first library the file at path imports that Windows
 * does not find; returns 0 when there is none, or the file cannot be mapped to tell. */
static int missingDependency(const char* path, char* missing, size_t size)
{
    /* Mapped only: no code of the library, or of what it imports, runs. */
    HMODULE image = LoadLibraryExA(path, NULL, DONT_RESOLVE_DLL_REFERENCES);
    if (!image)
        return 0;
    const BYTE* base = (const BYTE*)image;
    const IMAGE_NT_HEADERS* headers = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY* imports = &headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    char folder[MAX_PATH * 2];
    snprintf(folder, sizeof folder, "%s", path);
    char* slash = strrchr(folder, '\\');
    *(slash ? slash + 1 : folder) = '\0';
    int found = 0;
    const IMAGE_IMPORT_DESCRIPTOR* entry = (const IMAGE_IMPORT_DESCRIPTOR*)(base + imports->VirtualAddress);
    for (; imports->VirtualAddress && entry->Name && !found; ++entry)
        if (!dependencyFound(folder, (const char*)(base + entry->Name))) {
            snprintf(missing, size, "%s", (const char*)(base + entry->Name));
            found = 1;
        }
    FreeLibrary(image);
    return found;
}

/* The system's message for error, with the file's name in place of its insert, in why. */
static void systemMessage(DWORD error, const char* path, char* why, size_t size)
{
    char message[512];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0,
                                   message, sizeof message, NULL);
    if (n == 0)
        snprintf(message, sizeof message, "system error %lu", (unsigned long)error);
    message[strcspn(message, "\r\n")] = '\0';
    const char* name = strrchr(path, '\\') ? strrchr(path, '\\') + 1 : path;
    const char* insert = strstr(message, "%1");
    if (insert)
        snprintf(why, size, "%.*s%s%s", (int)(insert - message), message, name, insert + 2);
    else
        snprintf(why, size, "%s", message);
}

/* Says on out why the library at path did not load, error being the code read
 * at once after the failed load: what the file is when that is the cause, or
 * the library it needs that Windows does not find, then the system's message. */
static void reportLoadFailure(const char* path, DWORD error)
{
    char message[1024];
    char missing[MAX_PATH];
    systemMessage(error, path, message, sizeof message);
    const char* wrong = wrongImage(path);
    if (wrong)
        childLine("FAIL: cannot load %s: %s (%s)", path, wrong, message);
    else if (error == ERROR_MOD_NOT_FOUND && missingDependency(path, missing, sizeof missing))
        childLine("FAIL: cannot load %s: it needs '%s', which Windows finds neither beside it nor in the system "
                  "folder (%s)", path, missing, message);
    else
        childLine("FAIL: cannot load %s: %s", path, message);
}

int loadLibrary(const char* path, struct Library* lib)
{
    memset(lib, 0, sizeof *lib);
    /* Found as the programs find it: its dependencies beside it and in the system folder. */
    HMODULE library = LoadLibraryExA(path, NULL, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    const DWORD error = library ? ERROR_SUCCESS : GetLastError();
    if (!library) {
        reportLoadFailure(path, error);
        return 0;
    }
    HMODULE allocator = LoadLibraryA("oleaut32.dll");
    if (!allocator) {
        reportLoadFailure("oleaut32.dll", GetLastError());
        return 0;
    }
    lib->handle = library;
    BIND(lib->xrQuendril, library, "xrQuendril");
    BIND(lib->xrStringToArray, library, "xrStringToArray");
    BIND(lib->alloc, allocator, "SysAllocStringByteLen");
    BIND(lib->release, allocator, "SysFreeString");
    BIND(lib->byteLen, allocator, "SysStringByteLen");
    return 1;
}

void unloadLibrary(struct Library* lib)
{
    FreeLibrary((HMODULE)lib->handle);
}

const char* fullPathOf(const char* given, char* buffer, size_t size)
{
    const DWORD n = GetFullPathNameA(given, (DWORD)size, buffer, NULL);
    return n > 0 && n < size && GetFileAttributesA(buffer) != INVALID_FILE_ATTRIBUTES ? buffer : NULL;
}

int isRegularFile(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES
           && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

/* In the child, a fault anywhere (loading, a call, a library's thread,
 * unloading) ends the process at once with its code as the exit status,
 * before any handler of the library or the loader can swallow it. */
static LONG CALLBACK onFault(EXCEPTION_POINTERS* e)
{
    const DWORD code = e->ExceptionRecord->ExceptionCode;
    if (code != kChildAborted && faultName(code))
        TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_CONTINUE_SEARCH;
}

static void onAbort(int signal)
{
    (void)signal;
    TerminateProcess(GetCurrentProcess(), kChildAborted);
}

static LONG WINAPI onUnhandled(EXCEPTION_POINTERS* e)
{
    TerminateProcess(GetCurrentProcess(), e->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

void pauseMilliseconds(int ms)
{
    Sleep((DWORD)ms);
}

static DWORD WINAPI idle(void* unused)
{
    (void)unused;
    for (;;)
        Sleep(INFINITE);
    return 0;
}

void startIdleThread(void)
{
    HANDLE thread = CreateThread(NULL, 0, idle, NULL, 0, NULL);
    if (thread)
        CloseHandle(thread);
}

const char* allocatorHint(void)
{
    return "the system's oleaut32.dll provides them";
}

void chooseToken(void)
{
    unsigned int parts[2] = {0, 0};
    for (int i = 0; i < 2; ++i)
        if (rand_s(&parts[i]) != 0)
            parts[i] = (unsigned int)(GetTickCount() ^ GetCurrentProcessId());
    snprintf(lineToken, sizeof lineToken, "%08x%08x", parts[0], parts[1]);
}

int threadCount(void)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    int threads = 0;
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        threads += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return threads;
}

void noteDescriptors(void)
{
    /* Handles are not numbered in a row to look at: none are noted. */
}

int lostDescriptor(void)
{
    return -1;
}

void refuseSignalsFromChildren(void)
{
    /* No process sends another a console event. */
}

const char* takeRefusedSignal(void)
{
    return NULL;
}

int runAsChild(int argc, char** argv)
{
    if (argc != 6 || strcmp(argv[1], kChildFlag) != 0)
        return -1;
    const unsigned long i = strtoul(argv[2], NULL, 10);
    const int fd = _open_osfhandle((intptr_t)_strtoui64(argv[3], NULL, 10), 0);
    snprintf(lineToken, sizeof lineToken, "%s", argv[4]);
    if (i >= groupCount() || fd < 0 || !(out = _fdopen(fd, "wb")))
        return 2;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    AddVectoredExceptionHandler(1, onFault);
    SetUnhandledExceptionFilter(onUnhandled);
    signal(SIGABRT, onAbort);
    runGroup(argv[5], groupAt(i));
    fclose(out);
    return 0;
}

/* Appends to output what the pipe holds now, without waiting for more; 1
 * when a line break came. */
static int drain(HANDLE pipe, struct Output* output)
{
    DWORD available = 0;
    char chunk[4096];
    int line = 0;
    while (PeekNamedPipe(pipe, NULL, 0, NULL, &available, NULL) && available > 0) {
        DWORD n = 0;
        if (!ReadFile(pipe, chunk, available < sizeof chunk ? available : sizeof chunk, &n, NULL) || n == 0)
            break;
        appendOutput(output, chunk, n);
        line = line || memchr(chunk, '\n', n) != NULL;
    }
    return line;
}

/* Collects the child's lines until it ends; 0 when it sent no line for
 * groupSeconds() and was ended. */
static int collect(HANDLE process, HANDLE pipe, struct Output* output)
{
    ULONGLONG deadline = GetTickCount64() + groupSeconds() * 1000ULL;
    int inTime = 1;
    for (;;) {
        if (drain(pipe, output))
            deadline = GetTickCount64() + groupSeconds() * 1000ULL;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0)
            break;
        if (GetTickCount64() < deadline)
            continue;
        /* A line that came, or an end, while this process was kept from running is no hang. */
        if (drain(pipe, output)) {
            deadline = GetTickCount64() + groupSeconds() * 1000ULL;
            continue;
        }
        if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
            inTime = 0;
            TerminateProcess(process, 1);
            WaitForSingleObject(process, INFINITE);
        }
        break;
    }
    drain(pipe, output);
    return inTime;
}

/* Starts this program again as the child running group i, its lines into
 * writeEnd; 0, after a FAIL line, when it cannot. */
static int startChild(const char* path, size_t i, HANDLE writeEnd, PROCESS_INFORMATION* child)
{
    char self[MAX_PATH];
    const DWORD selfLength = GetModuleFileNameA(NULL, self, MAX_PATH);
    char command[2 * MAX_PATH + 8192];
    snprintf(command, sizeof command, "\"%s\" %s %u %llu %s \"%s\"", self, kChildFlag, (unsigned)i,
             (unsigned long long)(uintptr_t)writeEnd, lineToken, path);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    /* What the library writes on standard output goes where the checker's errors go, not among its lines. */
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (selfLength > 0 && selfLength < MAX_PATH
        && CreateProcessA(self, command, NULL, NULL, TRUE, CREATE_SUSPENDED, NULL, NULL, &startup, child))
        return 1;
    char detail[32];
    snprintf(detail, sizeof detail, "error %lu", GetLastError());
    fail(groupAt(i)->name, "cannot start a child process: ", detail);
    return 0;
}

int runIsolated(const char* path, size_t i, struct Output* output, struct ChildEnd* end)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 1 << 16)) {
        char detail[32];
        snprintf(detail, sizeof detail, "error %lu", GetLastError());
        fail(groupAt(i)->name, "cannot make a pipe to a child process: ", detail);
        return 0;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    PROCESS_INFORMATION child;
    const int started = startChild(path, i, writeEnd, &child);
    CloseHandle(writeEnd);
    /* The job ends whatever the child started once the group is over; without one, the child runs all the same. */
    HANDLE job = started ? CreateJobObjectW(NULL, NULL) : NULL;
    if (job && !AssignProcessToJobObject(job, child.hProcess)) {
        CloseHandle(job);
        job = NULL;
    }
    if (started) {
        ResumeThread(child.hThread);
        CloseHandle(child.hThread);
        end->timedOut = !collect(child.hProcess, readEnd, output);
        DWORD status = 0;
        GetExitCodeProcess(child.hProcess, &status);
        CloseHandle(child.hProcess);
        end->fault = faultName(status);
        end->status = (long)status;
    }
    if (job) {
        TerminateJobObject(job, 1);
        CloseHandle(job);
    }
    CloseHandle(readEnd);
    return started;
}

#if defined(__i386__)
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

/* Whether the call left the stack as the standard calling convention
 * requires (the callee removed its two arguments); what it left in why. */
static int removedArguments(int32_t imbalance, char* why, size_t size)
{
    if (imbalance == 0)
        return 1;
    snprintf(why, size, "expected its 8 bytes of arguments removed from the stack, got %ld bytes left",
             (long)-imbalance);
    return 0;
}

static int quendrilConvention(struct Library* lib, size_t bytes, char* why, size_t size)
{
    uint8_t block[4] = {1, 2, 3, 4};
    int32_t imbalance = 1;
    (void)bytes;
    BSTR probe = (BSTR)(uintptr_t)callTwo((AnyFunction)lib->xrQuendril, (uint32_t)(uintptr_t)block, 4, &imbalance);
    lib->release(probe);
    return removedArguments(imbalance, why, size);
}

static int stringToArrayConvention(struct Library* lib, size_t bytes, char* why, size_t size)
{
    uint8_t target[8];
    int32_t imbalance = 1;
    (void)bytes;
    BSTR text = lib->alloc("xy", 2);
    callTwo((AnyFunction)lib->xrStringToArray, (uint32_t)(uintptr_t)&text, (uint32_t)(uintptr_t)target, &imbalance);
    lib->release(text);
    return removedArguments(imbalance, why, size);
}

static const struct Check kConvention[] = {
    {"xrQuendril's calling convention", kNoSize, quendrilConvention},
    {"xrStringToArray's calling convention", kNoSize, stringToArrayConvention},
};
static const struct Group kOwnGroups[] = {{"the calling convention", kConvention, 2, 1}};

const struct Group* systemGroups(size_t* count)
{
    *count = sizeof kOwnGroups / sizeof kOwnGroups[0];
    return kOwnGroups;
}
#else
const struct Group* systemGroups(size_t* count)
{
    *count = 0;
    return NULL;
}
#endif
