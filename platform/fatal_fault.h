// The one path a fatal fault takes (an invalid access, an abort, a stack
// overflow, in the program or in a foreign library, inside a call or not):
// the faulting image formats the report into memory it already owns and hands
// it over to a fresh image of the program, which reports it and ends.
#pragma once

#include "platform/runtime_error.h"

#include <optional>

namespace platform {

// Called first in main, before any thread starts: keeps descriptors 0, 1 and 2
// open (on the null device where they were closed), ignores broken pipes and
// routes every later fatal fault to a fresh image of this program. Returns the
// error to report when this image is that fresh image: the program reports it
// its own way (a box, stderr) and ends with status 1.
std::optional<RuntimeError> prepareProcess();

// Reports error as a fatal fault is reported, and ends: on POSIX systems in a
// fresh image of the program (whose display connection and descriptors are
// its own again), on Windows by raising it.
[[noreturn]] void reportAsFault(const RuntimeError& error);

// Ends the process with status; once a library call has faulted, without
// running any more of the library's code (its detach or exit code).
[[noreturn]] void endProcess(int status);

} // namespace platform
