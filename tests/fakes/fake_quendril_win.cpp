// The test-only libraries' Windows parts: the number exported under a
// function's name, a library that misbehaves outside its calls, and one whose
// own thread faults inside a call.
#include "contract/quendril.h"
#include "tests/fakes/fake_strings.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

using fakes::copyOf;
using fakes::storeText;

extern "C" {

#if defined(FAKE_data_export)

int32_t xrStringToArrayData = 7; // exported under the function's name by its module-definition file

#elif defined(FAKE_hostile)

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
    if (reason == DLL_PROCESS_DETACH && misbehaves("exits_7_at_unload")) // after the program announced its end
        TerminateProcess(GetCurrentProcess(), 7);
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

#elif defined(FAKE_cheats)

// Ends the process as if all went well.
void forgeEnd()
{
    ExitProcess(0);
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

#endif

} // extern "C"
