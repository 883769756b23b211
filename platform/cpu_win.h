// Private to the platform layer's Windows sources: what resuming a faulting
// library call needs to know of the processor, which differs between 32- and
// 64-bit Windows (one source per architecture, cpu_win_x86.cpp or
// cpu_win_x64.cpp, chosen by the build), and how an exception code is told,
// the same on both (fatal_fault_win.cpp).
#pragma once

#include <windows.h>

namespace platform::win {

// Makes context continue where __builtin_setjmp saved resume (frame pointer, address, stack pointer).
void resumeAt(CONTEXT& context, void* const resume[]);

// The head of the thread's chain of exception frames; null where the system keeps none (64-bit).
void* exceptionChain();
// Makes head, from exceptionChain(), the head of the chain again; nothing where there is none.
void setExceptionChain(void* head);

// Whether the exception code is a fatal fault (an invalid access, a division by zero, a stack overflow...).
bool isFault(unsigned long code) noexcept;

} // namespace platform::win
