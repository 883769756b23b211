// The context's parts that every system gives alike.
#include "tools/misura-libreria/context.h"

#include "platform/hires_clock.h"

#include <thread>

namespace misura {

Context currentContext()
{
    return {VC_VERSION_TEXT, VC_BUILD_TYPE, processorName(), std::thread::hardware_concurrency(),
            platform::monotonicResolution(), utcNow(), loadAverage()};
}

} // namespace misura
