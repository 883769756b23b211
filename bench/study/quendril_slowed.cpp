// A conversion library for the measuring study: the stand-in's two functions,
// with xrQuendril made slower by copying the first STUDY_EXTRA bytes of its
// block once more, into a buffer of its own, before its copy: more of the same
// work, so that it slows down as the call does when the machine is busy. The
// number is fixed when it is compiled (0: as fast as the stand-in); the study
// calibrates it with its own timer and checks each build's slowdown with it.
#include "contract/quendril.h"

#include <cstring>

#ifndef STUDY_EXTRA
#define STUDY_EXTRA 0
#endif

extern "C" {

// Where the extra copy goes: visible outside, so that the copy is never left out.
unsigned char studyExtraCopy[STUDY_EXTRA + 1];

BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    if (!first || count < 0)
        return nullptr;
    std::memcpy(studyExtraCopy, first, static_cast<std::size_t>(count < STUDY_EXTRA ? count : STUDY_EXTRA));
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
