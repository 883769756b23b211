// Private to the isolation subsystem's POSIX sources: a fresh image of the
// program's own file, for the hand-over and for children of the program.
#pragma once

namespace platform::isolation {

// Replaces this image with the program's own file as it was at start (the
// descriptor kept open since, else the kernel's link to the running image),
// running argv with the environment envp; returns only when it cannot.
// Async-signal-safe.
void execOwnFile(char* const argv[], char* const envp[]) noexcept;

// The path of the program's own file as told at start, for a fresh image's
// argv[0]; empty when it could not be told.
const char* ownFileStartPath() noexcept;

} // namespace platform::isolation
