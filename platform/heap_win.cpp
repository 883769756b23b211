// The heap setting on Windows: nothing yet.
#include "platform/heap.h"

namespace platform {

bool keepFreedMemory()
{
    return false;
}

} // namespace platform
