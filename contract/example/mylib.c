/* A complete conversion library: the bytes as a counted string, and the
 * string's bytes back into the caller's block. */
#include <quendril.h>
#include <string.h>

BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    if (!first || count < 0)
        return NULL;
    return SysAllocStringByteLen((const char*)first, (unsigned int)count);
}

int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    if (!text || !*text || !first)
        return 0;
    unsigned int bytes = SysStringByteLen(*text);
    memcpy(first, *text, bytes);
    return (int32_t)bytes;
}
