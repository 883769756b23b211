/* Counted system strings: the allocator that the program and any conversion
 * library share. A string is a pointer to its content; the content's length in
 * bytes is a 32-bit unsigned value stored just before it, and two zero bytes
 * follow it. On Windows these are the system's own functions (oleaut32), on
 * other systems those of our shared library. Plain C, so a library of another
 * maker can call it by name. */
#ifndef QUENDRIL_SYSSTRING_H
#define QUENDRIL_SYSSTRING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <uchar.h>
#endif

#ifdef _WIN32
/* The system's own declarations, repeated so that no system header is needed. */
typedef wchar_t OLECHAR;
#define SYSSTRING_API __declspec(dllimport)
#define SYSSTRING_CALL __stdcall
#else
typedef char16_t OLECHAR;
#if defined(__GNUC__)
#define SYSSTRING_API __attribute__((visibility("default")))
#else
#define SYSSTRING_API
#endif
#define SYSSTRING_CALL
#endif

typedef OLECHAR* BSTR;

/* A string of len bytes copied from psz (left uninitialised when psz is null); null when out of memory. */
SYSSTRING_API BSTR SYSSTRING_CALL SysAllocStringByteLen(const char* psz, unsigned int len);
/* A string of len characters copied from str (left uninitialised when str is null); null when out of memory. */
SYSSTRING_API BSTR SYSSTRING_CALL SysAllocStringLen(const OLECHAR* str, unsigned int len);
/* Releases a string; null is ignored. */
SYSSTRING_API void SYSSTRING_CALL SysFreeString(BSTR bstr);
/* The content's length in bytes; 0 for null. */
SYSSTRING_API unsigned int SYSSTRING_CALL SysStringByteLen(BSTR bstr);
/* The content's length in whole 16-bit characters; 0 for null. */
SYSSTRING_API unsigned int SYSSTRING_CALL SysStringLen(BSTR bstr);

#ifndef _WIN32
/* What sysStringCheck finds. */
enum {
    SYSSTRING_LIVE = 0,     /* null, or a live string whose stored length fits its allocation */
    SYSSTRING_UNKNOWN = 1,  /* not a live string of this allocator: never made by it, or freed */
    SYSSTRING_OVERLONG = 2  /* a live string whose stored length exceeds what was allocated */
};
/* How bstr stands as a string of this allocator, found without reading through it
 * unless it is live; one of the values above. Freeing anything but a live string
 * (or null) aborts the process. */
SYSSTRING_API int sysStringCheck(BSTR bstr);
#endif

#ifdef __cplusplus
}
#endif

#endif
