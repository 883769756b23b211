// How a process ended on Windows: an exception by its name, from the one list
// of fatal fault codes, or by its code.
#include "platform/ending.h"

#include "platform/fault_codes_win.h"

#include <cstdint>

namespace platform {

Ending endingOfException(unsigned long code) noexcept
{
    const char* name = code == kAbortCode ? "abort" : faultCodeName(code);
    Ending ending{name ? Message::verbatim : Message::exceptionCode, {}};
    Text text(ending.argument, sizeof ending.argument);
    if (name)
        text.append(name);
    else
        text.appendHex(code);
    return ending;
}

Ending endingOfExitCode(unsigned long code) noexcept
{
    // Codes of severity "error" are the system's exceptions, not statuses a program chose.
    if ((code & 0xF0000000ul) == 0xC0000000ul)
        return endingOfException(code);
    return endingWithStatus(static_cast<std::int32_t>(code));
}

} // namespace platform
