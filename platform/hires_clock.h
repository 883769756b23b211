// The system's monotonic high-resolution clock, for timing one call to the
// nanosecond: it never goes back and counts in the finest unit the system
// offers (nanoseconds on POSIX systems, the performance counter on Windows).
#pragma once

#include <cstdint>

namespace platform {

// Nanoseconds since an arbitrary fixed point; raises error 51 if the clock cannot be read.
std::int64_t monotonicNanoseconds();

// The clock's resolution in nanoseconds (the smallest step between two readings); at least 1.
std::int64_t monotonicResolution();

} // namespace platform
