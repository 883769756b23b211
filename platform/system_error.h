// The system's own words for why a call failed, for the descriptions of the
// run-time errors the platform layer and the window raise.
#pragma once

#include "platform/runtime_error.h"

#include <string>
#include <vector>

namespace platform {

// The system's reason for code (an errno value on POSIX, GetLastError's on
// Windows) as a report's reason: its own message (UTF-8, no trailing line
// break), or its number where it has none.
Wording systemReason(unsigned long code);

// Throws error number with message and its arguments, and the system's reason for code as its reason.
[[noreturn]] void raiseSystemError(ErrorNumber number, Message message, std::vector<std::string> arguments,
                                   unsigned long code);

} // namespace platform
