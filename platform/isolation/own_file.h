// The program's own file: told once, at start, before any library is loaded,
// and on POSIX systems kept open from then on, so that neither a file put in
// its place nor a changed environment makes the program start anything else
// as itself.
#pragma once

#include <string>

namespace platform::isolation {

// Called first in main, before any library is loaded: tells the running
// program's file and keeps it. Nothing where it cannot be told.
void keepOwnFile() noexcept;

// The absolute path of the running program's file; raises error 76 with the
// system's reason when it cannot be told.
std::string ownFilePath();

} // namespace platform::isolation
