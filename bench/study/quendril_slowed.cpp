// A conversion library for the measuring study: the stand-in's two functions,
// with xrQuendril made slower by STUDY_EXTRA steps of a busy loop, each an
// addition in a register that depends on the one before: they touch no memory,
// so that they cost the same whatever the caches hold around the call. The number is fixed when it is compiled (0: as fast as the stand-in);
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
    // The empty statement may change the counter, as far as the compiler knows: no step can be left out or merged.
    unsigned long counter = 0;
    for (int step = 0; step < STUDY_EXTRA; ++step) {
        counter += static_cast<unsigned long>(step);
        __asm__ volatile("" : "+r"(counter));
    }
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
