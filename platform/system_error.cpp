// The wording of an error a failed system call raises, for every OS.
#include "platform/system_error.h"

#include <utility>

namespace platform {

void raiseSystemError(ErrorNumber number, Message message, std::vector<std::string> arguments, unsigned long code)
{
    throw RuntimeError(number, message, std::move(arguments), systemReason(code));
}

} // namespace platform
