// The monotonic clock on POSIX systems: clock_gettime(CLOCK_MONOTONIC).
#include "platform/hires_clock.h"

#include "platform/runtime_error.h"
#include "platform/system_error.h"

#include <cerrno>
#include <time.h>

namespace platform {

std::int64_t monotonicNanoseconds()
{
    timespec ts{};
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        const int err = errno;
        raiseSystemError(kInternalError, Message::cannotReadMonotonicClock, {}, static_cast<unsigned long>(err));
    }
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

std::int64_t monotonicResolution()
{
    timespec ts{};
    if (clock_getres(CLOCK_MONOTONIC, &ts) != 0)
        return 1;
    const std::int64_t ns = std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
    return ns > 0 ? ns : 1;
}

} // namespace platform
