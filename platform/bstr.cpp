// Counted strings made from C++ byte sequences.
#include "bstr.h"

#include "runtime_error.h"

namespace platform {

Bstr Bstr::fromBytes(std::string_view bytes)
{
    if (bytes.size() > UINT32_MAX)
        raiseOutOfMemory();
    BSTR s = SysAllocStringByteLen(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    if (!s)
        raiseOutOfMemory();
    return Bstr(s);
}

} // namespace platform
