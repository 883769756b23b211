// The system's millisecond tick counter, as the stopwatch reads it. The value
// counts from system start, suspended time included, and wraps at 2^32 ms.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since the system started, modulo 2^32.
std::uint32_t GetTickCount() noexcept;

} // namespace platform
