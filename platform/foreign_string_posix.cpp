// A library's string checked against our allocator's registry of live strings.
#include "platform/bstr.h"

namespace platform {

std::optional<Message> foreignStringProblem(BSTR s) noexcept
{
    switch (sysStringCheck(s)) {
    case SYSSTRING_LIVE:
        return std::nullopt;
    case SYSSTRING_OVERLONG:
        return Message::stringOverlong;
    default:
        return Message::stringNotLive;
    }
}

} // namespace platform
