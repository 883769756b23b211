/* The external conversion library's interface: two C functions that convert
 * between a block of bytes and a counted ANSI string. Strings come from and go
 * back to the shared counted-string allocator. On Windows the functions use
 * the system's standard calling convention (__stdcall, the callee removes the
 * arguments) and are exported under their plain names: by the kit's
 * quendril.def with Microsoft's linker, by -Wl,--kill-at with MinGW-w64's. */
#ifndef QUENDRIL_H
#define QUENDRIL_H

/* Its neighbour, in the source tree as once installed. */
#include "sysstring.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
#define QUENDRIL_API /* exported by quendril.def or -Wl,--kill-at, not by a declaration */
#define QUENDRIL_CALL __stdcall
#elif defined(__GNUC__)
#define QUENDRIL_API __attribute__((visibility("default")))
#define QUENDRIL_CALL
#else
#define QUENDRIL_API
#define QUENDRIL_CALL
#endif

/* The first count bytes from first as a counted string the caller frees; empty for 0, null for a negative count or a null first. */
QUENDRIL_API BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count);

/* Copies the bytes of *text into first onwards and returns how many; nothing for a null text. */
QUENDRIL_API int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first);

#ifdef __cplusplus
}
#endif

#endif
