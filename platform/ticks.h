// The system's millisecond tick counter, as the stopwatch reads it. The value
// counts from system start, suspended time included, and wraps at 2^32 ms.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since the system started, modulo 2^32; raises error 51 if the system clock cannot be read.
std::uint32_t GetTickCount();

} // namespace platform
