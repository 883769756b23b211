// The system's reason on POSIX systems: strerror in the current locale.
#include "platform/system_error.h"

#include <cstring>

namespace platform {

Wording systemReason(unsigned long code)
{
    return verbatim(std::strerror(static_cast<int>(code)));
}

} // namespace platform
