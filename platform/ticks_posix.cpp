// Tick counter on POSIX systems: CLOCK_BOOTTIME where the system has it, so
// that time spent suspended counts as it does for the tick counter elsewhere.
#include "platform/ticks.h"

#include "platform/runtime_error.h"
#include "platform/system_error.h"

#include <cerrno>
#include <time.h>

namespace platform {

std::uint32_t GetTickCount()
{
#ifdef CLOCK_BOOTTIME
    constexpr clockid_t clock = CLOCK_BOOTTIME;
#else
    constexpr clockid_t clock = CLOCK_MONOTONIC;
#endif
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0) {
        const int err = errno;
        raiseSystemError(kInternalError, Message::cannotReadTickCounter, {}, static_cast<unsigned long>(err));
    }
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u
                  + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

} // namespace platform
