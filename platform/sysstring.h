/* Counted system strings: the allocator that the program and any conversion
 * library share. A string is a pointer to its content; the content's length in
 * bytes is a 32-bit unsigned value stored just before it, and two zero bytes
 * follow it. Plain C, so a library of another maker can call it by name. */
#ifndef PLATFORM_SYSSTRING_H
#define PLATFORM_SYSSTRING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
typedef char16_t OLECHAR;
#else
#include <uchar.h>
typedef char16_t OLECHAR;
#endif

typedef OLECHAR* BSTR;

#if defined(__GNUC__)
#define SYSSTRING_API __attribute__((visibility("default")))
#else
#define SYSSTRING_API
#endif

/* A string of len bytes copied from psz (left uninitialised when psz is null); null when out of memory. */
SYSSTRING_API BSTR SysAllocStringByteLen(const char* psz, uint32_t len);
/* A string of len characters copied from str (left uninitialised when str is null); null when out of memory. */
SYSSTRING_API BSTR SysAllocStringLen(const OLECHAR* str, uint32_t len);
/* Releases a string; null is ignored. */
SYSSTRING_API void SysFreeString(BSTR bstr);
/* The content's length in bytes; 0 for null. */
SYSSTRING_API uint32_t SysStringByteLen(BSTR bstr);
/* The content's length in whole 16-bit characters; 0 for null. */
SYSSTRING_API uint32_t SysStringLen(BSTR bstr);

#ifdef __cplusplus
}
#endif

#endif
