// The test-only libraries' POSIX parts: the number exported under a
// function's name, a library that misbehaves outside its calls or in what it
// hands back, and one whose function is chosen when it is loaded.
#include "contract/quendril.h"
#include "tests/fakes/fake_strings.h"

#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

using fakes::copyOf;
using fakes::storeText;

extern "C" {

#if defined(FAKE_data_export)

QUENDRIL_API int32_t xrStringToArrayData __asm__("xrStringToArray") = 7;

#elif defined(FAKE_hostile)

// Misbehaves in the way VC_MISBEHAVE names (read when it is needed), outside
// its calls or in what it hands back; otherwise keeps the contract.
namespace {
struct Misbehaviour {
    bool operator==(std::string_view name) const
    {
        const char* m = std::getenv("VC_MISBEHAVE");
        return m && name == m;
    }
} misbehaviour;
volatile int zero = 0;
int recurse(int depth)
{
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (zero < 0)
        return 0;
    return recurse(depth + 1) + frame[0];
}
void segv()
{
    zero = *static_cast<volatile int*>(nullptr);
}
void exitAtOnce(int)
{
    _exit(0);
}
// Whether the process has more than one thread, as the programs have.
bool hasThreads()
{
    FILE* status = std::fopen("/proc/self/status", "r");
    int threads = 1;
    char line[256];
    while (status && std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "Threads: %d", &threads) == 1)
            break;
    if (status)
        std::fclose(status);
    return threads > 1;
}
void* faultingThread(void*)
{
    segv();
    return nullptr;
}
__attribute__((constructor)) void onLoad()
{
    if (misbehaviour == "load_segv")
        segv();
    if (misbehaviour == "load_abort")
        std::abort();
    if (misbehaviour == "load_exits")
        _exit(0);
    const bool threadedFault = misbehaviour == "load_threaded_blocked_segv" && hasThreads();
    if (misbehaviour == "load_blocked_segv" || misbehaviour == "blocked_then_call_segv" || threadedFault) {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        if (misbehaviour == "load_blocked_segv" || threadedFault)
            segv();
    }
    if (misbehaviour == "own_handler_exits") {
        signal(SIGSEGV, exitAtOnce);
        signal(SIGABRT, exitAtOnce);
    }
}
__attribute__((destructor)) void onUnload()
{
    if (misbehaviour == "unload_segv")
        segv();
    if (misbehaviour == "unload_stack")
        zero = recurse(0);
}

// Misbehaviours that take from the program what its fault path relies on, inside a call.
void takeFromProgram()
{
    if (misbehaviour == "resets_segv" || misbehaviour == "resets_then_later_segv")
        signal(SIGSEGV, SIG_DFL);
    if (misbehaviour == "blocks_all_segv") {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
    }
    if (misbehaviour == "resets_segv" || misbehaviour == "blocks_all_segv")
        segv();
    if (misbehaviour == "exits_in_call")
        std::exit(0);
    if (misbehaviour == "closes_descriptors")
        for (int fd = 3; fd < 1024; ++fd)
            close(fd);
}
} // namespace

BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    takeFromProgram();
    if (misbehaviour == "thread_segv") {
        pthread_t thread;
        pthread_create(&thread, nullptr, faultingThread, nullptr);
        pthread_join(thread, nullptr);
    }
    if (misbehaviour == "blocked_then_call_segv" || misbehaviour == "own_handler_exits")
        segv();
    if (misbehaviour == "stdout_flood")
        for (int i = 0; i < 1000; ++i)
            if (write(1, "quendril\n", 9) < 0)
                break;
    if (misbehaviour == "claims_2gib") {
        BSTR s = SysAllocStringByteLen("0123456789", 10);
        const uint32_t claimed = 1u << 31;
        std::memcpy(reinterpret_cast<char*>(s) - sizeof claimed, &claimed, sizeof claimed);
        return s;
    }
    if (misbehaviour == "static_text") {
        static char text[] = "\x05\0\0\0hello";
        return reinterpret_cast<BSTR>(text + 4);
    }
    if (misbehaviour == "already_freed") {
        BSTR s = copyOf(first, count);
        SysFreeString(s);
        return s;
    }
    return copyOf(first, count);
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    if (misbehaviour == "resets_then_later_segv")
        segv();
    const int32_t stored = storeText(text, first);
    if (misbehaviour == "double_free") {
        SysFreeString(*text);
        SysFreeString(*text);
    }
    if (misbehaviour == "leaves_freed")
        SysFreeString(*text);
    if (misbehaviour == "c_double_free") { // for the C library to find
        void* volatile block = std::malloc(64);
        std::free(block);
        std::free(block);
    }
    return stored;
}

#elif defined(FAKE_cheats)

// Writes the lines a checker's child ends with to every descriptor it may
// have, then ends the process as if all went well.
void forgeEnd()
{
    for (int fd = 3; fd < 64; ++fd)
        if (write(fd, "done\nunloaded\n", 14) < 0)
            continue;
    _exit(0);
}
namespace {
// Blocks every signal and faults when loaded into a process that has more than one thread.
__attribute__((constructor)) void onLoad()
{
    if (!fakes::cheating("threads_only_fault"))
        return;
    int threads = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks))
            threads += entry->d_name[0] != '.';
        closedir(tasks);
    }
    if (threads > 1) {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        *static_cast<volatile int*>(nullptr) = 0;
    }
}
} // namespace

#elif defined(FAKE_ifunc)

// Chooses its xrQuendril when it is loaded, as code tuned per processor does.
namespace {
BSTR QUENDRIL_CALL portableQuendril(const uint8_t* first, int32_t count)
{
    return copyOf(first, count);
}
} // namespace
using QuendrilFn = BSTR QUENDRIL_CALL(const uint8_t*, int32_t);
extern "C" QuendrilFn* chooseQuendril()
{
    return portableQuendril;
}
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t) __attribute__((ifunc("chooseQuendril")));
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

#endif

} // extern "C"
