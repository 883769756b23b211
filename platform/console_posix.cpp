// The console on POSIX systems: terminals take UTF-8 as it is.
#include "platform/console.h"

#include <unistd.h>

namespace platform {

bool standardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

void useUtf8Console() {}

} // namespace platform
