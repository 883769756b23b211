// The supervisor on Windows: not built yet. A fault the program catches is
// reported by a fresh process (fatal_fault_win.cpp); a library that ends the
// process itself ends it unreported.
#include "platform/supervisor.h"

namespace platform {

void superviseProcess() {}

void announceEnd() noexcept {}

void announceEndFromHandler() noexcept {}

} // namespace platform
