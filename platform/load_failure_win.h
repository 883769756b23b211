// Private to the platform layer's Windows sources: why Windows could not load
// a library, in words a maker can act on.
#pragma once

#include "platform/runtime_error.h"

#include <string>

namespace platform::win {

// Why the library at path did not load, error being GetLastError's code read
// at once after the failed load: what the file is when that is the cause (not
// a Windows library, one of the other bitness), or the library it needs that
// Windows finds neither beside it nor in the system folder, with the system's
// own message, its insert filled with the file's name.
Wording loadFailure(const std::string& path, unsigned long error);

} // namespace platform::win
