// The system's own words for why a call failed, for the descriptions of the
// run-time errors the platform layer and the window raise.
#pragma once

#include <string>

namespace platform {

// The system's message (UTF-8, no trailing line break) for code: an errno value on POSIX, GetLastError's on Windows.
std::string systemReason(unsigned long code);

} // namespace platform
