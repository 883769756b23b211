// Private to the isolation subsystem's Windows sources: the program's own file
// as the system's W functions take it.
#pragma once

namespace platform::isolation {

// The running program's file as told at start; empty when it could not be told.
const wchar_t* ownFileWide() noexcept;

} // namespace platform::isolation
