// Test-only conversion libraries that keep the contract but behave unlike the
// stand-in; one source, one variant per build.
#include "contract/quendril.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(FAKE_thread_fault) || (defined(FAKE_hostile) && defined(_WIN32))
#include <windows.h>
#endif
#if defined(FAKE_hostile) && !defined(_WIN32)
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

// Stores the bytes of *text from first on, as the stand-in does.
[[maybe_unused]] int32_t storeText(BSTR* text, uint8_t* first)
{
    const uint32_t bytes = SysStringByteLen(*text);
    if (bytes)
        std::memcpy(first, *text, bytes);
    return static_cast<int32_t>(bytes);
}

[[maybe_unused]] BSTR copyOf(const uint8_t* first, int32_t count)
{
    if (!first || count < 0)
        return nullptr;
    return SysAllocStringByteLen(reinterpret_cast<const char*>(first), static_cast<uint32_t>(count));
}

} // namespace

extern "C" {

#if defined(FAKE_null)

// Returns no string at all and writes nothing.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t) { return nullptr; }
int32_t QUENDRIL_CALL xrStringToArray(BSTR*, uint8_t*) { return 0; }

#elif defined(FAKE_empty_result)

// Returns a string of no bytes; stores like the stand-in.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t) { return SysAllocStringByteLen("", 0); }
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

#elif defined(FAKE_large)

// Returns 1 MiB holding every byte value, zeros included, whatever it is asked.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t)
{
    constexpr uint32_t kSize = 1u << 20;
    BSTR s = SysAllocStringByteLen(nullptr, kSize);
    auto* bytes = reinterpret_cast<unsigned char*>(s);
    for (uint32_t i = 0; i < kSize; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7);
    return s;
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

#elif defined(FAKE_replace)

// Returns three bytes with a zero in the middle, and frees the caller's string
// to put a new one of four bytes in its place.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t) { return SysAllocStringByteLen("a\0b", 3); }
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t*)
{
    SysFreeString(*text);
    *text = SysAllocStringByteLen("wxyz", 4);
    return 4;
}

#elif defined(FAKE_null_out)

// Frees the caller's string and leaves null in its place.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count) { return copyOf(first, count); }
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    const int32_t stored = storeText(text, first);
    SysFreeString(*text);
    *text = nullptr;
    return stored;
}

#elif defined(FAKE_shrink)

// Stores the text, then shortens the caller's string in place to ten bytes by
// rewriting its length.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count) { return copyOf(first, count); }
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    const int32_t stored = storeText(text, first);
    if (*text && SysStringByteLen(*text) > 10) {
        const uint32_t shorter = 10;
        std::memcpy(reinterpret_cast<char*>(*text) - sizeof shorter, &shorter, sizeof shorter);
        reinterpret_cast<char*>(*text)[10] = '\0';
        reinterpret_cast<char*>(*text)[11] = '\0';
    }
    return stored;
}

#elif defined(FAKE_nonzero)

// Returns one byte for each nonzero byte it is given; stores like the stand-in.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    uint32_t nonzero = 0;
    for (int32_t i = 0; i < count; ++i)
        nonzero += first[i] != 0;
    return SysAllocStringByteLen(nullptr, nonzero);
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

#elif defined(FAKE_no_string_to_array)

// Exports xrQuendril only.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count) { return copyOf(first, count); }

#elif defined(FAKE_no_quendril)

// Exports xrStringToArray only.
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

#elif defined(FAKE_faults)

// Faults inside each call in the way VC_FAULT names: segv, fpe, ill, stack or abort.
namespace {
volatile int zero = 0;
volatile int seven = 7; // not a constant, so the division is really made
int recurse(int depth)
{
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (zero < 0) // never: the recursion only ends with the stack
        return 0;
    return recurse(depth + 1) + frame[0];
}
void fault()
{
    const char* kind = std::getenv("VC_FAULT");
    const std::string_view k = kind ? kind : "segv";
    if (k == "fpe")
        zero = seven / zero;
    else if (k == "ill")
        __builtin_trap();
    else if (k == "stack")
        zero = recurse(0);
    else if (k == "abort")
        std::abort();
    else
        zero = *static_cast<volatile int*>(nullptr);
}
} // namespace
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t)
{
    fault();
    return nullptr;
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR*, uint8_t*)
{
    fault();
    return 0;
}

#elif defined(FAKE_data_export)

// Exports xrQuendril as a function and xrStringToArray as a number.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count) { return copyOf(first, count); }
#ifndef _WIN32
QUENDRIL_API int32_t xrStringToArrayData __asm__("xrStringToArray") = 7;
#else
int32_t xrStringToArrayData = 7; // exported under the function's name by its module-definition file
#endif

#elif defined(FAKE_hostile) && defined(_WIN32)

// Misbehaves in the way VC_MISBEHAVE names (read when it is needed), outside
// its calls; otherwise keeps the contract.
namespace {
bool misbehaves(const char* name)
{
    char value[32];
    const DWORD n = GetEnvironmentVariableA("VC_MISBEHAVE", value, sizeof value);
    return n > 0 && n < sizeof value && std::strcmp(value, name) == 0;
}
volatile int zero = 0;
void segv()
{
    zero = *static_cast<volatile int*>(nullptr);
}
} // namespace
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH && misbehaves("load_segv"))
        segv();
    if (reason == DLL_PROCESS_ATTACH && misbehaves("load_abort"))
        std::abort();
    if (reason == DLL_PROCESS_DETACH && (misbehaves("unload_segv") || misbehaves("call_and_unload_segv")))
        segv();
    return TRUE;
}
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    if (misbehaves("call_exits"))
        ExitProcess(0);
    if (misbehaves("call_and_unload_segv"))
        segv();
    return copyOf(first, count);
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

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
    if (misbehaviour == "load_blocked_segv" || misbehaviour == "blocked_then_call_segv") {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        if (misbehaviour == "load_blocked_segv")
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
} // namespace

BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
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

#elif defined(FAKE_thread_fault)

// Starts a thread of its own that faults, and waits for it.
namespace {
DWORD WINAPI faultingThread(void*)
{
    return static_cast<DWORD>(*static_cast<volatile int*>(nullptr));
}
} // namespace
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    HANDLE thread = CreateThread(nullptr, 0, faultingThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    return copyOf(first, count);
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

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
