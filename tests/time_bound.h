// The bound a test puts on a wait for what may never come (a window, a
// process's end): seconds the ordinary build may take on a busy machine, times
// the build's factor, VC_TEST_TIME_SCALE, which tests/CMakeLists.txt sets.
#pragma once

#include <cstdlib>

namespace testing_support {

// Milliseconds for seconds of the ordinary build on a busy machine, in this build.
inline unsigned long boundMs(unsigned long seconds)
{
    const char* scale = std::getenv("VC_TEST_TIME_SCALE");
    const long factor = scale ? std::strtol(scale, nullptr, 10) : 1;
    return seconds * 1000 * static_cast<unsigned long>(factor > 0 ? factor : 1);
}

} // namespace testing_support
