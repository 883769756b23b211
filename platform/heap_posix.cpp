// The heap on POSIX systems: the GNU C library trims its heap and maps large
// blocks afresh unless told otherwise; other C libraries are left as they are.
#include "platform/heap.h"

#include <cstdlib> // defines __GLIBC__ under the GNU C library

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace platform {

void keepFreedMemory()
{
#ifdef __GLIBC__
    constexpr int kKeep = 256 << 20;
    constexpr int kMappedFrom = 32 << 20; // the largest threshold the library accepts on 64-bit systems
    mallopt(M_TRIM_THRESHOLD, kKeep);
    mallopt(M_MMAP_THRESHOLD, kMappedFrom);
#endif
}

} // namespace platform
