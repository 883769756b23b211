// 32-bit Windows: the registers a resumed call needs are Ebp, Eip and Esp,
// and each thread keeps a chain of exception frames on its stack, headed at
// fs:0, which a call that never returns normally may leave pointing into its
// abandoned frames.
#include "platform/cpu_win.h"

namespace platform::win {

void resumeAt(CONTEXT& context, void* const resume[])
{
    context.Ebp = reinterpret_cast<DWORD>(resume[0]);
    context.Eip = reinterpret_cast<DWORD>(resume[1]);
    context.Esp = reinterpret_cast<DWORD>(resume[2]);
}

void* exceptionChain()
{
    void* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void setExceptionChain(void* head)
{
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

} // namespace platform::win
