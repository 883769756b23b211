// Private to the POSIX sources that watch a tree of processes (the
// supervisors, misura-libreria's parent): every process a library starts,
// however it detaches itself, stays a descendant of the one that reaps it,
// which ends them all when its own child has ended.
#pragma once

namespace platform::isolation {

// Makes this process the reaper of its descendants (Linux): one whose parent
// ends becomes its child instead of init's, so that endDescendants finds it.
void becomeReaper() noexcept;

// Ends every descendant of this process (each stopped one too) and collects
// them, until none is left.
void endDescendants() noexcept;

// Whether process id is a descendant of this process, told through the chain
// of parents: false for one that has already gone, or is not one.
// Async-signal-safe.
bool isOwnDescendant(long id) noexcept;

} // namespace platform::isolation
