// An end with an exit status, the same on every system.
#include "platform/ending.h"

namespace platform {

Ending endingWithStatus(long status) noexcept
{
    Ending ending{Message::exitStatus, {}};
    Text text(ending.argument, sizeof ending.argument);
    text.appendSigned(status);
    return ending;
}

Ending endingWith(Message message, const char* argument) noexcept
{
    Ending ending{message, {}};
    if (argument) {
        Text text(ending.argument, sizeof ending.argument);
        text.append(argument);
    }
    return ending;
}

} // namespace platform
