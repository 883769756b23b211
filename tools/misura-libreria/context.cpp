// The context's parts that every system gives alike.
#include "tools/misura-libreria/context.h"

#include "platform/hires_clock.h"

#include <ctime>
#include <thread>

namespace misura {

std::string utcNow()
{
    const std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    return text;
}

Context currentContext()
{
    return {VC_VERSION_TEXT, VC_BUILD_TYPE, processorName(), std::thread::hardware_concurrency(),
            platform::monotonicResolution(), utcNow(), loadAverage()};
}

} // namespace misura
