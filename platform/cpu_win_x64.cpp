// 64-bit Windows: the registers a resumed call needs are Rbp, Rip and Rsp;
// exceptions are dispatched from tables, so there is no chain of exception
// frames to repair.
#include "platform/cpu_win.h"

namespace platform::win {

void resumeAt(CONTEXT& context, void* const resume[])
{
    context.Rbp = reinterpret_cast<DWORD64>(resume[0]);
    context.Rip = reinterpret_cast<DWORD64>(resume[1]);
    context.Rsp = reinterpret_cast<DWORD64>(resume[2]);
}

void* exceptionChain()
{
    return nullptr;
}

void setExceptionChain(void*) {}

} // namespace platform::win
