// How the process's heap treats the memory it is given back. The program's
// conversions free one block and take a slightly larger one at every step; the
// heap keeps freed memory for reuse rather than returning it to the system, so
// a step costs the same whatever ran before it.
#pragma once

namespace platform {

// From now on, for the whole process, the heap keeps freed memory for reuse and
// serves the conversions' blocks from it; call once, first thing at start-up.
// Returns whether the system's allocator took the setting.
bool keepFreedMemory();

} // namespace platform
