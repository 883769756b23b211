// Handing a report over to a fresh image of the program, which shows it: a
// process that faulted, or a supervisor whose child ended unannounced, has the
// program's own file (own_file.h) started afresh, with the environment the
// program started with (plus what the program itself set for its fresh
// images, never what a library set since) and the report in a variable that
// also names the handing process, so that one set by anything else is ignored.
#pragma once

#include "platform/runtime_error.h"

#include <optional>
#include <string>

namespace platform::isolation {

// Called first in main, before any library is loaded: keeps the environment as it is now.
void keepStartEnvironment();

// Gives every fresh image from now on name=value in its environment; this
// process's own environment is left as it is.
void setFreshImageVariable(const std::string& name, const std::string& value);

// Keeps descriptor fd open in a fresh image, though it is close-on-exec for
// anything else this process starts. Nothing on Windows, where a fresh
// process inherits what is inheritable.
void keepInFreshImage(int fd) noexcept;

// Hands text, in the hand-over form (faultReport::appendHandOverHead and a
// description), to a fresh image that shows it. On POSIX systems this image is
// replaced, and the call returns (false) only when it cannot be; on Windows a
// fresh process shows it, and the call returns true once that process has
// ended, with its exit status in status, or false when none could be started.
// No allocation, no lock: for a fault handler.
bool showInFreshImage(const char* text, unsigned long& status) noexcept;

// In a fresh image, the report it was started to show, taken out of its
// environment; none when it was started otherwise, or the report names a
// process that could not have handed it over.
std::optional<RuntimeError> takeHandedReport();

} // namespace platform::isolation
