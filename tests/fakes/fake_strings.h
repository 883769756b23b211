// The counted-string chores the test-only libraries share: storing a string's
// bytes as the stand-in does, and copying bytes into a new string; and the
// cheat a cheating library is asked for.
#pragma once

#include "contract/quendril.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace fakes {

// Stores the bytes of *text from first on, as the stand-in does.
inline int32_t storeText(BSTR* text, uint8_t* first)
{
    const uint32_t bytes = SysStringByteLen(*text);
    if (bytes)
        std::memcpy(first, *text, bytes);
    return static_cast<int32_t>(bytes);
}

// A new string holding count bytes from first; null when first is null or count negative.
inline BSTR copyOf(const uint8_t* first, int32_t count)
{
    if (!first || count < 0)
        return nullptr;
    return SysAllocStringByteLen(reinterpret_cast<const char*>(first), static_cast<uint32_t>(count));
}

// Whether the cheat VC_CHEAT names (read when it is needed) is name.
inline bool cheating(std::string_view name)
{
    const char* c = std::getenv("VC_CHEAT");
    return c && name == c;
}

} // namespace fakes
