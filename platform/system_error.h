// The system's own words for why a call failed, for the descriptions of the
// run-time errors the platform layer and the window raise.
#pragma once

#include "platform/runtime_error.h"

#include <string>

namespace platform {

// The system's message (UTF-8, no trailing line break) for code: an errno value on POSIX, GetLastError's on Windows.
std::string systemReason(unsigned long code);

// Throws error number, "impossibile <what>: " and the system's reason for code.
[[noreturn]] void raiseSystemError(ErrorNumber number, const std::string& what, unsigned long code);

} // namespace platform
