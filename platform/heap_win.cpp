// The heap setting on Windows: none. The C runtime's heap is the system's own,
// whose handling of freed memory is the platform's that the runs measure, and
// it has no limit of the C library's kind to fix.
#include "platform/heap.h"

namespace platform {

bool keepFreedMemory()
{
    return false;
}

} // namespace platform
