// Private to the platform layer's Windows sources: how a report in the
// hand-over form reaches a fresh process of the program, which shows it; used
// by the fault handlers (fatal_fault_win.cpp) and the supervisor.
#pragma once

#include <windows.h>

namespace platform::win {

// Starts a fresh process of the program with report (UTF-8, in the hand-over
// form) in its environment and waits for it: false when none could be
// started, else true with its exit status in status. Needs prepareProcess first.
bool showInFreshProcess(const char* report, DWORD& status) noexcept;

} // namespace platform::win
