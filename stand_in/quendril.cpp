// The stand-in conversion library: each call is one copy at memory speed.
// Counted strings are allocated with the shared allocator, so the program can
// free what it is given.
#include "contract/quendril.h"

#include <cstring>

extern "C" {

BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    if (!first || count < 0)
        return nullptr;
    return SysAllocStringByteLen(reinterpret_cast<const char*>(first), static_cast<uint32_t>(count));
}

int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    if (!text || !*text || !first)
        return 0;
    const uint32_t bytes = SysStringByteLen(*text);
    std::memcpy(first, *text, bytes);
    return static_cast<int32_t>(bytes);
}

} // extern "C"
