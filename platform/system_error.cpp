// The wording of an error a failed system call raises, for every OS.
#include "platform/system_error.h"

namespace platform {

void raiseSystemError(ErrorNumber number, const std::string& what, unsigned long code)
{
    throw RuntimeError(number, "impossibile " + what + ": " + systemReason(code));
}

} // namespace platform
