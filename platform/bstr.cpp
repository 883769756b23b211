// Counted strings made from C++ byte sequences.
#include "platform/bstr.h"

#include "platform/runtime_error.h"

#include <cstring>

namespace platform {

Bstr Bstr::ofLength(std::size_t n)
{
    if (n > UINT32_MAX)
        raiseOutOfMemory();
    BSTR s = SysAllocStringByteLen(nullptr, static_cast<std::uint32_t>(n));
    if (!s)
        raiseOutOfMemory();
    return Bstr(s);
}

Bstr Bstr::fromBytes(std::string_view bytes)
{
    Bstr s = ofLength(bytes.size());
    if (!bytes.empty())
        std::memcpy(s.data(), bytes.data(), bytes.size());
    return s;
}

} // namespace platform
