// The system's allocator keeps no registry the program can ask; a bad string
// there is met by the fault path instead.
#include "platform/bstr.h"

namespace platform {

std::optional<Message> foreignStringProblem(BSTR) noexcept
{
    return std::nullopt;
}

} // namespace platform
