// The monotonic clock on Windows: the performance counter, scaled to
// nanoseconds without overflow for any realistic uptime.
#include "platform/hires_clock.h"

#include "platform/runtime_error.h"
#include "platform/system_error.h"

#include <windows.h>

namespace platform {

namespace {

std::int64_t counterFrequency()
{
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f{};
        if (!QueryPerformanceFrequency(&f) || f.QuadPart <= 0) {
            const DWORD err = GetLastError();
            raiseSystemError(kInternalError, Message::cannotReadCounterFrequency, {}, err);
        }
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    return frequency;
}

} // namespace

std::int64_t monotonicNanoseconds()
{
    const std::int64_t frequency = counterFrequency();
    LARGE_INTEGER now{};
    if (!QueryPerformanceCounter(&now)) {
        const DWORD err = GetLastError();
        raiseSystemError(kInternalError, Message::cannotReadPerformanceCounter, {}, err);
    }
    const std::int64_t ticks = now.QuadPart;
    return ticks / frequency * 1000000000 + ticks % frequency * 1000000000 / frequency;
}

std::int64_t monotonicResolution()
{
    const std::int64_t ns = 1000000000 / counterFrequency();
    return ns > 0 ? ns : 1;
}

} // namespace platform
