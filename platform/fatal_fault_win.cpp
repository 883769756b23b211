// Fatal faults on Windows. A fault inside a library call is raised as error
// 51 where the call began (library_win.cpp); the process needs no more here.
#include "platform/fatal_fault.h"

#include "platform/fault_activity.h"

namespace platform {

namespace activity {

void restoreFaultHandlers() noexcept {}

} // namespace activity

std::optional<RuntimeError> prepareProcess()
{
    return std::nullopt;
}

} // namespace platform
