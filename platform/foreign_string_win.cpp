// The system's allocator keeps no registry the program can ask; a bad string
// there is met by the fault path instead.
#include "platform/bstr.h"

namespace platform {

const char* foreignStringProblem(BSTR) noexcept
{
    return nullptr;
}

} // namespace platform
