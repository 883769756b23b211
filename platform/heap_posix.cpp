// The heap setting on POSIX systems. By default the C library serves blocks of
// 128 KiB and more with fresh mappings and gives the top of the heap back to
// the system once more than 128 KiB of it is free, moving both limits as the
// program runs; either way the next block is made of fresh zeroed pages and
// every page of it is a fault. Fixed limits well above the conversions' blocks
// keep that memory in the heap.
#include "platform/heap.h"

#include <cstdlib>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace platform {

namespace {

#ifdef __GLIBC__
// The largest mapping threshold the C library takes on every word size.
constexpr int kMapThreshold = 512 << 10;
// How much free memory the top of the heap may hold before it is given back.
constexpr int kTrimThreshold = 64 << 20;
#endif

} // namespace

bool keepFreedMemory()
{
#ifdef __GLIBC__
    const bool mapped = mallopt(M_MMAP_THRESHOLD, kMapThreshold) == 1;
    const bool trimmed = mallopt(M_TRIM_THRESHOLD, kTrimThreshold) == 1;
    return mapped && trimmed;
#else
    return false;
#endif
}

} // namespace platform
