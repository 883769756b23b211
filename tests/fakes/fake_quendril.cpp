// Test-only conversion libraries that keep the contract but behave unlike the
// stand-in; one source, one variant per build.
#include "quendril.h"

#include <cstring>

extern "C" {

#if defined(FAKE_null)

// Returns no string at all and writes nothing.
BSTR xrQuendril(const uint8_t*, int32_t) { return nullptr; }
int32_t xrStringToArray(BSTR*, uint8_t*) { return 0; }

#elif defined(FAKE_replace)

// Returns three bytes with a zero in the middle, and replaces the caller's
// string with a new one of four bytes.
BSTR xrQuendril(const uint8_t*, int32_t) { return SysAllocStringByteLen("a\0b", 3); }
int32_t xrStringToArray(BSTR* text, uint8_t*)
{
    SysFreeString(*text);
    *text = SysAllocStringByteLen("wxyz", 4);
    return 4;
}

#elif defined(FAKE_no_string_to_array)

// Exports xrQuendril only.
BSTR xrQuendril(const uint8_t* first, int32_t count)
{
    return SysAllocStringByteLen(reinterpret_cast<const char*>(first), static_cast<uint32_t>(count));
}

#elif defined(FAKE_nonzero)

// Returns one byte for each nonzero byte it is given; stores text like the stand-in.
BSTR xrQuendril(const uint8_t* first, int32_t count)
{
    uint32_t nonzero = 0;
    for (int32_t i = 0; i < count; ++i)
        nonzero += first[i] != 0;
    return SysAllocStringByteLen(nullptr, nonzero);
}
int32_t xrStringToArray(BSTR* text, uint8_t* first)
{
    const uint32_t bytes = SysStringByteLen(*text);
    std::memcpy(first, *text, bytes);
    return static_cast<int32_t>(bytes);
}

#endif

} // extern "C"
