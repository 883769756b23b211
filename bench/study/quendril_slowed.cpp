// A conversion library for the measuring study: the stand-in's two functions,
// with xrQuendril made slower by STUDY_EXTRA steps of a busy loop, which touch
// no memory, so that they cost the same whatever the caches hold around the
// call. The number is fixed when it is compiled (0: as fast as the stand-in);
// the study calibrates it with its own timer and checks each build's slowdown
// with it.
#include "contract/quendril.h"

#include <cstring>

#ifndef STUDY_EXTRA
#define STUDY_EXTRA 0
#endif

extern "C" {


BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    // Each step reloads and stores the counter, which the compiler may not leave out.
    volatile int counter = 0;
    for (int step = 0; step < STUDY_EXTRA; ++step)
        counter = counter + 1;
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
