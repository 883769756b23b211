// What the process is doing with a foreign library, kept where a fatal fault
// handler can read it: lock-free stores into static memory, so that marking a
// call costs no system call. Used by the library binders and the fault handler.
#pragma once

#include <atomic>

namespace platform::activity {

// The library's file name, copied (a fault at exit may outlive its binder).
void setLibrary(const char* fileName) noexcept;
// The library's file name, empty when no library was loaded.
const char* library() noexcept;

// Marks the library as being loaded (true) or as loaded (false).
void setLoading(bool loading) noexcept;
bool loading() noexcept;

// The function being called now, or null; returns the one it replaces.
const char* setCalling(const char* function) noexcept;
const char* calling() noexcept;

// Marks that a call into the library faulted: none of its code may run again.
void markFaulted() noexcept;
bool faulted() noexcept;

// Puts back the program's fatal fault handlers and their alternate stack, if
// prepareProcess installed them: a library may have replaced them with its own.
void restoreFaultHandlers() noexcept;

// The markers as a supervising process reads them once this one has ended:
// plain copies, in memory the two processes share.
struct Mirror {
    char library[256];
    char function[64];
    std::atomic<bool> loading;
    std::atomic<bool> calling;
    std::atomic<bool> handedOver; // a report went to a fresh image, which ends the process
};

// Marks, in the mirror, that this process is handing a report over to a fresh
// image: its end is the fresh image's, announced once the report is shown.
void markHandedOver() noexcept;

// From now on every marker set is also copied into mirror (memory shared with
// a supervisor, made before it forked).
void mirrorInto(Mirror* mirror) noexcept;

} // namespace platform::activity
