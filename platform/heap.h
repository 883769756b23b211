// The state of the C library's heap that a measurement runs in. By default the
// allocator may give freed memory back to the system after each large free,
// so that the next allocation pays a page fault per page touched: a cost of
// the allocator's bookkeeping, not of the conversion timed, and one a program
// that has been running for a while no longer pays.
#pragma once

namespace platform {

// Makes the allocator keep memory it has freed, and serve blocks of up to
// several megabytes from its heap, for the rest of the process's life.
void keepFreedMemory();

} // namespace platform
